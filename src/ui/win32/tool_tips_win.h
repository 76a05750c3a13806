// The controls' tool tips. They live in comctl32, which the launch path must
// never load.
#pragma once

#include <windows.h>

#include "ui/win32/controls_win.h"

namespace molra {

// On the thread that shows the notice: comctl32 loaded first by another
// thread while a message box is being built can deadlock the two.
void LoadCommonControls();

// A tip for every control of kControls that has one; none without comctl32.
void AddToolTips(HWND window, HINSTANCE instance, const Controls& controls);

}  // namespace molra
