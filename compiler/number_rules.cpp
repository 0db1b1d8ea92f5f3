#include "compiler/number_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace kt::compiler {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether an unsigned number text that a float or double cannot hold is too
// large (1 or more) rather than too small. The decimal order of its first
// significant digit tells, exactly, however long the digits or the exponent
// run; an "e-" in the text proves nothing ("1000e-1" is 100).
bool AtLeastOne(std::string_view text) {
    // Far beyond any order a text in memory can shift the exponent by.
    // Kept small enough that one more digit cannot overflow.
    constexpr long long kExponentCap = 100'000'000'000'000'000;
    long long order = -1; // the first significant digit stands for 10^order
    bool significant = false;
    bool point = false;
    std::size_t i = 0;
    for (; i < text.size() && (IsDigit(text[i]) || text[i] == '.'); ++i) {
        if (text[i] == '.') {
            point = true;
        } else if (!point) {
            if (significant || text[i] != '0') {
                significant = true;
                ++order;
            }
        } else if (!significant) {
            if (text[i] != '0')
                significant = true;
            else
                --order;
        }
    }
    if (!significant)
        return false; // zero
    long long exponent = 0;
    if (i < text.size()) { // "e" or "E", then the exponent
        ++i;
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        for (; i < text.size(); ++i)
            exponent = exponent >= kExponentCap ? kExponentCap : exponent * 10 + (text[i] - '0');
        if (negative)
            exponent = -exponent;
    }
    return order + exponent >= 0;
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
        // Underflow reads as zero; overflow is no Single.
        if (AtLeastOne(text))
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
    if (ec == std::errc::result_out_of_range && !AtLeastOne(text))
        value = 0; // too small: reads as zero
    else if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

double RoundHalfEven(double value) {
    // The default rounding mode is to nearest, ties to even.
    return std::nearbyint(value);
}

namespace {

std::string_view TrimmedTyped(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

} // namespace

std::optional<Single> TypedSingle(std::string_view text) {
    return ParseSingle(TrimmedTyped(text));
}

std::optional<long long> TypedWhole(std::string_view text, double low, double high) {
    const std::optional<double> value = ParseNumber(TrimmedTyped(text));
    if (!value)
        return std::nullopt;
    const double rounded = RoundHalfEven(*value);
    if (!(rounded >= low && rounded <= high))
        return std::nullopt;
    return static_cast<long long>(rounded);
}

std::optional<std::uint8_t> TypedByte(std::string_view text) {
    const std::optional<long long> value = TypedWhole(text, 0, 255);
    return value ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(*value)) : std::nullopt;
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
