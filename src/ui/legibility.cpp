#include "ui/legibility.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace molra {

namespace {

// A table: the window weighs every picture pixel behind the label.
double Linear(std::uint8_t channel) {
    static const std::array<double, 256> linear = [] {
        std::array<double, 256> table{};
        for (std::size_t i = 0; i < table.size(); ++i) {
            const double value = static_cast<double>(i) / 255.0;
            table[i] = value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
        }
        return table;
    }();
    return linear[channel];
}

}  // namespace

double RelativeLuminance(Colour colour) {
    return 0.2126 * Linear(colour.red) + 0.7152 * Linear(colour.green) +
           0.0722 * Linear(colour.blue);
}

double ContrastRatio(Colour first, Colour second) {
    const double a = RelativeLuminance(first);
    const double b = RelativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

bool KeepOwnColours(bool highContrast, Colour text, std::span<const Colour> grounds) {
    return !highContrast && std::all_of(grounds.begin(), grounds.end(), [&](Colour ground) {
        return ContrastRatio(text, ground) >= kMinimumTextContrast;
    });
}

LabelPlace PlaceLabel(int textWidth, Span tableBox, Span column, int clientWidth) {
    if (textWidth <= tableBox.width) return {tableBox, false};
    if (textWidth > clientWidth) return {{0, clientWidth}, true};
    // Twice the centre, so that an odd column width does not round twice.
    const int left = (2 * column.left + column.width - textWidth) / 2;
    return {{std::clamp(left, 0, clientWidth - textWidth), textWidth}, false};
}

}  // namespace molra
