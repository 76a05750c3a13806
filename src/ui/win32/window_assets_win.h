// The logo and the icons, made on a worker thread while the notice waits
// for the user. The worker creates no window: every window of the program
// is created, shown and run on the thread that shows the notice.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/win32/owners_win.h"
#include "ui/win32/logo_win.h"

namespace molra {

struct Icons {
    UINT dpi = 0;
    OwnedIcon bigIcon;
    OwnedIcon smallIcon;
};

// The class holds icons for the system DPI only (shared: never destroyed).
struct ClassIcons {
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
};

struct PreparedAssets {
    LogoPixels logo;
    bool logoDecoded = false;
    ClassIcons classIcons;
    Icons icons;  // for the system DPI, which the window most often has
};

// The frame's icons, drawn for the window's own DPI.
Icons LoadIcons(HINSTANCE instance, UINT dpi);
PreparedAssets PrepareAssets(HINSTANCE instance);

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

}  // namespace molra
