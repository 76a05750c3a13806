// Command1's check of the server: look-ups and echoes may take seconds, so
// they run on a worker while the window's thread keeps answering. The save
// and every box stay on the window's thread.
#include "ui/win32/main_window_win.h"

#include <memory>
#include <string>
#include <utility>

#include "platform/win32/window_messages_win.h"

namespace molra {

namespace {

struct CheckJob {
    Win32Platform& platform;
    HWND window;
    std::string text1;
};

}  // namespace

void MainWindow::Command1_Click() {
    if (checking_) return;  // Enter, or a click queued before the controls were disabled
    HWND text1 = controls_[kText1];
    std::wstring typed(static_cast<std::size_t>(GetWindowTextLengthW(text1)) + 1, L'\0');
    const int length = GetWindowTextW(text1, typed.data(), static_cast<int>(typed.size()));
    typed.resize(static_cast<std::size_t>(length));
    auto job = std::make_unique<CheckJob>(CheckJob{platform_, window_, Narrow(typed)});
    setChecking(true);
    if (const UniqueHandle worker{CreateThread(nullptr, 0, RunCheck, job.get(), 0, nullptr)}) {
        static_cast<void>(job.release());  // the worker's now
        return;
    }
    // No thread to be had: check here rather than not at all.
    onCheckDone(std::make_unique<ServerCheck>(CheckServer(platform_, job->text1)));
}

DWORD WINAPI MainWindow::RunCheck(void* param) {
    const std::unique_ptr<CheckJob> job(static_cast<CheckJob*>(param));
    auto check = std::make_unique<ServerCheck>(CheckServer(job->platform, job->text1));
    // Only a window that is gone takes it not, and then nobody waits for it.
    if (PostOrSend(job->window, kWmCheckDone, reinterpret_cast<LPARAM>(check.get())))
        static_cast<void>(check.release());
    return 0;
}

// The controls stay disabled through the save and its box, so that no
// second click can start while the first is not finished.
void MainWindow::onCheckDone(std::unique_ptr<ServerCheck> check) {
    const ClickOutcome outcome = FinishClick(platform_, *check);
    setChecking(false);
    // A fatal socket failure was reported; nothing else of this click may run.
    if (outcome.endProcess) ExitProcess(1);
    if (outcome.newText1) SetWindowTextW(controls_[kText1], Widen(*outcome.newText1).c_str());
}

// While a check runs neither a click nor Enter may start another; Command2
// and the close box stay usable. A disabled control keeps no focus (keys
// would go nowhere), so the frame holds it meanwhile.
void MainWindow::setChecking(bool checking) {
    checking_ = checking;
    if (checking) {
        HWND focus = GetFocus();
        focusBeforeCheck_ = focus && IsChild(window_, focus) ? focus : focus_;
        focus_ = nullptr;
        if (focus == controls_[kCommand1] || focus == controls_[kText1]) SetFocus(window_);
    }
    EnableWindow(controls_[kCommand1], !checking);
    EnableWindow(controls_[kText1], !checking);
    if (!checking) {
        focus_ = focusBeforeCheck_;
        if (GetActiveWindow() == window_ && focus_) SetFocus(focus_);
    }
    refreshCursor();
}

// The system asks for the cursor only when the mouse moves: ask now for the
// control under a resting mouse.
void MainWindow::refreshCursor() {
    POINT point;
    if (!GetCursorPos(&point)) return;
    HWND under = WindowFromPoint(point);
    if (under != window_ && !IsChild(window_, under)) return;
    const LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                 MAKELPARAM(static_cast<WORD>(hit), WM_MOUSEMOVE));
}

}  // namespace molra
