// Starting the browser: the command line is composed in the core.
#include "platform/win32/win32_platform.h"

#include "platform/win32/owners_win.h"
#include "platform/win32/system_calls_win.h"

#include <string>

namespace molra {

std::string Win32Platform::CommandLine() { return Narrow(GetCommandLineW()); }

namespace {

// An environment variable set for one call: its previous state (absent, or
// its old value) comes back when the object ends.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
        DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
        // An empty value needs 1 (its terminator); absent answers 0.
        while (size != 0) {
            old_.assign(size, L'\0');
            const DWORD got = GetEnvironmentVariableW(name, old_.data(), size);
            if (got < size) {
                old_.resize(got);
                had_ = true;
                break;
            }
            size = got;  // it grew meanwhile
        }
        SetEnvironmentVariableW(name, value);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    std::wstring old_;
    bool had_ = false;
};

}  // namespace

std::uint32_t Win32Platform::StartProcess(const std::string& commandLine, int showState) {
    // The browser gets the environment as it was, so it is copied first.
    LPWCH environment = GetEnvironmentStringsW();
    // CreateProcessW may write into its command line, so it gets a copy.
    std::wstring command = Widen(commandLine);
    command.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showState);
    PROCESS_INFORMATION process{};
    BOOL started = FALSE;
    DWORD error = 0;
    {
        // A bare program name would be looked for in the current folder too,
        // often a shared or downloaded one. CreateProcessW reads the
        // variable from this process at the call; nothing after it (the
        // default handler's ShellExecuteExW) may inherit it.
        const ScopedVariable noCurrentFolder(L"NoDefaultCurrentDirectoryInExePath", L"1");
        started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                                 environment ? CREATE_UNICODE_ENVIRONMENT : 0, environment, nullptr,
                                 &startup, &process);
        error = started ? 0 : GetLastError();
    }
    if (environment) FreeEnvironmentStringsW(environment);
    if (!started) return error;
    const UniqueHandle thread(process.hThread);
    const UniqueHandle child(process.hProcess);
    return 0;
}

std::uint32_t Win32Platform::OpenWithDefaultHandler(const std::string& url) {
    // shell32 is only needed on this rare path, so it is not linked.
    if (!Shell32().ShellExecuteExW) return Shell32().error;
    // Shell extensions that handle the URL may need COM, apartment-threaded.
    ComApartment apartment;
    apartment.Enter(COINIT_APARTMENTTHREADED);
    const std::wstring target = Widen(url);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = target.c_str();
    info.nShow = SW_SHOWNORMAL;
    return Shell32().ShellExecuteExW(&info) ? 0 : GetLastError();
}

}  // namespace molra
