// The simulator window over a virtual drive, the program compiled from the
// test's text. Simulated time moves only through AdvanceSlice, never the clock.
#include "simulator/frm_simulator.h"

#include "compiler/program_compiler.h"
#include "drive/virtual_drive.h"
#include "drivemap/drive_catalogue.h"
#include "monitor/plot_view.h"
#include "platform/scripted_prompts.h"
#include "simulator/breakpoint_list.h"
#include "simulator/force_panel.h"
#include "simulator/lamp.h"
#include "simulator/sim_timeline.h"
#include "tests/accessible_walk.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using kt::drivemap::Address;
using kt::drivemap::Id;
using kt::drivemap::Place;
using kt::drivemap::StatusBit;
using kt::simulator::FrmSimulator;
using Speed = FrmSimulator::Speed;

namespace {

// Lines: 1 Do, 2 If, 3 Output on, 4 Else, 5 Output off, 6 End If, 7 Loop.
const std::string kFollow = "Do\r\n  If Input.0\r\n    Output.0 = True\r\n  Else\r\n"
                            "    Output.0 = False\r\n  End If\r\nLoop\r\n";
// Lines: 1 CurrentLimit, 2 Do, 3 count up, 4 If, 5 Output on, 6 End If, 7 Loop.
const std::string kCount = "CurrentLimit = 2.55\r\nDo\r\n  WordCounter0 = WordCounter0 + 1\r\n"
                           "  If Counter0 >= 7\r\n    Output.0 = True\r\n  End If\r\nLoop\r\n";
using Notes = std::map<int, QString>;

class SimulatorTest : public ::testing::Test {
protected:
    SimulatorTest() {
        m_window->SetTextSource([this] { return m_text; });
    }

    bool Lit(kt::simulator::Lamp* lamp) const {
        // What the lamp shows must be what it holds.
        EXPECT_EQ(lamp->accessibleDescription(), QLatin1String(lamp->IsOn() ? "on" : "off") +
                                                     (lamp->IsForced() ? ", forced" : ""));
        return lamp->IsOn();
    }
    void Force(const char* name, const char* value) const {
        m_window->Forcing()->ValueBox()->setCurrentText(name);
        m_window->Forcing()->ReadingEdit()->setText(value);
        m_window->Forcing()->ForceButton()->click();
    }
    void Release(const char* name, bool restore) const {
        m_window->Forcing()->ValueBox()->setCurrentText(name);
        m_window->Forcing()->ReleaseButton(restore)->click();
    }
    QStringList ForcedRows() const {
        QStringList rows;
        for (int row = 0; row < m_window->Forcing()->ForcedList()->count(); ++row)
            rows << m_window->Forcing()->ForcedList()->item(row)->text();
        return rows;
    }
    void AddCondition(const char* condition) const {
        m_window->Breakpoints()->ConditionEdit()->setText(condition);
        QTest::keyClick(m_window->Breakpoints()->ConditionEdit(), Qt::Key_Return);
    }
    // Where the focus is, in the window shown and active.
    void Key(QKeyCombination key) const {
        m_window->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
    }
    QString Shown(const char* name) const { return m_window->ValueLabel(name)->text(); }

