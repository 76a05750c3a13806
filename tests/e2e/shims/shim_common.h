// What the shims share: reading their answers from the environment at every
// call (a test may change them between calls) and logging each call.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN  // winsock.h only where a shim asks for it
#endif
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/win32/text_win.h"

namespace molra::shim {

// False when the variable is unset; a variable set to the empty text is read as such.
inline bool ReadEnvironment(const char* name, std::string& value) {
    char buffer[4096];
    SetLastError(0);
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (length >= sizeof buffer) return false;
    value.assign(buffer, length);
    return true;
}

// The answer for key in a table like "10.0.0.1=1,*=0" held by the variable
// name: key's own, else the one for "*", else fallback.
inline std::string TableAnswer(const char* name, const std::string& key, std::string fallback) {
    std::string table;
    ReadEnvironment(name, table);
    std::size_t start = 0;
    while (start < table.size()) {
        std::size_t end = table.find(',', start);
        if (end == std::string::npos) end = table.size();
        const std::string item = table.substr(start, end - start);
        const std::size_t equals = item.find('=');
        if (equals != std::string::npos) {
            if (item.compare(0, equals, key) == 0 && equals == key.size())
                return item.substr(equals + 1);
            if (item.compare(0, equals, "*") == 0 && equals == 1)
                fallback = item.substr(equals + 1);
        }
        start = end + 1;
    }
    return fallback;
}

inline int ReadNumber(const char* name, int fallback) {
    std::string value;
    if (!ReadEnvironment(name, value) || value.empty()) return fallback;
    return static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
}

// ANSI from the caller, UTF-8 in the log.
inline std::string AnsiToUtf8(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int wideLength =
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                        wideLength);
    return Narrow(wide);
}

// Appends one line to the file named by MOLRA_SHIM_LOG; no log when it is unset.
// Wine's appends through two handles at once can land at the same offset, and
// the echo threads log beside the sockets: a named mutex, which every shim in
// every process shares, lets one line through at a time.
inline void Log(const std::string& line) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"MOLRA_SHIM_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    HANDLE turn = CreateMutexW(nullptr, FALSE, L"Local\\molra-shim-log");
    if (turn) WaitForSingleObject(turn, 5000);
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const std::string text = line + "\n";
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
    if (turn) {
        ReleaseMutex(turn);
        CloseHandle(turn);
    }
}

}  // namespace molra::shim
