// What the window needs to know to stay readable: the user's contrast
// settings, the colours behind its text, and how much room its text takes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/legibility.h"

namespace molra {

// The high contrast feature is on (SPI_GETHIGHCONTRAST); false when unknown.
bool HighContrastOn();
Colour SystemColour(int index);
Colour ToColour(COLORREF colour);
// Every pixel colour of a 32-bit DIB section inside area (bitmap
// coordinates, clipped to the bitmap); empty for any other bitmap.
std::vector<Colour> PixelColours(HBITMAP bitmap, RECT area);
// The size text takes in font as window would draw it: one line when
// wrapWidth is 0, else broken at words to fit wrapWidth.
SIZE MeasureText(HWND window, HFONT font, const std::wstring& text, int wrapWidth);

}  // namespace molra
