// Contrast between two colours as the accessibility guidelines measure it,
// and a colour moved just far enough toward another to read on its ground.
// Not a theme: callers still pick their colours from the palette.
#pragma once

#include <QColor>

namespace kt::platform {

// Relative luminance: 0 for black, 1 for white.
double Luminance(const QColor& colour);
// 1 for equal colours, 21 for black on white.
double Contrast(const QColor& a, const QColor& b);

// Text wants 4.5:1 on its ground; marks, lines and large glyphs 3:1.
inline constexpr double kTextContrast = 4.5;
inline constexpr double kMarkContrast = 3.0;

// colour itself if it has ratio on ground; otherwise the first mix of it
// toward toward (in steps of a twentieth) that has, or toward itself when
// not even that does.
QColor Legible(const QColor& colour, const QColor& ground, double ratio, const QColor& toward);

} // namespace kt::platform
