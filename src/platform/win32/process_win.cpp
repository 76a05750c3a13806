// Starting the browser: the command line is composed in the core.
#include "platform/win32/win32_platform.h"

#include <shellapi.h>

namespace molra {

std::string Win32Platform::CommandLine() { return Narrow(GetCommandLineW()); }

std::uint32_t Win32Platform::StartProcess(const std::string& commandLine, int showState) {
    // CreateProcessW may write into its command line, so it gets a copy.
    std::wstring command = Widen(commandLine);
    command.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showState);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return GetLastError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

std::uint32_t Win32Platform::OpenWithDefaultHandler(const std::string& url) {
    // shell32 is only needed on this rare path, so it is not linked.
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    auto shellExecuteEx = SystemProc<ShellExecuteExFn>(L"shell32.dll", "ShellExecuteExW");
    if (!shellExecuteEx) return GetLastError();
    const std::wstring target = Widen(url);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = target.c_str();
    info.nShow = SW_SHOWNORMAL;
    return shellExecuteEx(&info) ? 0 : GetLastError();
}

}  // namespace molra
