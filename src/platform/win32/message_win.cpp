// Modal message boxes, the window's waits and the end of the process, and
// the system's own words for an error code.
#include "platform/win32/win32_platform.h"

#include <optional>

#include "common/texts.h"
#include "platform/win32/window_messages_win.h"

namespace molra {

void Win32Platform::ShowMessage(const std::string& text, const std::string& caption) {
    HWND owner = owner_.load();
    // Every window belongs to the window's thread; a worker waits there for the answer.
    if (owner && GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId()) {
        MessageRequest request{text, caption};
        SendMessageW(owner, kWmShowMessage, 0, reinterpret_cast<LPARAM>(&request));
        return;
    }
    MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), MB_OK | MB_SETFOREGROUND);
}

void Win32Platform::EndProcess(UINT code) {
    if (!saveStop_) ExitProcess(code);
    endCode_ = code;
    endAsked_ = true;
    SetEvent(saveStop_);  // the save gives up its retries; SaveAnswering ends the process
}

// A nested loop: the window may not start another save meanwhile (its
// commands are disabled, and EndProcess defers a close). A quit ends it, as
// it ends every modal loop: the save gives up its retries, and the quit is
// posted again for the loop outside.
void Win32Platform::PumpUntil(HANDLE done) {
    HWND owner = owner_.load();
    std::optional<WPARAM> quit;
    for (;;) {
        const DWORD woke =
            MsgWaitForMultipleObjectsEx(1, &done, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0 + 1) {
            if (woke != WAIT_OBJECT_0) WaitForSingleObject(done, INFINITE);
            break;
        }
        MSG message;
        while (WaitForSingleObject(done, 0) == WAIT_TIMEOUT &&
               PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = message.wParam;
                if (saveStop_) SetEvent(saveStop_);
                WaitForSingleObject(done, INFINITE);
                break;
            }
            if (owner && IsDialogMessageW(owner, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (quit) PostQuitMessage(static_cast<int>(*quit));
}

bool PostOrSend(HWND window, UINT message, LPARAM data) {
    return PostMessageW(window, message, 0, data) || SendMessageW(window, message, 0, data);
}

std::string Win32Platform::ErrorText(std::uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) return text::kErrorNumberPrefix + std::to_string(code);
    return Narrow(text) + " (" + std::to_string(code) + ")";
}

}  // namespace molra
