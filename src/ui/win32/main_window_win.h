// The one window, shown when start-up finds no address.
#pragma once

#include <memory>

#include "platform/win32/win32_platform.h"

namespace molra {

// What the window needs from slow DLLs, made on a worker thread while the
// notice waits for the user.
struct WindowPreparation;
struct ReleaseWindowPreparation {
    void operator()(WindowPreparation* preparation) const;
};
using PreparedWindow = std::unique_ptr<WindowPreparation, ReleaseWindowPreparation>;

// Null when no thread could be started; the window then does the work itself.
PreparedWindow PrepareWindow(HINSTANCE instance);

// Runs the window until the program ends; returns the process exit code.
int RunMainWindow(Win32Platform& platform, HINSTANCE instance, PreparedWindow prepared);

}  // namespace molra
