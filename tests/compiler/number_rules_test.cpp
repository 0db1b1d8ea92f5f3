#include "compiler/number_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace kt::compiler;

TEST(NumberRules, NumberText) {
    for (const std::string text : {"0", "-1", "+5", ".5", "5.", "2.5E-2", "1e+39", "007"})
        EXPECT_TRUE(IsNumberText(text)) << text;
    for (const std::string text :
         {"", ".", "+.", "e5", "1e+", "1.2.3", " 5", "0x10", "inf", "nan", "1,5", "1d3"})
        EXPECT_FALSE(IsNumberText(text)) << text;
}

// The nearest Single; too small is 0 and too large is no number, decided by
// the value however long the text.
TEST(NumberRules, ParseSingleIsNearestFloat) {
    using Texts = std::vector<std::string>;
    const std::string zeros(400, '0');
    EXPECT_EQ(ParseSingle("102.1"), 102.1f);
    EXPECT_EQ(ParseSingle("+.5"), 0.5f);
    EXPECT_EQ(ParseSingle("1e-50"), 0.0f);
    EXPECT_EQ(ParseSingle("3.4028234e38"), std::numeric_limits<float>::max());
    EXPECT_EQ(ParseSingle("2" + zeros + "e-398"), 200.0f);
    EXPECT_TRUE(std::signbit(*ParseSingle("-0")));
    for (const std::string& text :
         Texts{"1e-400", "." + zeros.substr(77) + "1", "-1" + zeros.substr(390) + "e-400"}) {
        EXPECT_EQ(ParseSingle(text), 0.0f) << text;
        EXPECT_EQ(ParseNumber(text), 0.0) << text;
    }
    for (const std::string& text : Texts{"1e39", "-1e39", std::string(400, '9')})
        EXPECT_FALSE(ParseSingle(text).has_value()) << text;
    for (const std::string& text : Texts{"1" + zeros.substr(90) + "e-1", "-0.000001e400", "1e400"})
        EXPECT_FALSE(ParseSingle(text) || ParseNumber(text)) << text;
    EXPECT_EQ(ParseNumber("3.5e38"), 3.5e38);
    EXPECT_EQ(ParseNumber("1" + zeros + "e-395"), 1e5);
}

TEST(NumberRules, RoundingToBytes) {
    const std::vector<std::pair<double, int>> cases = {{127.5, 128}, {126.5, 126}, {0.5, 0},
                                                       {-0.4, 0},    {254.6, 255}, {255.4, 255}};
    for (const auto& [value, byte] : cases)
        EXPECT_EQ(ToByte(value), byte) << value;
    for (const double value : {255.5, -0.6, std::nan(""), HUGE_VAL})
        EXPECT_FALSE(ToByte(value).has_value()) << value;
}

// Up to seven digits, so a Single reads back as itself.
TEST(NumberRules, GeneralNumberFormat) {
    const std::vector<std::pair<Single, std::string>> cases = {
        {12.5f, "12.5"},    {100, "100"},          {102.1f, "102.1"},
        {-0.0f, "0"},       {98.7654f, "98.7654"}, {12345678, "1.234568E+07"},
        {0.00001f, "1E-05"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(FormatSingle(value), text) << text;
}
