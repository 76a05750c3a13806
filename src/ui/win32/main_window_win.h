// The one window, shown when start-up finds no address.
#pragma once

#include <memory>

#include "platform/win32/owners_win.h"
#include "platform/win32/win32_platform.h"

namespace molra {

// The logo and the icons, made on a worker thread while the notice waits
// for the user. The worker creates no window: every window of the program
// is created, shown and run on the thread that shows the notice.
struct PreparedAssets;

class WindowAssets {
public:
    WindowAssets();
    WindowAssets(const WindowAssets&) = delete;
    WindowAssets& operator=(const WindowAssets&) = delete;
    ~WindowAssets();

    // Starts the worker; when none can be started the window makes them itself.
    void StartPreparing(HINSTANCE instance);
    // Waits for the worker and hands over what it made; null without a worker.
    std::unique_ptr<PreparedAssets> Take();

private:
    static DWORD WINAPI Prepare(void* self);

    HINSTANCE instance_ = nullptr;
    DWORD uiThread_ = 0;
    UniqueHandle noticeGone_;  // set once the notice has returned
    UniqueHandle thread_;
    std::unique_ptr<PreparedAssets> prepared_;
};

// Creates, shows and runs the window on the calling thread until the program
// ends; the process exit code. A quit posted while the notice was up, or a
// window that cannot be created (the user is told), ends it with non-zero.
int RunMainWindow(Win32Platform& platform, HINSTANCE instance, WindowAssets& assets);

}  // namespace molra
