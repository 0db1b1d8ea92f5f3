// Standard output as the commands write it. A full disk or /dev/full refuses
// a write only when the C library's buffer goes to the system, and a stream's
// failbit forgets why: this keeps the first refusal with the system's reason,
// so the program can say it and exit 2 instead of leaving an empty file
// behind with exit 0.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>

namespace kt::cli {

class StandardOutput final : private std::streambuf {
public:
    StandardOutput();
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    // The stream the commands write to, through the C library's stdout as
    // std::cout does. It goes bad at the first refused write, so long work
    // stops with "if (!out)" (or "if (!out.flush())" where every line must
    // be seen at once) and returns kExitIoError.
    std::ostream& Stream() { return m_stream; }

    // Hands on what the C library still holds; false, with one sentence on
    // err naming standard output and the reason, when anything written was
    // refused. Said once however often asked.
    bool Flush(std::ostream& err);

private:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;
    // Keeps errno's reason of the first refusal.
    void Refused();

    std::string m_failure;
    bool m_told = false;
    std::ostream m_stream;
};

} // namespace kt::cli
