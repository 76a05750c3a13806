// Windows Sockets 1.1 from WSOCK32.DLL and the reachability check from
// Sensapi.dll, each loaded on first use: the launch path needs neither. The
// echoes and connections of the check are probe_win.cpp's.
#include "platform/win32/win32_platform.h"

#include "platform/win32/system_calls_win.h"

namespace molra {

int Win32Platform::SocketStartup(std::uint16_t versionWord) {
    // A missing library must not read as success once the core keeps 16 bits of the result.
    if (!Wsock32().WSAStartup) return WSASYSNOTREADY;
    WSADATA data{};  // nothing here reads it
    return Wsock32().WSAStartup(versionWord, &data);
}

int Win32Platform::SocketCleanup() {
    return Wsock32().WSACleanup ? Wsock32().WSACleanup() : SOCKET_ERROR;
}

HostNameResult Win32Platform::LocalHostName() {
    const Wsock32Calls& winsock = Wsock32();
    HostNameResult result;
    result.buffer.assign(256, '\0');
    result.result =
        winsock.gethostname ? winsock.gethostname(result.buffer.data(), 256) : SOCKET_ERROR;
    if (result.result == SOCKET_ERROR) {
        result.lastError =
            winsock.WSAGetLastError ? winsock.WSAGetLastError() : static_cast<int>(winsock.error);
        return result;
    }
    // The buffer is ANSI and the core expects UTF-8: convert all 256 bytes,
    // NULs included, and leave trimming and cutting to the core.
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, result.buffer.data(), 256, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, result.buffer.data(), 256, wide.data(), wideLength);
    result.buffer = Narrow(wide);
    return result;
}

std::optional<std::vector<std::vector<std::uint8_t>>> Win32Platform::HostAddresses(
    const std::string& hostName) {
    if (!Wsock32().gethostbyname) return std::nullopt;
    // A name without an ANSI form cannot be asked for through the ANSI call.
    const std::optional<std::string> ansi = ToAnsi(hostName);
    if (!ansi) return std::nullopt;
    const hostent* host = Wsock32().gethostbyname(ansi->c_str());
    if (!host) return std::nullopt;
    // The record belongs to the library and lives only until the next socket call: copy it now.
    std::vector<std::vector<std::uint8_t>> addresses;
    const int length = host->h_length > 0 ? host->h_length : 0;
    for (char** entry = host->h_addr_list; entry && *entry; ++entry) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(*entry);
        addresses.emplace_back(bytes, bytes + length);
    }
    return addresses;
}

int Win32Platform::CheckDestination(const std::string& address) {
    // The W twin: a typed address reaches the check whole, whatever the code page.
    if (!Sensapi().IsDestinationReachableW) return 0;
    QOCINFO info{sizeof(QOCINFO), 0, 0, 0};
    return Sensapi().IsDestinationReachableW(Widen(address).c_str(), &info);
}

double Win32Platform::MonotonicSeconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace molra
