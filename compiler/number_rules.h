// The number rules every part of the program shares: values are Singles
// (float), whole numbers and bytes come from rounding half to even, and
// number text is read to the nearest Single and written in the general
// number format. Not a general numeric library: just these rules, in one place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kt::compiler {

using Single = float;

// The largest value held as a count of tenths (rates, reference speed, word
// counter settings): 1021 tenths.
inline constexpr Single kTenthsLimit = 102.1f;

// Optional sign, digits with an optional decimal point, optional exponent
// ("200", "-1", "+.5", "12.", "1e3", "2.5E-2"). No blanks, no hex, no "inf".
bool IsNumberText(std::string_view text);

// The nearest Single to a number text; nothing when the text is not a number
// or lies beyond the Single range. A value too small for a Single reads as 0.
std::optional<Single> ParseSingle(std::string_view text);

// To the nearest whole number, halves to the even neighbour (127.5 -> 128,
// 126.5 -> 126).
double RoundHalfEven(double value);

// The value of a number text in double precision, for values wider than a
// Single (32-bit counts); nothing when the text is not a number or overflows.
// A value too small for a double reads as 0.
std::optional<double> ParseNumber(std::string_view text);

// Rounded half to even, then checked against 0..255.
std::optional<std::uint8_t> ToByte(double value);

// A value a user typed (device window, command line): blanks around it are
// allowed, the decimal separator is ".". Whole values are rounded half to
// even and checked against [low, high]; nothing when the text is no number
// or the value lies outside.
std::optional<Single> TypedSingle(std::string_view text);
std::optional<long long> TypedWhole(std::string_view text, double low, double high);
std::optional<std::uint8_t> TypedByte(std::string_view text);

// General number format: at most 7 significant digits, no trailing zeros, an
// exponent only for very large or very small magnitudes ("12.5", "100",
// "0.25", "1.234568E+07").
std::string FormatSingle(Single value);

} // namespace kt::compiler
