// Stands in for the browser and the URL handler: it only writes down how it
// was started, so a test can read the exact command line it was given.
//
// Each run appends one record to the file named by MOLRA_RECORD (nothing
// when it is unset). A record is
//   record\n
//   module <n>:<n bytes>\n
//   cmdline <n>:<n bytes>\n
//   show <n>:<n bytes>\n
//   exepath <n>:<n bytes>\n    NoDefaultCurrentDirectoryInExePath: "-" when
//                              unset, else "=" and its value
//   end\n
// with UTF-8 field values, so any character a command line may hold, line
// ends included, reads back unchanged.
#include <windows.h>

#include <string>

#include "platform/win32/owners_win.h"
#include "platform/win32/text_win.h"

namespace {

std::string Field(const char* name, const std::string& value) {
    return std::string(name) + " " + std::to_string(value.size()) + ":" + value + "\n";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t target[MAX_PATH * 4];
    const DWORD targetLength = GetEnvironmentVariableW(L"MOLRA_RECORD", target, MAX_PATH * 4);
    if (targetLength == 0 || targetLength >= MAX_PATH * 4) return 0;

    std::wstring module(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got =
            GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
        if (got < module.size()) {
            module.resize(got);
            break;
        }
        module.resize(module.size() * 2);
    }
    const wchar_t* commandLine = GetCommandLineW();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;

    std::wstring exePath(32767, L'\0');
    const DWORD exePathLength =
        GetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", exePath.data(), 32767);
    const std::string exePathField = exePathLength == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND
                                         ? "-"
                                         : "=" + molra::Narrow(exePath.data(), exePathLength);

    const std::string record =
        "record\n" + Field("module", molra::Narrow(module.data(), module.size())) +
        Field("cmdline",
              molra::Narrow(commandLine, static_cast<std::size_t>(lstrlenW(commandLine)))) +
        Field("show", std::to_string(show)) + Field("exepath", exePathField) + "end\n";

    // Several recorders may finish at once: retry while another one holds the file.
    for (int attempt = 0; attempt < 200; ++attempt) {
        const molra::UniqueHandle file(CreateFileW(target, FILE_APPEND_DATA, FILE_SHARE_READ,
                                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                                   nullptr));
        if (file) {
            DWORD written = 0;
            const BOOL ok = WriteFile(file.get(), record.data(), static_cast<DWORD>(record.size()),
                                      &written, nullptr);
            return ok && written == record.size() ? 0 : 2;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION) return 3;
        Sleep(10);
    }
    return 4;
}
