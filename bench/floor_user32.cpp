// Floor for the launch path of an ordinary C++ program: the MinGW runtime,
// user32 and advapi32 linked, one registry read for the browser path, then
// the same CreateProcessW as the program under test.
#include <windows.h>

#include <string>

namespace {

std::wstring BrowserPath() {
    std::wstring path = L"C:\\Program Files\\Internet Explorer\\iexplore.exe";
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT,
                      L"CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return path;
    wchar_t value[1024];
    DWORD type = 0;
    DWORD size = sizeof value - sizeof value[0];
    if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        value[size / sizeof value[0]] = L'\0';
        path = value;
    }
    RegCloseKey(key);
    return path;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The argument is found with user32's CharNextW, which keeps user32 imported.
    const wchar_t* argument = GetCommandLineW();
    bool quoted = false;
    for (; *argument; argument = CharNextW(argument)) {
        if (*argument == L'"') quoted = !quoted;
        else if (!quoted && (*argument == L' ' || *argument == L'\t'))
            break;
    }
    while (*argument == L' ' || *argument == L'\t') ++argument;

    std::wstring path = BrowserPath();
    if (path.find(L' ') != std::wstring::npos && path.front() != L'"') path = L'"' + path + L'"';
    std::wstring command = path + L" -nomerge http://" + argument;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return static_cast<int>(GetLastError());
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
