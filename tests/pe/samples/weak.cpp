// Deliberately weak program: the PE checks must reject it, naming each fault.
// It imports a Windows 8 function and a DLL that is not in the list,
// delay-loads a Windows 10 function, and carries a section that is both
// writable and executable.
#define _WIN32_WINNT 0x0A00
#include <windows.h>
#include <shlwapi.h>

__asm__(".section .rwx,\"dwx\"\n.byte 0xC3\n.text\n");

int main() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return PathFileExistsW(L"x") + static_cast<int>(now.dwLowDateTime & 1) +
           static_cast<int>(GetDpiForWindow(nullptr));
}
