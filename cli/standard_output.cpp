#include "cli/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kt::cli {

StandardOutput::StandardOutput() : m_stream(this) {}

void StandardOutput::Refused() {
    if (m_failure.empty())
        m_failure = errno != 0 ? std::strerror(errno) : "the write failed";
}

StandardOutput::int_type StandardOutput::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    if (!m_failure.empty())
        return traits_type::eof();
    errno = 0;
    if (std::fputc(traits_type::to_char_type(c), stdout) == EOF) {
        Refused();
        return traits_type::eof();
    }
    return c;
}

std::streamsize StandardOutput::xsputn(const char* text, std::streamsize count) {
    if (!m_failure.empty())
        return 0;
    errno = 0;
    const std::size_t written = std::fwrite(text, 1, static_cast<std::size_t>(count), stdout);
    if (written != static_cast<std::size_t>(count))
        Refused();
    return static_cast<std::streamsize>(written);
}

int StandardOutput::sync() {
    errno = 0;
    if (m_failure.empty() && std::fflush(stdout) != 0)
        Refused();
    return m_failure.empty() ? 0 : -1;
}

bool StandardOutput::Flush(std::ostream& err) {
    m_stream.flush();
    if (m_stream && m_failure.empty())
        return true;
    if (!m_told)
        err << "ktmotor-cli: cannot write to standard output: "
            << (m_failure.empty() ? "the write failed" : m_failure) << '\n';
    m_told = true;
    return false;
}

} // namespace kt::cli
