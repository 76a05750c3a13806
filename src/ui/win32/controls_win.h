// The window's controls and their layout. Positions are kept in twips and
// turned into pixels for the window's DPI here.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>

#include "common/texts.h"

namespace molra {

inline constexpr DWORD kStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
inline constexpr DWORD kExStyle = 0;
inline constexpr SIZE kClientTwips{4110, 3090};

// Neither IDOK nor IDCANCEL: Escape must not press Command2.
enum ControlId : int { kIdCommand1 = 1001, kIdText1, kIdCommand2, kIdLabel1 };
enum ControlIndex : std::size_t { kCommand1, kLabel1, kText1, kCommand2, kControlCount };

struct Twips {
    int left, top, width, height;
};

struct ControlSpec {
    int id;
    const wchar_t* className;
    Twips twips;
    const char* text;
    const char* toolTip;
    DWORD style;
    DWORD exStyle;
};

// Creation order is the z-order, and the tab stops in it are the tab order.
// Label1 stands just before Text1: screen readers name an edit box after the
// static text that precedes it. The label is no tab stop, so Tab still goes
// Command1, Text1, Command2; its window region leaves out Text1's box, so
// Text1 is still drawn over the label where the two overlap.
// clang-format off
inline constexpr std::array<ControlSpec, kControlCount> kControls{{
    // left, top, width, height in twips
    {kIdCommand1, L"BUTTON", {968, 1320, 2175, 615}, text::kCommand1, text::kTipCommand1,
     BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
    {kIdLabel1,   L"STATIC", {979,  600, 2160, 375}, text::kLabel1,   nullptr,
     SS_LEFT | SS_NOPREFIX, 0},
    {kIdText1,    L"EDIT",   {968,  840, 2175, 375}, "",              text::kTipText1,
     ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {kIdCommand2, L"BUTTON", {968, 2040, 2175, 615}, text::kCommand2, text::kTipCommand2,
     BS_PUSHBUTTON | WS_TABSTOP, 0},
}};
// clang-format on

using Controls = std::array<HWND, kControlCount>;

// All of kControls, in its order, as children of window; false when one fails.
bool CreateControls(HWND window, HINSTANCE instance, Controls& controls);

// The window's outer size at dpi, before any room the label may need.
SIZE WindowSize(UINT dpi);

// Places the controls for dpi and font; returns the client size they need.
SIZE PlaceControls(const Controls& controls, HFONT font, UINT dpi);

// Label1 precedes Text1 in the z-order, so by itself it would cover Text1's
// top edge; its region leaves that part out.
void ClipLabel(const Controls& controls);

void CentreOnWorkArea(HWND window);

}  // namespace molra
