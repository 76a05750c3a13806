#include "ui/win32/legibility_win.h"

#include <algorithm>
#include <cstddef>

#include "platform/win32/owners_win.h"

namespace molra {

bool HighContrastOn() {
    HIGHCONTRASTW settings{};
    settings.cbSize = sizeof(settings);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(settings), &settings, 0) &&
           (settings.dwFlags & HCF_HIGHCONTRASTON);
}

Colour ToColour(COLORREF colour) {
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

Colour SystemColour(int index) { return ToColour(GetSysColor(index)); }

std::vector<Colour> PixelColours(HBITMAP bitmap, RECT area) {
    DIBSECTION dib{};
    if (GetObjectW(bitmap, sizeof(dib), &dib) != sizeof(dib) || !dib.dsBm.bmBits ||
        dib.dsBm.bmBitsPixel != 32)
        return {};
    const long width = dib.dsBm.bmWidth;
    const long height = dib.dsBm.bmHeight;
    const bool topDown = dib.dsBmih.biHeight < 0;
    const auto* bits = static_cast<const BYTE*>(dib.dsBm.bmBits);
    std::vector<Colour> colours;
    for (long y = std::max(0L, area.top); y < std::min(height, area.bottom); ++y) {
        const BYTE* row = bits + static_cast<std::ptrdiff_t>(topDown ? y : height - 1 - y) *
                                     dib.dsBm.bmWidthBytes;
        for (long x = std::max(0L, area.left); x < std::min(width, area.right); ++x) {
            const BYTE* pixel = row + static_cast<std::ptrdiff_t>(x) * 4;
            colours.push_back({pixel[2], pixel[1], pixel[0]});
        }
    }
    return colours;
}

SIZE MeasureText(HWND window, HFONT font, const std::wstring& text, int wrapWidth) {
    RECT rect{0, 0, wrapWidth, 0};
    // As a static control draws its text (SS_NOPREFIX).
    const UINT format =
        DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE);
    if (const WindowDC dc(window); dc) {
        HGDIOBJ previous = SelectObject(dc.get(), font);
        DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &rect, format);
        SelectObject(dc.get(), previous);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace molra
