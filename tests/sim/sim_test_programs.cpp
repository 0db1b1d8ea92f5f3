#include "sim_test_programs.h"

#include "compiler/line_compiler.h"

#include <gtest/gtest.h>

namespace kt::sim::test {

compiler::ProgramImage ImageOf(const std::string& lines) {
    compiler::ProgramImage image;
    image.fill(compiler::kImageFill);
    std::size_t at = 0;
    std::size_t start = 0;
    while (start <= lines.size()) {
        std::size_t bar = lines.find('|', start);
        if (bar == std::string::npos)
            bar = lines.size();
        const std::string line = lines.substr(start, bar - start);
        compiler::StatementBytes code{};
        const std::uint8_t result = compiler::CompileStatement(line, code);
        EXPECT_EQ(result, 0) << "line \"" << line << "\"";
        if (result == 0 && at + 1 < image.size()) {
            image[at++] = code[0];
            image[at++] = code[1];
        }
        start = bar + 1;
    }
    return image;
}

compiler::ProgramImage ParkedImageOf(const std::string& lines) {
    return ImageOf(lines + "|Do|Loop");
}

compiler::ProgramImage ImageOfBytes(const std::vector<std::uint8_t>& bytes) {
    compiler::ProgramImage image;
    image.fill(compiler::kImageFill);
    std::copy(bytes.begin(), bytes.end(), image.begin());
    return image;
}

} // namespace kt::sim::test
