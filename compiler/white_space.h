// The white-space helper shared by the line compiler and the editor: trims
// blanks and tabs at both ends of a line and hands back the indentation it
// took off the front. Blanks and tabs only; no other character is white space
// in the language.
#pragma once

#include <string>
#include <string_view>

namespace kt::compiler {

struct TrimmedLine {
    std::string_view leading; // the blanks and tabs removed at the front, in order
    std::string_view text;    // what is left between the two ends
};

// The same trimming on a view; a blank line leaves both parts empty.
TrimmedLine TrimWhiteSpace(std::string_view line);

// Removes leading and trailing blanks and tabs from t in place and returns
// the leading run it removed (empty when t was empty or blank).
std::string WhtSpc(std::string& t);

} // namespace kt::compiler
