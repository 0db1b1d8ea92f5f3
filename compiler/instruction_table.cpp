#include "compiler/instruction_table.h"

namespace kt::compiler {

namespace {

using enum PickerCategory;

struct Row {
    std::string_view text;
    PickerCategory category;
};

// The blank before a comma belongs to the template text. Some spellings look
// wrong ("RefrenceSpeed") but are the language: templates match literally.
constexpr std::array<Row, kInstructionCount> kRows{{
    {"AccelerateRate = ,29,102.1", Assign},                         // 0
    {"AccelerateRate = WordCounter.,33,3,*2", Assign},              // 1
    {"AutoTorque = False,35,0,+2+24", Assign},                      // 2
    {"AutoTorque = Flag0,36,0,+2+24", Assign},                      // 3
    {"AutoTorque = True,37,0,+2+24", Assign},                       // 4
    {"CommandForward = False,35,0,+0+24", Assign},                  // 5
    {"CommandForward = Flag0,36,0,+0+24", Assign},                  // 6
    {"CommandForward = True,37,0,+0+24", Assign},                   // 7
    {"CommandReverse = False,35,0,+1+24", Assign},                  // 8
    {"CommandReverse = Flag0,36,0,+1+24", Assign},                  // 9
    {"CommandReverse = True,37,0,+1+24", Assign},                   // 10
    {"Counter0 = ,45,255", Assign},                                 // 11
    {"Counter0 And ,38,255", Operational},                          // 12
    {"Counter0 And Counter.,39,7", Operational},                    // 13
    {"Counter0 Or ,40,255", Operational},                           // 14
    {"Counter0 Or Counter.,41,7", Operational},                     // 15
    {"Counter0 Xor ,42,255", Operational},                          // 16
    {"Counter0 Xor Counter.,43,7", Operational},                    // 17
    {"Counter0 = Counter.,44,7", Assign},                           // 18
    {"Counter1 = ,46,255", Assign},                                 // 19
    {"Counter2 = ,47,255", Assign},                                 // 20
    {"Counter3 = ,48,255", Assign},                                 // 21
    {"Counter4 = ,49,255", Assign},                                 // 22
    {"Counter5 = ,50,255", Assign},                                 // 23
    {"Counter6 = ,51,255", Assign},                                 // 24
    {"Counter7 = ,52,255", Assign},                                 // 25
    {"Counter. = Counter0,53,7", Assign},                           // 26
    {"Counter. = InputByte,54,7", Assign},                          // 27
    {"CurrentLimit = ,34,25.5,*1000/255", Assign},                  // 28
    {"DecelerateRate = ,55,102.1", Assign},                         // 29
    {"DecelerateRate = WordCounter.,59,3,*2", Assign},              // 30
    {"Do,15,0", Conditional},                                       // 31
    {"Do Until Counter0 = ,16,255", Conditional},                   // 32
    {"Do Until Counter0 >= ,17,255", Conditional},                  // 33
    {"Do Until Counter0 < ,18,255", Conditional},                   // 34
    {"Do Until Counter0 <> ,19,255", Conditional},                  // 35
    {"Do Until Counter0 = Counter.,20,7", Conditional},             // 36
    {"Do Until Counter0 >= Counter.,21,7", Conditional},            // 37
    {"Do Until Counter0 < Counter.,22,7", Conditional},             // 38
    {"Do Until Counter0 <> Counter.,23,7", Conditional},            // 39
    {"Do Until CommandForward,24,0,+0+24", Conditional},            // 40
    {"Do Until Not CommandForward,24,0,+0+24+128", Conditional},    // 41
    {"Do Until CommandReverse,24,0,+1+24", Conditional},            // 42
    {"Do Until Not CommandReverse,24,0,+1+24+128", Conditional},    // 43
    {"Do Until Flag.,24,7,+16", Conditional},                       // 44
    {"Do Until Not Flag.,24,7,+16+128", Conditional},               // 45
    {"Do Until Input.,24,7", Conditional},                          // 46
    {"Do Until Not Input.,24,7,+128", Conditional},                 // 47
    {"Do Until MotorForward,24,0,+4+24", Conditional},              // 48
    {"Do Until Not MotorForward,24,0,+4+24+128", Conditional},      // 49
    {"Do Until Output.,24,1,+8", Conditional},                      // 50
    {"Do Until Not Output.,24,1,+8+128", Conditional},              // 51
    {"Do Until TimerFlag.,24,3,+32", Conditional},                  // 52
    {"Do Until Not TimerFlag.,24,3,+32+128", Conditional},          // 53
    {"Do Until WordCounter0 = WordCounter.,25,3,*2", Conditional},  // 54
    {"Do Until WordCounter0 >= WordCounter.,26,3,*2", Conditional}, // 55
    {"Do Until WordCounter0 < WordCounter.,27,3,*2", Conditional},  // 56
    {"Do Until WordCounter0 <> WordCounter.,28,3,*2", Conditional}, // 57
    {"Else,61,0", Conditional},                                     // 58
    {"End If,62,0", Conditional},                                   // 59
    {"Flag0 = CommandForward,64,0,+0+24", Assign},                  // 60
    {"Flag0 = Not CommandForward,64,0,+0+24+128", Assign},          // 61
    {"Flag0 = CommandReverse,64,0,+1+24", Assign},                  // 62
    {"Flag0 = Not CommandReverse,64,0,+1+24+128", Assign},          // 63
    {"Flag0 = Flag.,64,7,+16", Assign},                             // 64
    {"Flag0 = Not Flag.,64,7,+16+128", Assign},                     // 65
    {"Flag0 = Input.,64,7", Assign},                                // 66
    {"Flag0 = Not Input.,64,7,+128", Assign},                       // 67
    {"Flag0 = MotorEnable,64,0,+5+24", Assign},                     // 68
    {"Flag0 = Not MotorEnable,64,0,+5+24+128", Assign},             // 69
    {"Flag0 = MotorForward,64,0,+4+24", Assign},                    // 70
    {"Flag0 = Not MotorForward,64,0,+4+24+128", Assign},            // 71
    {"Flag0 = Output.,64,1,+8", Assign},                            // 72
    {"Flag0 = Not Output.,64,1,+8+128", Assign},                    // 73
    {"Flag0 = TimerFlag.,64,3,+32", Assign},                        // 74
    {"Flag0 = Not TimerFlag.,64,3,+32+128", Assign},                // 75
    {"Flag0 And CommandForward,63,0,+0+24", Operational},           // 76
    {"Flag0 And Not CommandForward,63,0,+0+24+128", Operational},   // 77
    {"Flag0 And CommandReverse,63,0,+1+24", Operational},           // 78
    {"Flag0 And Not CommandReverse,63,0,+1+24+128", Operational},   // 79
    {"Flag0 And Flag.,63,7,+16", Operational},                      // 80
    {"Flag0 And Not Flag.,63,7,+16+128", Operational},              // 81
    {"Flag0 And Input.,63,7", Operational},                         // 82
    {"Flag0 And Not Input.,63,7,+128", Operational},                // 83
    {"Flag0 And MotorEnable,63,0,+5+24", Operational},              // 84
    {"Flag0 And Not MotorEnable,63,0,+5+24+128", Operational},      // 85
    {"Flag0 And MotorForward,63,0,+4+24", Operational},             // 86
    {"Flag0 And Not MotorForward,63,0,+4+24+128", Operational},     // 87
    {"Flag0 And Output.,63,1,+8", Operational},                     // 88
    {"Flag0 And Not Output.,63,1,+8+128", Operational},             // 89
    {"Flag0 And TimerFlag.,63,3,+32", Operational},                 // 90
    {"Flag0 And Not TimerFlag.,63,3,+32+128", Operational},         // 91
    {"Flag0 Or CommandForward,65,0,+0+24", Operational},            // 92
    {"Flag0 Or Not CommandForward,65,0,+0+24+128", Operational},    // 93
    {"Flag0 Or CommandReverse,65,0,+1+24", Operational},            // 94
    {"Flag0 Or Not CommandReverse,65,0,+1+24+128", Operational},    // 95
    {"Flag0 Or Flag.,65,7,+16", Operational},                       // 96
    {"Flag0 Or Not Flag.,65,7,+16+128", Operational},               // 97
    {"Flag0 Or Input.,65,7", Operational},                          // 98
    {"Flag0 Or Not Input.,65,7,+128", Operational},                 // 99
    {"Flag0 Or MotorEnable,65,0,+5+24", Operational},               // 100
    {"Flag0 Or Not MotorEnable,65,0,+5+24+128", Operational},       // 101
    {"Flag0 Or MotorForward,65,0,+4+24", Operational},              // 102
    {"Flag0 Or Not MotorForward,65,0,+4+24+128", Operational},      // 103
    {"Flag0 Or Output.,65,1,+8", Operational},                      // 104
    {"Flag0 Or Not Output.,65,1,+8+128", Operational},              // 105
    {"Flag0 Or TimerFlag.,65,3,+32", Operational},                  // 106
    {"Flag0 Or Not TimerFlag.,65,3,+32+128", Operational},          // 107
    {"Flag0 Xor CommandForward,66,0,+0+24", Operational},           // 108
    {"Flag0 Xor Not CommandForward,66,0,+0+24+128", Operational},   // 109
    {"Flag0 Xor CommandReverse,66,0,+1+24", Operational},           // 110
    {"Flag0 Xor Not CommandReverse,66,0,+1+24+128", Operational},   // 111
    {"Flag0 Xor Flag.,66,7,+16", Operational},                      // 112
    {"Flag0 Xor Not Flag.,66,7,+16+128", Operational},              // 113
    {"Flag0 Xor Input.,66,7", Operational},                         // 114
    {"Flag0 Xor Not Input.,66,7,+128", Operational},                // 115
    {"Flag0 Xor MotorEnable,66,0,+5+24", Operational},              // 116
    {"Flag0 Xor Not MotorEnable,66,0,+5+24+128", Operational},      // 117
    {"Flag0 Xor MotorForward,66,0,+4+24", Operational},             // 118
    {"Flag0 Xor Not MotorForward,66,0,+4+24+128", Operational},     // 119
    {"Flag0 Xor Output.,66,1,+8", Operational},                     // 120
    {"Flag0 Xor Not Output.,66,1,+8+128", Operational},             // 121
    {"Flag0 Xor TimerFlag.,66,3,+32", Operational},                 // 122
    {"Flag0 Xor Not TimerFlag.,66,3,+32+128", Operational},         // 123
    {"Flag. = False,35,7,+16", Assign},                             // 124
    {"Flag. = Flag0,36,7,+16", Assign},                             // 125
    {"Flag. = True,37,7,+16", Assign},                              // 126
    {"If ClickedToFalse Input.,0,7", Conditional},                  // 127
    {"If ClickedToTrue Input.,1,7", Conditional},                   // 128
    {"If Counter0 = ,2,255", Conditional},                          // 129
    {"If Counter0 >= ,3,255", Conditional},                         // 130
    {"If Counter0 < ,4,255", Conditional},                          // 131
    {"If Counter0 <> ,5,255", Conditional},                         // 132
    {"If Counter0 = Counter.,6,7", Conditional},                    // 133
    {"If Counter0 >= Counter.,7,7", Conditional},                   // 134
    {"If Counter0 < Counter.,8,7", Conditional},                    // 135
    {"If Counter0 <> Counter.,9,7", Conditional},                   // 136
    {"If CommandForward,10,0,+0+24", Conditional},                  // 137
    {"If Not CommandForward,10,0,+0+24+128", Conditional},          // 138
    {"If CommandReverse,10,0,+1+24", Conditional},                  // 139
    {"If Not CommandReverse,10,0,+1+24+128", Conditional},          // 140
    {"If Flag.,10,7,+16", Conditional},                             // 141
    {"If Not Flag.,10,7,+16+128", Conditional},                     // 142
    {"If Input.,10,7", Conditional},                                // 143
    {"If Not Input.,10,7,+128", Conditional},                       // 144
    {"If MotorForward,10,0,+4+24", Conditional},                    // 145
    {"If Not MotorForward,10,0,+4+24+128", Conditional},            // 146
    {"If Output.,10,1,+8", Conditional},                            // 147
    {"If Not Output.,10,1,+8+128", Conditional},                    // 148
    {"If TimerFlag.,10,3,+32", Conditional},                        // 149
    {"If Not TimerFlag.,10,3,+32+128", Conditional},                // 150
    {"If WordCounter0 = WordCounter.,11,3,*2", Conditional},        // 151
    {"If WordCounter0 >= WordCounter.,12,3,*2", Conditional},       // 152
    {"If WordCounter0 < WordCounter.,13,3,*2", Conditional},        // 153
    {"If WordCounter0 <> WordCounter.,14,3,*2", Conditional},       // 154
    {"Loop,67,0", Conditional},                                     // 155
    {"Output. = False,35,1,+8", Assign},                            // 156
    {"Output. = Flag0,36,1,+8", Assign},                            // 157
    {"Output. = True,37,1,+8", Assign},                             // 158
    {"RefrenceSpeed = ,68,102.1", Assign},                          // 159
    {"ReferenceSpeed = WordCounter.,72,3,*2", Assign},              // 160
    {"Reset Program,60,0", Miscellaneous},                          // 161
    {"Volt% = ,81,100,*255/100", All},                              // 162
    {"TriggerTimer0 ,73,255", Miscellaneous},                       // 163
    {"TriggerTimer1 ,74,255", Miscellaneous},                       // 164
    {"TriggerTimer2 ,75,255", Miscellaneous},                       // 165
    {"TriggerTimer3 ,76,255", Miscellaneous},                       // 166
    {"TriggerTimer0 By Counter.,77,7", Miscellaneous},              // 167
    {"TriggerTimer1 By Counter.,78,7", Miscellaneous},              // 168
    {"TriggerTimer2 By Counter.,79,7", Miscellaneous},              // 169
    {"TriggerTimer3 By Counter.,80,7", Miscellaneous},              // 170
    {"WordCounter0 = ,95,102.1", Assign},                           // 171
    {"WordCounter0 = WordCounter0 + ,82,255", Operational},         // 172
    {"WordCounter0 = WordCounter0 - ,86,255", Operational},         // 173
    {"WordCounter1 = WordCounter1 + ,83,255", Operational},         // 174
    {"WordCounter1 = WordCounter1 - ,87,255", Operational},         // 175
    {"WordCounter2 = WordCounter2 + ,84,255", Operational},         // 176
    {"WordCounter2 = WordCounter2 - ,88,255", Operational},         // 177
    {"WordCounter3 = WordCounter3 + ,85,255", Operational},         // 178
    {"WordCounter3 = WordCounter3 - ,89,255", Operational},         // 179
    {"WordCounter. = AccelerateRate,90,3,*2", All},                 // 180
    {"WordCounter. = Analog.,91,3|5,*2|*32", Assign},               // 181
    {"WordCounter. = CurrentSpeed,92,3,*2", All},                   // 182
    {"WordCounter. = DecelerateRate,93,3,*2", All},                 // 183
    {"WordCounter. = RefrenceSpeed,94,3,*2", All},                  // 184
    {"WordCounter. = WordCounter0,99,3,*2", Assign},                // 185
}};

constexpr std::array<std::string_view, kInstructionCount> RowTexts() {
    std::array<std::string_view, kInstructionCount> texts{};
    for (int i = 0; i < kInstructionCount; ++i)
        texts[i] = kRows[i].text;
    return texts;
}

bool IsRow(int index) {
    return index >= 0 && index < kInstructionCount;
}

} // namespace

constinit const std::array<std::string_view, kInstructionCount> InstructionTable = RowTexts();

PickerCategory CategoryOf(int index) {
    return IsRow(index) ? kRows[index].category : All;
}

bool InCategory(int index, PickerCategory category) {
    return IsRow(index) && (category == All || kRows[index].category == category);
}

std::string_view TemplateTextOf(int index) {
    if (!IsRow(index))
        return {};
    const std::string_view row = kRows[index].text;
    return row.substr(0, row.find(','));
}

} // namespace kt::compiler
