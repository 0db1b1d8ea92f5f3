#include "compiler/white_space.h"

namespace kt::compiler {

namespace {

bool IsBlankOrTab(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

TrimmedLine TrimWhiteSpace(std::string_view line) {
    std::size_t end = line.size();
    while (end > 0 && IsBlankOrTab(line[end - 1]))
        --end;
    if (end == 0)
        return {};
    std::size_t begin = 0;
    while (IsBlankOrTab(line[begin]))
        ++begin;
    return {line.substr(0, begin), line.substr(begin, end - begin)};
}

std::string WhtSpc(std::string& t) {
    const TrimmedLine trimmed = TrimWhiteSpace(t);
    std::string leading(trimmed.leading);
    const std::size_t begin = trimmed.leading.size();
    const std::size_t length = trimmed.text.size();
    t.erase(begin + length);
    t.erase(0, begin);
    return leading;
}

} // namespace kt::compiler
