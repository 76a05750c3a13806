// The one window, shown when start-up finds no address.
#pragma once

#include "platform/win32/win32_platform.h"

namespace molra {

// Runs the window until the program ends; returns the process exit code.
int RunMainWindow(Win32Platform& platform, HINSTANCE instance);

}  // namespace molra
