// A program file's bytes through the reader that Open and the command line
// share: every line break comes out as CR LF, and text survives the code
// page round trip.
#include "compiler/program_text.h"
#include "fuzz_check.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = kt::compiler::ReadProgramFile(bytes);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            KT_FUZZ_CHECK(i > 0 && text[i - 1] == '\r');
    }
    KT_FUZZ_CHECK(text.size() <= 2 * bytes.size());
    KT_FUZZ_CHECK(kt::compiler::Utf8ToWindows1252(kt::compiler::Windows1252ToUtf8(text)) == text);
    // Saved and read again, a text that ends in a line break comes back as it was.
    if (text.ends_with("\r\n"))
        KT_FUZZ_CHECK(kt::compiler::ReadProgramFile(kt::compiler::WriteProgramFile(text)) == text);
    return 0;
}
