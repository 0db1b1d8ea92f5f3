// One JSON object written as one line, its keys in the order they are added:
// what "simulate --json" prints a record at a time. Strings are taken as
// UTF-8 and escaped by JsonString; numbers, objects and arrays are passed as
// their JSON text. Not a JSON reader, and no pretty printing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kt::cli {

// text as a quoted JSON string: quotes, backslashes and control characters
// escaped, everything else (valid UTF-8) as it is.
std::string JsonString(std::string_view text);

class JsonObject {
public:
    JsonObject& String(std::string_view key, std::string_view value);
    JsonObject& Number(std::string_view key, std::int64_t value);
    // json: a number's text ("47.96733"), an object or an array made
    // elsewhere, as it is.
    JsonObject& Json(std::string_view key, std::string_view json);
    // The object, "{}" when nothing was added.
    std::string Text() const { return "{" + m_members + "}"; }

private:
    std::string m_members;
};

} // namespace kt::cli
