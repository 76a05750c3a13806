// The program's own window messages, all to the main window.
#pragma once

#include <windows.h>

namespace molra {

// Posted by the window to itself once it shows; wParam and lParam 0.
inline constexpr UINT kWmAddToolTips = WM_APP + 1;
// From the check's worker through PostOrSend; lParam a ServerCheck* that the window
// takes over by answering TRUE.
inline constexpr UINT kWmCheckDone = WM_APP + 2;
// Sent, never posted, from another thread: the sender's stack holds it. lParam a
// MessageRequest*, which the window shows with ShowMessage on its own thread.
inline constexpr UINT kWmShowMessage = WM_APP + 0x40;

}  // namespace molra
