// The controls' places: the table's twips scaled once per DPI, and the label
// widened or wrapped to fit the message font.
#include "ui/win32/controls_win.h"

#include <algorithm>
#include <string>

#include "platform/win32/owners_win.h"
#include "platform/win32/text_win.h"
#include "ui/legibility.h"
#include "ui/win32/dpi_win.h"
#include "ui/win32/legibility_win.h"

namespace molra {

namespace {

int ToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

RECT ToPixels(const Twips& twips, UINT dpi) {
    const int left = ToPixels(twips.left, dpi);
    const int top = ToPixels(twips.top, dpi);
    return {left, top, left + ToPixels(twips.width, dpi), top + ToPixels(twips.height, dpi)};
}

// Widens label until its text fits on one line (wrapping only when even the
// client is too narrow). Returns how far Text1 and the buttons must move down
// so that every line shows above Text1: 0 unless the font is unusually large.
int FitLabel1(HWND control, HFONT font, RECT& label, const RECT& text1, int clientWidth) {
    const std::wstring text = Widen(kControls[kLabel1].text);
    const SIZE line = MeasureText(control, font, text, 0);
    const LabelPlace place = PlaceLabel(line.cx, {label.left, label.right - label.left},
                                        {text1.left, text1.right - text1.left}, clientWidth);
    label.left = place.box.left;
    label.right = place.box.left + place.box.width;
    const int height = place.wraps ? MeasureText(control, font, text, place.box.width).cy : line.cy;
    label.bottom = std::max(label.bottom, label.top + height);
    return std::max(0, static_cast<int>(label.top + height - text1.top));
}

}  // namespace

bool CreateControls(HWND window, HINSTANCE instance, Controls& controls) {
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const ControlSpec& control = kControls[i];
        controls[i] = CreateWindowExW(
            control.exStyle, control.className, Widen(control.text).c_str(),
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | control.style, 0, 0, 0, 0, window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
        if (!controls[i]) return false;
    }
    return true;
}

SIZE WindowSize(UINT dpi) {
    return WindowSizeForClient({ToPixels(kClientTwips.cx, dpi), ToPixels(kClientTwips.cy, dpi)},
                               kStyle, kExStyle, dpi);
}

SIZE PlaceControls(const Controls& controls, HFONT font, UINT dpi) {
    std::array<RECT, kControlCount> boxes{};
    for (std::size_t i = 0; i < kControlCount; ++i) boxes[i] = ToPixels(kControls[i].twips, dpi);
    SIZE client{ToPixels(kClientTwips.cx, dpi), ToPixels(kClientTwips.cy, dpi)};
    const int below = FitLabel1(controls[kLabel1], font, boxes[kLabel1], boxes[kText1], client.cx);
    for (const std::size_t i : {kText1, kCommand1, kCommand2}) OffsetRect(&boxes[i], 0, below);
    client.cy += below;
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const RECT& rect = boxes[i];
        SetWindowPos(controls[i], nullptr, rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return client;
}

void ClipLabel(const Controls& controls) {
    HWND label = controls[kLabel1];
    RECT labelRect;
    RECT text1Rect;
    GetWindowRect(label, &labelRect);
    GetWindowRect(controls[kText1], &text1Rect);
    OffsetRect(&text1Rect, -labelRect.left, -labelRect.top);
    OwnedRegion region(
        CreateRectRgn(0, 0, labelRect.right - labelRect.left, labelRect.bottom - labelRect.top));
    if (!region) return;
    if (const OwnedRegion text1{
            CreateRectRgn(text1Rect.left, text1Rect.top, text1Rect.right, text1Rect.bottom)})
        CombineRgn(region.get(), region.get(), text1.get(), RGN_DIFF);
    // The window owns the region once it is set.
    if (SetWindowRgn(label, region.get(), TRUE)) region.release();
}

void CentreOnWorkArea(HWND window) {
    RECT area{};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor))
        area = monitor.rcWork;
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT frame;
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace molra
