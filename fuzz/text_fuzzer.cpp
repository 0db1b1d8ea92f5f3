// A whole program text into the program compiler: a defined code, a line
// count within the text, and an image that ends in Loop only on success.
#include "compiler/program_compiler.h"
#include "compiler/program_text.h"
#include "fuzz_check.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kt::compiler::ProgramCompiler compiler;
    long lineCount = 0;
    const std::uint8_t result = compiler.CompileText(text, lineCount);
    KT_FUZZ_CHECK(result <= 2 || (result >= 4 && result <= 11) || result == 255);
    const auto lines = static_cast<long>(kt::compiler::ProgramTextLines(text).size());
    KT_FUZZ_CHECK(lineCount >= 0 && lineCount <= lines);
    if (result == 0) {
        KT_FUZZ_CHECK(lineCount == lines);
        const kt::compiler::ProgramImage& image = compiler.ProgramBuffer();
        std::size_t end = 0;
        while (end < image.size() && image[end] != 0xFF)
            end += 2;
        KT_FUZZ_CHECK(end >= 2 && image[end - 2] == 67);
    }
    return 0;
}
