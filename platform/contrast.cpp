#include "platform/contrast.h"

#include <algorithm>
#include <cmath>

namespace kt::platform {

double Luminance(const QColor& colour) {
    const auto channel = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
    // The list form: the two-argument one returns references to temporaries.
    const auto [low, high] = std::minmax({Luminance(a), Luminance(b)});
    return (high + 0.05) / (low + 0.05);
}

QColor Legible(const QColor& colour, const QColor& ground, double ratio, const QColor& toward) {
    for (int step = 0; step <= 20; ++step) {
        const auto mix = [&](int from, int to) { return from + (to - from) * step / 20; };
        const QColor mixed(mix(colour.red(), toward.red()), mix(colour.green(), toward.green()),
                           mix(colour.blue(), toward.blue()));
        if (Contrast(mixed, ground) >= ratio)
            return mixed;
    }
    return toward;
}

} // namespace kt::platform
