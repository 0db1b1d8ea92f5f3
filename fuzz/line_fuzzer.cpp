// One source line into the line compiler: always one of its four codes.
#include "compiler/line_compiler.h"
#include "fuzz_check.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    kt::compiler::StatementBytes code{};
    const std::uint8_t result = kt::compiler::CompileStatement(line, code);
    KT_FUZZ_CHECK(result == 0 || result == 1 || result == 2 || result == 255);
    return 0;
}
