// Whether the window's own look stays readable, and where the caption label
// goes so that its whole text shows. Pure arithmetic: the window layer
// measures and draws.
#pragma once

#include <cstdint>
#include <span>

namespace molra {

struct Colour {
    std::uint8_t red, green, blue;
};

// WCAG 2.x relative luminance of an sRGB colour: 0 for black, 1 for white.
double RelativeLuminance(Colour colour);
// (lighter + 0.05) / (darker + 0.05): from 1 (same) to 21 (black on white).
double ContrastRatio(Colour first, Colour second);

// What WCAG 1.4.3 asks of normal-sized text.
inline constexpr double kMinimumTextContrast = 4.5;

// The light-yellow box and the logo behind the label may stay only while
// high contrast is off and the system's text colour reaches the minimum on
// every one of grounds (the box's colour and each picture pixel behind the
// label). Otherwise the window draws with the system's colours alone.
bool KeepOwnColours(bool highContrast, Colour text, std::span<const Colour> grounds);

// A horizontal extent in pixels.
struct Span {
    int left = 0;
    int width = 0;
    friend bool operator==(const Span&, const Span&) = default;
};

struct LabelPlace {
    Span box;
    bool wraps = false;  // even the client width holds no single line
    friend bool operator==(const LabelPlace&, const LabelPlace&) = default;
};

// The label's box for a one-line text textWidth wide: the table's box when
// the text fits; else just wide enough, centred on the control column and
// kept inside the client; else the client's whole width, wrapping.
LabelPlace PlaceLabel(int textWidth, Span tableBox, Span column, int clientWidth);

}  // namespace molra
