// The one window, shown when start-up finds no address.
#pragma once

#include "platform/win32/win32_platform.h"

namespace molra {

// Builds the window, hidden, on a thread of its own while the notice waits
// for the user (from the moment the notice is activated), and runs it on that
// thread once shown: loading comctl32 and COM and decoding the logo then cost
// the user no time after the notice.
class WindowThread {
public:
    WindowThread() = default;
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;
    // A window that was built but never shown is destroyed.
    ~WindowThread();

    // False when no thread could be started.
    bool Start(Win32Platform& platform, HINSTANCE instance);
    // Shows the window and waits until it ends; the process exit code.
    int ShowAndRun();

private:
    static DWORD WINAPI Main(void* self);
    // Until shown, the thread answers its window's messages and waits.
    bool AwaitShow(int& quitCode);

    Win32Platform* platform_ = nullptr;
    HINSTANCE instance_ = nullptr;
    HANDLE thread_ = nullptr;
    HANDLE release_ = nullptr;  // set when the window is to be shown or abandoned
    volatile LONG abandoned_ = 0;
};

// Builds, shows and runs the window on the calling thread; the process exit code.
int RunMainWindow(Win32Platform& platform, HINSTANCE instance);

}  // namespace molra
