// Starting the browser: the command line is composed in the core.
#include "platform/win32/win32_platform.h"

#include "platform/win32/owners_win.h"
#include "platform/win32/system_calls_win.h"

namespace molra {

std::string Win32Platform::CommandLine() { return Narrow(GetCommandLineW()); }

std::uint32_t Win32Platform::StartProcess(const std::string& commandLine, int showState) {
    // A bare program name would be looked for in the current folder too,
    // often a shared or downloaded one. The browser gets the environment as
    // it was.
    LPWCH environment = GetEnvironmentStringsW();
    SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", L"1");
    // CreateProcessW may write into its command line, so it gets a copy.
    std::wstring command = Widen(commandLine);
    command.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showState);
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                       environment ? CREATE_UNICODE_ENVIRONMENT : 0, environment, nullptr, &startup,
                       &process);
    const DWORD error = started ? 0 : GetLastError();
    if (environment) FreeEnvironmentStringsW(environment);
    if (!started) return error;
    const UniqueHandle thread(process.hThread), child(process.hProcess);
    return 0;
}

std::uint32_t Win32Platform::OpenWithDefaultHandler(const std::string& url) {
    // shell32 is only needed on this rare path, so it is not linked.
    if (!Shell32().ShellExecuteExW) return Shell32().error;
    // Shell extensions that handle the URL may need COM. The apartment stays
    // entered: the process ends right after.
    if (Ole32().CoInitializeEx)
        Ole32().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
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