    kt::drive::VirtualDrive m_drive;
    kt::platform::ScriptedPrompts m_prompts;
    kt::compiler::ProgramCompiler m_compiler;
    std::string m_text = kFollow;
    bool m_cut = false;
    std::unique_ptr<FrmSimulator> m_window = std::make_unique<FrmSimulator>(
        m_drive, m_prompts,
        [this](std::uint8_t& error, long& lineCount) {
            lineCount = 0;
            error = m_compiler.CompileText(m_text, lineCount);
            const auto& image = m_compiler.ProgramBuffer();
            const QByteArray bytes(reinterpret_cast<const char*>(image.data()), image.size());
            // Cut: the second statement alone, the rest erased.
            return error != 0 ? QByteArray()
                   : m_cut    ? bytes.mid(2, 2).leftJustified(bytes.size(), '\xFF')
                              : bytes;
        },
        [this] { return m_compiler.StatementLines(); });
    QSignalSpy m_spy{m_window.get(), &FrmSimulator::statementLine};
};

// A slice moves simulated time by the slice times the speed; the label counts
// from Run, not the drive's own time; the program follows the input box.
TEST_F(SimulatorTest, EachSpeedMovesTimeAndFollowsTheInputs) {
    const std::pair<Speed, const char*> rows[] = {{Speed::RealTime, "t = 0.020 s"},
                                                  {Speed::Fastest, "t = 20.000 s"}};
    m_drive.RunFor(1234);
    m_window->InputBox(0)->click();
    for (const auto& [speed, shown] : rows) {
        m_drive.SetDataByte(Address(Id::Outputs), 0);
        m_window->SetSpeed(speed);
        m_window->Run();
        EXPECT_EQ(m_window->TimeLabel()->text(), "t = 0.000 s");
        m_window->AdvanceSlice();
        EXPECT_EQ(m_window->TimeLabel()->text(), shown);
        EXPECT_TRUE(Lit(m_window->OutputLamp(0)));
        m_window->Stop();
        m_drive.RunFor(500); // the drive's own time, not the run's
        m_window->AdvanceSlice();
        EXPECT_EQ(m_window->TimeLabel()->text(), shown);
    }
    EXPECT_TRUE(m_prompts.Shown().empty());
}

// Each key in turn: the state line, the time, the buttons enabled, Output.0, what is told.
TEST_F(SimulatorTest, ControlsMoveTheRunAndTheStateLineSaysWhereItIs) {
    const auto window = m_window.get();
    const kt::test::AnnouncementSpy heard;
    const struct {
        const char* what;
        std::function<void()> act;
        QString state;
        const char* time;
        const char* enabled;
        bool output;
    } steps[] = {
        {"before any run", [] {}, "Stopped", "0.000", "Run", false},
        {"Run", [&] { window->SetBreakLines({5}), window->Run(); }, "Running", "0.000",
         "Pause Stop", false},
        // Do, If (false), then the mark before Output.0 = False.
        {"at a mark", [&] { window->AdvanceSlice(); }, "Paused at line 5: breakpoint", "0.002",
         "Run Stop", false},
        {"paused: nothing moves",
         [&] { m_drive.SetDataByte(Address(Id::Outputs), 1), window->AdvanceSlice(); },
         "Paused at line 5: breakpoint", "0.002", "Run Stop", true},
        {"Run goes past the mark and round to it again",
         [&] { window->Run(), window->AdvanceSlice(); }, "Paused at line 5: breakpoint", "0.007",
         "Run Stop", false},
        {"Step", [&] { Key(Qt::Key_F10); }, "Paused at line 6", "0.008", "Run Stop", false},
        {"Run on", [&] { Key(Qt::Key_F5); }, "Running", "0.008", "Pause Stop", false},
        {"Pause", [&] { Key(Qt::Key_F6); }, "Paused at line 6", "0.008", "Run Stop", false},
        {"Stop", [&] { Key(Qt::SHIFT | Qt::Key_F5); }, "Stopped: Stop", "0.008", "Run", false},
        {"Step from stopped", [&] { window->Step(); }, "Paused at line 1", "0.000", "Run Stop",
         false},
        {"edit", [&] { window->ProgramEdited(); }, "Stopped: the program was edited", "0.000",
         "Run", false},
        {"closed when stopped", [&] { window->Stop(); }, "Stopped: the program was edited", "0.000",
         "Run", false},
        {"compile error on Run",
         [&] { m_text = "Do\r\n  Output.0 = True\r\n  Nonsense 12\r\nLoop\r\n", window->Run(); },
         "Stopped: program error at line 3: Error: Statement not identified.", "0.000", "Run",
         false},
        // Output.0 = True alone runs past its end; the slice's time runs on.
        {"run error",
         [&] {
             m_text = "Do\r\nOutput.0 = True\r\nLoop", m_cut = true, window->Run(),
             window->AdvanceSlice();
         },
         "Stopped: run error at line 1: 1: Program passed end of buffer.", "0.020", "Run", true},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(m_window->StateLabel()->text(), step.state) << step.what;
        EXPECT_EQ(m_window->TimeLabel()->text(), QStringLiteral("t = %1 s").arg(step.time))
            << step.what;
        QStringList enabled;
        for (QPushButton* button :
             {window->RunButton(), window->PauseButton(), window->StopButton()})
            if (button->isEnabled())
                enabled << button->text();
        EXPECT_EQ(enabled.join(' '), step.enabled) << step.what;
        EXPECT_EQ(Lit(m_window->OutputLamp(0)), step.output) << step.what;
    }
    // Every line the window reported: a stop always says 0.
    std::vector<int> lines;
    for (const QList<QVariant>& call : m_spy)
        lines.push_back(call.at(0).toInt());
    EXPECT_EQ(lines, (std::vector<int>{1, 5, 6, 0, 1, 0, 0, 1, 0}));
    EXPECT_EQ(m_prompts.ShownTexts(), (std::vector<QString>{"ProgramError at Line3"}));
    EXPECT_EQ(heard.Texts(),
              (QStringList{steps[2].state, steps[4].state, steps[5].state, steps[7].state,
                           steps[9].state, steps[12].state, steps[13].state}));
}

// Stop, also from a pause, clears the commands; the motor slows at the speed
// chosen, and only at rest does the drive get its clock back.
TEST_F(SimulatorTest, StopRampsTheMotorDownToRestWithTheCommandsCleared) {
    const int enable = Place(StatusBit::MotorEnable);
    m_text = "CommandForward = True\r\nDo\r\nLoop\r\n";
    m_drive.SetRealTime(true);
    m_window->SetSpeed(Speed::Fastest);
    m_window->Run();
    m_window->AdvanceSlice(); // 20 s: long at the reference speed
    m_window->Pause();
    ASSERT_EQ(Shown("CurrentSpeed"), "25");

    m_window->SetSpeed(Speed::TenTimes);
    m_window->Stop();
    EXPECT_FALSE(Lit(m_window->StatusLamp(Place(StatusBit::CommandForward))));
    EXPECT_EQ(Shown("CurrentSpeed"), "25"); // no jump
    m_window->AdvanceSlice();               // 200 ms at 5 a second
    EXPECT_EQ(Shown("CurrentSpeed"), "24");
    EXPECT_TRUE(Lit(m_window->StatusLamp(enable)));
    EXPECT_EQ(m_window->StateLabel()->text(), "Stopped: Stop (the motor slows to rest)");
    EXPECT_FALSE(m_drive.RealTime());

    for (int slice = 0; slice < 30; ++slice)
        m_window->AdvanceSlice();
    EXPECT_EQ(Shown("CurrentSpeed"), "0");
    EXPECT_FALSE(Lit(m_window->StatusLamp(enable)));
    EXPECT_EQ(m_window->StateLabel()->text(), "Stopped: Stop");
    EXPECT_TRUE(m_drive.RealTime());
    EXPECT_EQ(m_window->TimeLabel()->text(), "t = 25.000 s");
    m_drive.SetRealTime(false);
}

// Values under any name the catalogue knows; a timer flag lamp lights when
// its timer has run out, not while it counts.
TEST_F(SimulatorTest, ShowsTheDriveValuesAndSendsTheAnalogInputs) {
    m_drive.SetDataByte(Address(Id::Counter) + 3, 9);
    m_drive.SetDataWord(Address(Id::Counter) + 2 * 2, 1234);
    m_drive.SetDataByte(Address(Id::Timer) + 1, 7);
    m_drive.SetDataWord(Address(Id::ReferenceSpeed), 505);
    m_drive.SetDataByte(Address(Id::Flags), 0x40);
    m_window->Stop(); // shows the values
    const std::pair<const char*, const char*> shown[] = {
        {"counter 3", "9"}, {"WordCounter.2", "1234"}, {"Timer 1", "7"}, {"RefrenceSpeed", "50.5"}};
    for (const auto& [name, text] : shown)
        EXPECT_EQ(Shown(name), text) << name;
    EXPECT_EQ(std::ranges::count(m_window->findChildren<QLabel*>(), "BusVolt [V]", &QLabel::text),
              1);
    EXPECT_TRUE(Lit(m_window->FlagLamp(6)));
    EXPECT_FALSE(Lit(m_window->TimerFlagLamp(1)));
    EXPECT_EQ(m_window->TimerFlagLamp(1)->accessibleName(), "TimerFlag.1");
    // Run..Run back, the inputs, the force, breakpoint and timeline buttons:
    // lamps take none.
    EXPECT_EQ(m_window->findChildren<QAbstractButton*>().size(), 6 + 8 + 3 + 4 + 1);
    m_window->AnalogSlider(4)->setValue(1000);
    EXPECT_EQ(m_drive.DataWord(Address(Id::Analog) + 2 * 4), 1000);
    EXPECT_EQ(Shown("Analog.4"), "1000");
}

// An output the program clears and an input stay forced across Run, badged,
// listed and not settable; a release keeps the forced value or restores.
TEST_F(SimulatorTest, ForcedValuesHoldAcrossRunUntilReleased) {
    for (const bool restore : {false, true}) {
        m_drive.SetDataByte(Address(Id::Outputs), 0);
        Force("Op0", "True");
        Force("Input.1", "1");
        m_window->Run();
        m_window->AdvanceSlice(); // Input.0 off: the program writes Output.0 = False
        m_window->Pause();
        EXPECT_TRUE(Lit(m_window->OutputLamp(0)));
        EXPECT_TRUE(m_window->OutputLamp(0)->text().endsWith("Output.0 (F)"));
        EXPECT_FALSE(m_window->InputBox(1)->isEnabled());
        EXPECT_EQ(m_window->InputBox(1)->text(), "Input.1 (F)");
        EXPECT_EQ(ForcedRows(), (QStringList{"Output.0 = 1", "Input.1 = 1"}));
        Release("Output.0", restore);
        Release("In1", restore);
        EXPECT_EQ(Lit(m_window->OutputLamp(0)), !restore);
        EXPECT_TRUE(m_window->InputBox(1)->isEnabled());
        EXPECT_TRUE(ForcedRows().isEmpty());
        m_window->Stop();
    }
}

// Each refusal is told beside its field; nothing is forced or added.
TEST_F(SimulatorTest, BadEntriesAreRefusedWithTheirReason) {
    QLabel* forcing = m_window->Forcing()->MessageLabel();
    QLabel* breaking = m_window->Breakpoints()->MessageLabel();
    const struct {
        std::function<void()> act;
        QLabel* message;
        const char* text;
    } rows[] = {
        {[&] { Force("Counter.3", "256"); }, forcing,
         "Counter.3 takes a whole number from 0 to 255, not \"256\""},
        {[&] { Force("Output.1", "on"); }, forcing,
         "Output.1 takes a whole number from 0 to 1, not \"on\""},
        {[&] { Force("CurrentSpeed", "1"); }, forcing, "CurrentSpeed cannot be forced"},
        {[&] { Force("Nonsense", "1"); }, forcing, "Nonsense is no value of the drive"},
        {[&] { Release("Counter.3", false); }, forcing, "Counter.3 is not forced"},
        {[&] { AddCondition("Counter0 >= 256"); }, breaking,
         "If Counter0 >= 256: Error: Data out of limit."},
        {[&] { AddCondition("Counter9 >= 1"); }, breaking,
         "If Counter9 >= 1: Error: Statement not identified."},
        {[&] { m_window->Breakpoints()->AddChange("Nonsense"); }, breaking,
         "Nonsense is no value of the drive"},
    };
    for (const auto& row : rows) {
        row.act();
        EXPECT_EQ(row.message->text(), row.text);
    }
    EXPECT_TRUE(ForcedRows().isEmpty());
    EXPECT_EQ(m_window->Breakpoints()->List()->count(), 0);
}

// Data breakpoints pause after the statement at which they hold, across Stop
// and Run; unticked, removed or cleared they no longer do.
TEST_F(SimulatorTest, DataBreakpointsPauseTheRunAndNameWhatHeld) {
    m_text = kCount;
    kt::simulator::BreakpointList* list = m_window->Breakpoints();
    AddCondition("Counter0 >= 5");
    list->ChangeBox()->setCurrentText("Op0");
    list->AddChange(list->ChangeBox()->currentText());
    m_window->SetSpeed(Speed::Fastest);
    const struct {
        std::function<void()> act;
        QString state;
        int hit;
    } steps[] = {
        {[] {}, "Paused at line 4: Counter0 >= 5 held at line 3", 0},
        {[&] { m_window->Stop(), list->List()->item(0)->setCheckState(Qt::Unchecked); },
         "Paused at line 6: Output.0 changed at line 5", 1},
        {[&] { list->RemoveRow(1), list->EnableRow(0, true); },
         "Paused at line 7: Counter0 >= 5 held at line 6", 0},
        {[&] { list->Clear(); }, "Running", -1},
    };
    for (const auto& step : steps) {
        step.act();
        m_window->Run();
        m_window->AdvanceSlice();
        EXPECT_EQ(m_window->StateText(), step.state);
        EXPECT_EQ(list->HitRow(), step.hit) << step.state.toStdString();
    }
}

// Paused: each line's values as the catalogue shows them, told again when a
// forcing changes one, and nothing once it runs on.
TEST_F(SimulatorTest, PausedLinesShowTheirValuesAndHoverNamesOne) {
    m_text = kCount;
    QSignalSpy told(m_window.get(), &FrmSimulator::lineNotes);
    m_window->SetBreakLines({4});
    m_window->Run();
    m_window->AdvanceSlice();
    EXPECT_EQ(m_window->LineNotes(), (Notes{{1, "CurrentLimit = 2.55 A"},
                                            {3, "WordCounter.0 = 1"},
                                            {4, "Counter.0 = 1"},
                                            {5, "Output.0 = 0"}}));
    Force("Output.0", "1");
    EXPECT_EQ(told.last().at(0).value<Notes>().at(5), "Output.0 = 1 (F)");
    const std::pair<const char*, const char*> hovers[] = {
        {"Counter0", "Counter.0 = 1"}, {"RefrenceSpeed", "ReferenceSpeed = 25"}, {"Nonsense", ""}};
    for (const auto& [name, text] : hovers)
        EXPECT_EQ(m_window->HoverText(name), text);
    m_window->Run();
    EXPECT_TRUE(told.last().at(0).value<Notes>().empty());
    EXPECT_EQ(told.size(), 3);
    EXPECT_EQ(m_window->HoverText("Counter0"), "");
}

// Stepped back statement by statement, the window shows what the straight
// run showed at each (the user's input and forcing replayed), and forward
// again the same; from stopped there is nothing to go back to.
TEST_F(SimulatorTest, SteppingBackShowsWhatTheStraightRunShowed) {
    m_text = kCount;
    const auto seen = [this] {
        const auto memory = m_drive.Interpreter().Memory().first(kt::drivemap::kUsedSize);
        return std::tuple(std::vector(memory.begin(), memory.end()), m_window->CurrentLine(),
                          m_window->TimeLabel()->text(), ForcedRows());
    };
    EXPECT_FALSE(m_window->StepBackButton()->isEnabled());
    m_window->Step();
    std::vector<decltype(seen())> straight;
    for (int k = 0; k <= 40; ++k) {
        if (k == 10)
            m_window->InputBox(1)->click();
        if (k == 20)
            Force("Counter.3", "5");
        straight.push_back(seen());
        if (k < 40)
            m_window->Step();
    }
    for (int k = 39; k >= 0; --k) {
        Key(Qt::CTRL | Qt::SHIFT | Qt::Key_F10);
        EXPECT_EQ(seen(), straight[k]) << k;
    }
    EXPECT_EQ(m_window->StateText(), "Paused at line 1: stepped back");
    EXPECT_FALSE(m_window->RunBackButton()->isEnabled());
    for (int k = 1; k <= 40; ++k) {
        m_window->Step();
        EXPECT_EQ(seen(), straight[k]) << k;
    }
}

// Run back stops where the run paused before; a click on the timeline moves
// the run to its time (the plot counting from Run, as the label does; past
// the end, to the end); after a user's change nothing later is left.
TEST_F(SimulatorTest, RunBackAndTheTimelineMoveTheRun) {
    m_text = kCount;
    m_drive.RunFor(1234); // the drive's own time, not the run's
    kt::simulator::SimTimeline* timeline = m_window->Timeline();
    timeline->PlotBox()->setCurrentText("WordCounter.0");
    timeline->PlotBox()->activated(timeline->PlotBox()->currentIndex());
    m_window->SetBreakLines({4});
    QStringList pauses;
    for (int k = 0; k < 3; ++k) {
        m_window->Run();
        m_window->AdvanceSlice();
        pauses << m_window->TimeLabel()->text();
    }
    const QString values = "Output.0 = 0, Output.1 = 0, WordCounter.0 = 2";
    EXPECT_EQ(timeline->Plot()->CursorValues(7).join(", "), values);
    const struct {
        std::function<void()> act;
        QString time;
        QString state;
    } steps[] = {
        {[&] { Key(Qt::CTRL | Qt::SHIFT | Qt::Key_F5); }, pauses[1], "Paused at line 4: ran back"},
        {[&] { m_window->RunBack(); }, pauses[0], "Paused at line 4: ran back"},
        {[&] { m_window->RunBack(); }, "t = 0.000 s", "Paused at line 1: ran back"},
        {[&] { emit timeline->Plot()->timeClicked(100); }, pauses[2],
         "Paused at line 4: moved on the timeline"},
        {[&] { emit timeline->Plot()->timeClicked(7); }, pauses[1],
         "Paused at line 4: moved on the timeline"},
        {[&] { m_window->InputBox(1)->click(), emit timeline->Plot()->timeClicked(11); }, pauses[1],
         "Paused at line 4: moved on the timeline"},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(m_window->TimeLabel()->text(), step.time);
        EXPECT_EQ(m_window->StateText(), step.state);
        EXPECT_EQ(timeline->Plot()->Marker(), step.time.mid(4, 5).remove('.').toLongLong());
    }
    EXPECT_EQ(timeline->Plot()->CursorValues(7).join(", "), values);
}

// Every control named; by Tab to the breakpoints (Delete removes one) and the plot.
TEST_F(SimulatorTest, EveryControlIsNamedAndReachedByTab) {
    AddCondition("Counter0 >= 5");
    Key(Qt::Key_F10);
    EXPECT_EQ(kt::test::UnnamedControls(m_window.get()), QStringList{});
    QListWidget* list = m_window->Breakpoints()->List();
    for (int k = 0; k < 60 && QApplication::focusWidget() != m_window->Timeline()->Plot(); ++k)
        Key(QApplication::focusWidget() == list && list->count() > 0 ? Qt::Key_Delete
                                                                     : Qt::Key_Tab);
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(QApplication::focusWidget(), m_window->Timeline()->Plot());
    // The test screen is smaller than the window's content: it fits in
    // height, and the rest scrolls, as on a laptop or at a large text size.
    EXPECT_LE(m_window->frameGeometry().height(), m_window->screen()->availableSize().height());
    const auto* scroll = m_window->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
}

} // namespace
