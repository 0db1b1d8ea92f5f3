#include "compiler/number_rules.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace kt::compiler {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool IsNumberText(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < n && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        const std::size_t start = i;
        while (i < n && IsDigit(text[i]))
            ++i;
        if (i == start)
            return false;
    }
    return i == n;
}

std::optional<Single> ParseSingle(std::string_view text) {
    if (!IsNumberText(text))
        return std::nullopt;
    bool negative = false;
    // from_chars takes no leading "+".
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    Single value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Out of range both ways: underflow reads as zero, overflow is no Single.
        double wide = 0;
        const auto wideResult = std::from_chars(text.data(), text.data() + text.size(), wide);
        const bool tiny = wideResult.ec == std::errc()
                              ? std::fabs(wide) < 1.0
                              : text.find("e-") != std::string_view::npos ||
                                    text.find("E-") != std::string_view::npos;
        if (!tiny)
            return std::nullopt;
        value = 0;
    } else if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (!std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> ParseNumber(std::string_view text) {
    if (!IsNumberText(text))
        return std::nullopt;
    const bool negative = text.front() == '-';
    if (text.front() == '+' || text.front() == '-')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range &&
        text.find_first_of("eE") != std::string_view::npos &&
        text[text.find_first_of("eE") + 1] == '-')
        value = 0; // too small: reads as zero
    else if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

double RoundHalfEven(double value) {
    // The default rounding mode is to nearest, ties to even.
    return std::nearbyint(value);
}

std::optional<std::uint8_t> ToByte(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = RoundHalfEven(value);
    if (rounded < 0 || rounded > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(rounded);
}

std::string FormatSingle(Single value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Infinity" : "Infinity";
    if (value == 0)
        return "0"; // never "-0"
    char buffer[32];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 7);
    if (ec != std::errc())
        return "0";
    std::string text(buffer, end);
    for (char& c : text) {
        if (c == 'e')
            c = 'E';
    }
    return text;
}

} // namespace kt::compiler
