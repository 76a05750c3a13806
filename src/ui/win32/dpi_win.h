// The window's pixel density. Everything newer than Windows 7 is looked up
// at run time, so the program still starts there (at the system DPI).
#pragma once

#include <windows.h>

namespace molra {

inline constexpr UINT kDefaultDpi = 96;
// Not declared for a Windows 7 target.
inline constexpr UINT kWmDpiChanged = 0x02E0;
inline constexpr UINT kWmGetDpiScaledSize = 0x02E4;

// For WM_NCCREATE: lets Windows 10 1607 scale the frame of a per-monitor
// (version 1) window; later versions do so by themselves.
void EnableFrameScaling(HWND window);

// Never 0: 96 when nothing better is known.
UINT SystemDpi();
UINT WindowDpi(HWND window);

// Outer size of a window whose client area is client at dpi.
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi);
int SystemMetricForDpi(int index, UINT dpi);
// The system's message font at dpi: the font dialogs and message boxes use.
LOGFONTW MessageFontForDpi(UINT dpi);

}  // namespace molra
