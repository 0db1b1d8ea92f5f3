// Test helpers: program images built line by line with the line compiler, so
// a test can hold programs the program compiler would refuse, and a drive
// running one.
#pragma once

#include "compiler/line_compiler.h"
#include "drivemap/drive_catalogue.h"
#include "sim/program_interpreter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kt::sim::test {

// Raw bytes, the rest 0xFF.
inline compiler::ProgramImage ImageOfBytes(const std::vector<std::uint8_t>& bytes) {
    compiler::ProgramImage image;
    image.fill(compiler::kImageFill);
    std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
    return image;
}

// The lines written with "|" between them, each compiled on its own.
inline compiler::ProgramImage ImageOf(const std::string& lines) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t start = 0, bar = 0; bar != std::string::npos; start = bar + 1) {
        bar = lines.find('|', start);
        const std::string line = lines.substr(start, bar == std::string::npos ? bar : bar - start);
        compiler::StatementBytes code{};
        EXPECT_EQ(compiler::CompileStatement(line, code), 0) << line;
        bytes.insert(bytes.end(), code.begin(), code.end());
    }
    return ImageOfBytes(bytes);
}

// A powered-up drive with the inputs given and analog input n at 1000 + n,
// running the lines and then resting in a closing Do / Loop.
struct Drive {
    ProgramInterpreter sim;

    explicit Drive(const std::string& lines, std::uint8_t inputs = 0) {
        for (int n = 0; n < drivemap::Channels(drivemap::Id::Inputs); ++n)
            sim.SetInput(n, (inputs >> n & 1) != 0);
        for (int n = 0; n < drivemap::Channels(drivemap::Id::Analog); ++n)
            sim.SetAnalog(n, static_cast<std::uint16_t>(1000 + n));
        EXPECT_EQ(sim.Load(ImageOf(lines + "|Do|Loop")), 0) << lines;
    }
};

} // namespace kt::sim::test
