#include "rig/rig.h"

#include <algorithm>
#include <cctype>
#include <cwctype>

#include "platform/win32/text_win.h"

namespace e2e {

using molra::Narrow;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

std::optional<Started> StartProcess(const std::wstring& application, std::wstring commandLine,
                                    const std::wstring& folder, DWORD flags, wchar_t* environment) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // CreateProcessW may write into its command line: commandLine is our copy.
    commandLine.push_back(L'\0');
    if (environment) flags |= CREATE_UNICODE_ENVIRONMENT;
    if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), commandLine.data(),
                        nullptr, nullptr, FALSE, flags, environment,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return std::nullopt;
    return Started{molra::UniqueHandle(info.hProcess), molra::UniqueHandle(info.hThread),
                   info.dwProcessId};
}

namespace {

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

// A named callback, not a lambda: a lambda's function pointer would not be
// CALLBACK (stdcall) in a 32-bit build.
BOOL CALLBACK CollectWindowOf(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->pid) search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindowsOf(DWORD pid) {
    WindowSearch search{pid, {}};
    EnumWindows(CollectWindowOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::string WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return "<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    // The second question may time out too (a debugged program stopped in between).
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        return "<no answer>";
    text.resize(copied);
    return Narrow(text);
}

std::string ClassName(HWND window) {
    wchar_t name[256];
    const int length = GetClassNameW(window, name, 256);
    return Narrow(std::wstring(name, length > 0 ? length : 0));
}

HWND FindShownWindow(DWORD pid, const std::wstring& title, const wchar_t* className) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, className, title.c_str())) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

HWND PollForWindow(HANDLE process, DWORD timeoutMs, DWORD pollMs,
                   const std::function<HWND()>& find) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND window = find()) return window;
        if (WaitForSingleObject(process, pollMs) != WAIT_TIMEOUT || GetTickCount64() > deadline)
            return nullptr;
    }
}

bool IsMessageBox(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return IsWindowVisible(window) && std::wstring(name) == kMessageBoxClass;
}

std::optional<MsgBox> FindMessageBox(DWORD pid, HWND skip) {
    for (HWND window : TopLevelWindowsOf(pid)) {
        if (window == skip || !IsMessageBox(window)) continue;
        MsgBox box;
        box.window = window;
        box.caption = WindowText(window);
        if (HWND text = GetDlgItem(window, 0xFFFF)) box.text = WindowText(text);
        return box;
    }
    return std::nullopt;
}

bool ClickOk(HWND box) {
    HWND ok = GetDlgItem(box, IDOK);
    return ok && PostMessageW(ok, BM_CLICK, 0, 0);
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

namespace {

void SendKey(WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

}  // namespace

void PressKey(WORD key, WORD modifier) {
    if (modifier) SendKey(modifier, false);
    SendKey(key, false);
    SendKey(key, true);
    if (modifier) SendKey(modifier, true);
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    molra::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    return bytes;
}

std::vector<std::string> ShimLog::Read() const {
    std::string text = ReadWholeFile(path_).value_or("");
    text.erase(text.find_last_of('\n') + 1);
    return SplitLines(text);
}

bool ShimLog::Exists() const {
    return GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void ShimLog::Clear() const { DeleteFileW(path_.c_str()); }

std::vector<std::string> ShimLog::Take(std::size_t atLeast) const {
    for (const ULONGLONG end = GetTickCount64() + 2000;
         Read().size() < atLeast && GetTickCount64() < end;)
        Sleep(20);
    const auto lines = Read();
    Clear();
    return lines;
}

}  // namespace e2e
