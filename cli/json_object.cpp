#include "cli/json_object.h"

#include <cstdio>

namespace kt::cli {

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + '"';
}

JsonObject& JsonObject::String(std::string_view key, std::string_view value) {
    return Json(key, JsonString(value));
}

JsonObject& JsonObject::Number(std::string_view key, std::int64_t value) {
    return Json(key, std::to_string(value));
}

JsonObject& JsonObject::Json(std::string_view key, std::string_view json) {
    if (!m_members.empty())
        m_members += ',';
    m_members += JsonString(key);
    m_members += ':';
    m_members += json;
    return *this;
}

} // namespace kt::cli
