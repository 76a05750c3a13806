/* Floor for the launch path: the least a launcher can do. It links kernel32
 * alone and has no C runtime (its own entry point), so nothing runs but the
 * loader, one CreateProcessW and ExitProcess. The browser path is fixed. */
#include <windows.h>

static const wchar_t kCommandStart[] = L"\"C:\\bench\\recorder.exe\" -nomerge http://";

/* Static, so no memset and no stack probe is needed without a runtime. */
static wchar_t command[2048];
static STARTUPINFOW startup;
static PROCESS_INFORMATION process;

/* The text after the program name, as the runtime would hand it to WinMain. */
static const wchar_t* Argument(const wchar_t* line) {
    int quoted = 0;
    for (; *line; ++line) {
        if (*line == L'"') quoted = !quoted;
        else if (!quoted && (*line == L' ' || *line == L'\t'))
            break;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

void WINAPI FloorEntry(void) {
    const wchar_t* argument = Argument(GetCommandLineW());
    int n = 0;
    for (const wchar_t* p = kCommandStart; *p; ++p) command[n++] = *p;
    while (*argument && n < (int)(sizeof command / sizeof command[0]) - 1)
        command[n++] = *argument++;
    command[n] = L'\0';

    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    UINT code = 0;
    if (CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        code = GetLastError();
    }
    ExitProcess(code);
}
