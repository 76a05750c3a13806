// Every call the program binds at run time, in one table: the calls of
// Windows versions after 7, and the calls of DLLs the launch path must not
// load (it needs kernel32 and advapi32 only). Each DLL is loaded from System32
// on the first use of its group and bound once, for every thread. An entry is
// null when its DLL or the entry itself is missing; its comment says what the
// program does then. A table whose calls stand in for a missing one with the
// loader's error keeps it in error.
#pragma once

#include <windows.h>
#include <winsock.h>
#include <commctrl.h>
#include <ipexport.h>  // before icmpapi.h, which uses its types
#include <icmpapi.h>
#include <objbase.h>
#include <sensapi.h>
#include <shellapi.h>

// The headers declare the calls of Windows 10 1607 only from this version on.
#if WINVER < 0x0605
#error "the Win32 layer needs WINVER 0x0605 or later (src/CMakeLists.txt)"
#endif

namespace molra {

// A system DLL from System32 only, never from the current or program folder.
HMODULE LoadSystemLibrary(const wchar_t* name);

struct Kernel32Calls {
    // Windows 8, or 7 with KB2533623. Missing: only the current folder leaves
    // the search; LoadSystemLibrary builds full paths there.
    decltype(&::SetDefaultDllDirectories) SetDefaultDllDirectories = nullptr;
};
const Kernel32Calls& Kernel32();

// Windows 10 1607. Missing: everything at the system DPI, as on Windows 7.
struct User32Calls {
    decltype(&::GetDpiForWindow) GetDpiForWindow = nullptr;  // missing: the system DPI
    // Missing: the screen's LOGPIXELSX.
    decltype(&::GetDpiForSystem) GetDpiForSystem = nullptr;
    // Missing: AdjustWindowRectEx, whose metrics are the system DPI's.
    decltype(&::AdjustWindowRectExForDpi) AdjustWindowRectExForDpi = nullptr;
    // Missing: the metric scaled from the system DPI.
    decltype(&::GetSystemMetricsForDpi) GetSystemMetricsForDpi = nullptr;
    // Missing: the message font scaled from the system DPI.
    decltype(&::SystemParametersInfoForDpi) SystemParametersInfoForDpi = nullptr;
    // Missing: 1607 leaves the frame unscaled; later versions scale it anyway.
    decltype(&::EnableNonClientDpiScaling) EnableNonClientDpiScaling = nullptr;
};
const User32Calls& User32();

struct Comctl32Calls {
    // Missing: no tool tips; the window works without them.
    decltype(&::InitCommonControlsEx) InitCommonControlsEx = nullptr;
};
const Comctl32Calls& Comctl32();

struct Ole32Calls {
    // Missing: no logo (a plain background), and the default handler runs without COM.
    decltype(&::CoInitializeEx) CoInitializeEx = nullptr;
    // Missing: the apartment stays entered until the thread ends.
    decltype(&::CoUninitialize) CoUninitialize = nullptr;
    decltype(&::CoCreateInstance) CoCreateInstance = nullptr;  // missing: no logo
};
const Ole32Calls& Ole32();

struct Shell32Calls {
    // Missing: opening the URL fails with the loader's error (error).
    decltype(&::ShellExecuteExW) ShellExecuteExW = nullptr;
    DWORD error = 0;  // GetLastError of the last load or entry that failed
};
const Shell32Calls& Shell32();

// Windows Sockets 1.1 (WSOCK32.DLL), for the server check only.
struct Wsock32Calls {
    // Missing: WSASYSNOTREADY, never a success.
    decltype(&::WSAStartup) WSAStartup = nullptr;
    decltype(&::WSACleanup) WSACleanup = nullptr;  // missing: SOCKET_ERROR
    // Missing: the loader's error (error) stands in.
    decltype(&::WSAGetLastError) WSAGetLastError = nullptr;
    // Missing: SOCKET_ERROR with the loader's error.
    decltype(&::gethostname) gethostname = nullptr;
    decltype(&::gethostbyname) gethostbyname = nullptr;  // missing: as for an unknown name
    // The server check's connection; any of these missing: no connection is
    // tried, and the echo alone decides.
    decltype(&::socket) socket = nullptr;
    decltype(&::ioctlsocket) ioctlsocket = nullptr;
    decltype(&::connect) connect = nullptr;
    decltype(&::select) select = nullptr;
    decltype(&::getsockopt) getsockopt = nullptr;
    decltype(&::closesocket) closesocket = nullptr;
    DWORD error = 0;  // GetLastError of the last load or entry that failed
};
const Wsock32Calls& Wsock32();

struct SensapiCalls {
    // Missing: "not reachable", so the echo decides.
    decltype(&::IsDestinationReachableW) IsDestinationReachableW = nullptr;
};
const SensapiCalls& Sensapi();

// Any of the three missing: no echo can be sent.
struct IphlpapiCalls {
    decltype(&::IcmpCreateFile) IcmpCreateFile = nullptr;
    decltype(&::IcmpSendEcho) IcmpSendEcho = nullptr;
    decltype(&::IcmpCloseHandle) IcmpCloseHandle = nullptr;
};
const IphlpapiCalls& Iphlpapi();

}  // namespace molra
