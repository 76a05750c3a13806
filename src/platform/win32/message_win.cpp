// Modal message boxes and the system's own words for an error code.
#include "platform/win32/win32_platform.h"

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

std::string Win32Platform::ErrorText(std::uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) return "Fehler " + std::to_string(code);
    return Narrow(text) + " (" + std::to_string(code) + ")";
}

}  // namespace molra
