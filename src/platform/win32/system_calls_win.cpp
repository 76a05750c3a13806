// DLLs beyond the few the program links are loaded from System32 only: the
// program often runs with a shared or downloaded folder as its current one.
#include "platform/win32/system_calls_win.h"

#include <string>

#include "platform/win32/owners_win.h"
#include "platform/win32/win32_platform.h"

namespace molra {

HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (HMODULE loaded = GetModuleHandleW(name)) return loaded;
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // Windows 7 without KB2533623 knows no search flags: build the full path.
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring path(folder, length);
    path += L'\\';
    path += name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictDllSearch() {
    if (Kernel32().SetDefaultDllDirectories)
        Kernel32().SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
}

namespace {

// Where a table keeps the GetLastError of its last load or entry that failed; null
// for a table without error.
template <typename Calls>
DWORD* ErrorOf(Calls& calls) {
    if constexpr (requires { calls.error; }) {
        return &calls.error;
    } else {
        return nullptr;
    }
}

HMODULE LoadForBinding(const wchar_t* dll, DWORD* error) {
    HMODULE module = LoadSystemLibrary(dll);
    if (!module && error) *error = GetLastError();
    return module;
}

void* BindEntry(HMODULE module, const char* name, DWORD* error) {
    void* entry = reinterpret_cast<void*>(GetProcAddress(module, name));
    if (!entry && error) *error = GetLastError();
    return entry;
}

}  // namespace

// Binds the entry named like the member, so the two cannot differ.
// Only a macro can spell the member's name as a string.
// NOLINTNEXTLINE(cppcoreguidelines-macro-usage)
#define MOLRA_BIND(name) \
    calls.name = reinterpret_cast<decltype(calls.name)>(BindEntry(module, #name, ErrorOf(calls)))

// Each group is bound by the first thread that asks; C++ makes the others wait for it.
const Kernel32Calls& Kernel32() {
    static const Kernel32Calls table = [] {
        Kernel32Calls calls;
        if (HMODULE module = LoadForBinding(L"kernel32.dll", ErrorOf(calls))) {
            MOLRA_BIND(SetDefaultDllDirectories);
        }
        return calls;
    }();
    return table;
}

// user32 is delay-loaded: asking only for an already loaded module could find
// none and leave the table empty for good. Loading it here cannot.
const User32Calls& User32() {
    static const User32Calls table = [] {
        User32Calls calls;
        if (HMODULE module = LoadForBinding(L"user32.dll", ErrorOf(calls))) {
            MOLRA_BIND(GetDpiForWindow);
            MOLRA_BIND(GetDpiForSystem);
            MOLRA_BIND(AdjustWindowRectExForDpi);
            MOLRA_BIND(GetSystemMetricsForDpi);
            MOLRA_BIND(SystemParametersInfoForDpi);
            MOLRA_BIND(EnableNonClientDpiScaling);
        }
        return calls;
    }();
    return table;
}

const Comctl32Calls& Comctl32() {
    static const Comctl32Calls table = [] {
        Comctl32Calls calls;
        if (HMODULE module = LoadForBinding(L"comctl32.dll", ErrorOf(calls))) {
            MOLRA_BIND(InitCommonControlsEx);
        }
        return calls;
    }();
    return table;
}

const Ole32Calls& Ole32() {
    static const Ole32Calls table = [] {
        Ole32Calls calls;
        if (HMODULE module = LoadForBinding(L"ole32.dll", ErrorOf(calls))) {
            MOLRA_BIND(CoInitializeEx);
            MOLRA_BIND(CoUninitialize);
            MOLRA_BIND(CoCreateInstance);
        }
        return calls;
    }();
    return table;
}

const Shell32Calls& Shell32() {
    static const Shell32Calls table = [] {
        Shell32Calls calls;
        if (HMODULE module = LoadForBinding(L"shell32.dll", ErrorOf(calls))) {
            MOLRA_BIND(ShellExecuteExW);
        }
        return calls;
    }();
    return table;
}

const Wsock32Calls& Wsock32() {
    static const Wsock32Calls table = [] {
        Wsock32Calls calls;
        if (HMODULE module = LoadForBinding(L"wsock32.dll", ErrorOf(calls))) {
            MOLRA_BIND(WSAStartup);
            MOLRA_BIND(WSACleanup);
            MOLRA_BIND(WSAGetLastError);
            MOLRA_BIND(gethostname);
            MOLRA_BIND(gethostbyname);
            MOLRA_BIND(socket);
            MOLRA_BIND(ioctlsocket);
            MOLRA_BIND(connect);
            MOLRA_BIND(select);
            MOLRA_BIND(getsockopt);
            MOLRA_BIND(closesocket);
        }
        return calls;
    }();
    return table;
}

const SensapiCalls& Sensapi() {
    static const SensapiCalls table = [] {
        SensapiCalls calls;
        if (HMODULE module = LoadForBinding(L"sensapi.dll", ErrorOf(calls))) {
            MOLRA_BIND(IsDestinationReachableW);
        }
        return calls;
    }();
    return table;
}

const IphlpapiCalls& Iphlpapi() {
    static const IphlpapiCalls table = [] {
        IphlpapiCalls calls;
        if (HMODULE module = LoadForBinding(L"iphlpapi.dll", ErrorOf(calls))) {
            MOLRA_BIND(IcmpCreateFile);
            MOLRA_BIND(IcmpSendEcho);
            MOLRA_BIND(IcmpCloseHandle);
        }
        return calls;
    }();
    return table;
}

#undef MOLRA_BIND

bool ComApartment::Enter(DWORD model) {
    if (entered_) return true;
    const auto enter = Ole32().CoInitializeEx;
    entered_ = enter && SUCCEEDED(enter(nullptr, model | COINIT_DISABLE_OLE1DDE));
    return entered_;
}

ComApartment::~ComApartment() {
    // Without CoUninitialize the thread's end leaves the apartment.
    if (entered_ && Ole32().CoUninitialize) Ole32().CoUninitialize();
}

void CloseIcmpHandle::operator()(HANDLE icmp) const {
    // Only a handle from IcmpCreateFile is ever held, so the entry is there.
    Iphlpapi().IcmpCloseHandle(icmp);
}

void CloseSocket::operator()(UINT_PTR socket) const {
    // Only a socket from the table's socket is ever held, so closesocket is there too.
    Wsock32().closesocket(socket);
}

}  // namespace molra
