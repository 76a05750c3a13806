// Windows Sockets 1.1 from WSOCK32.DLL, the reachability check from
// Sensapi.dll and the ICMP echo from iphlpapi.dll, each loaded on first use:
// the launch path needs none of them.
#include "platform/win32/win32_platform.h"

#include <ipexport.h>

#include <cstring>

namespace molra {

namespace {

// WSADATA: 400 bytes in the 32-bit layout, 408 in the 64-bit one (its
// pointer moves ahead of the texts). Nothing here reads it.
struct WsaData {
    alignas(void*) unsigned char bytes[sizeof(void*) == 8 ? 408 : 400];
};

struct HostEnt {  // hostent in the native layout of either word size
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list;
};

struct QocInfo {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwInSpeed;
    DWORD dwOutSpeed;
};
static_assert(sizeof(QocInfo) == 16);

constexpr int kSysNotReady = 10091;  // WSASYSNOTREADY

template <typename Fn>
Fn Winsock(const char* name) {
    return SystemProc<Fn>(L"wsock32.dll", name);
}

}  // namespace

int Win32Platform::SocketStartup(std::uint16_t versionWord) {
    using Fn = int(WINAPI*)(WORD, WsaData*);
    auto startup = Winsock<Fn>("WSAStartup");
    // A missing library must not read as success once the core keeps 16 bits of the result.
    if (!startup) return kSysNotReady;
    WsaData data{};
    return startup(versionWord, &data);
}

int Win32Platform::SocketCleanup() {
    using Fn = int(WINAPI*)();
    auto cleanup = Winsock<Fn>("WSACleanup");
    return cleanup ? cleanup() : -1;
}

HostNameResult Win32Platform::LocalHostName() {
    using NameFn = int(WINAPI*)(char*, int);
    using ErrorFn = int(WINAPI*)();
    HostNameResult result;
    result.buffer.assign(256, '\0');
    auto gethostnameFn = Winsock<NameFn>("gethostname");
    result.result = gethostnameFn ? gethostnameFn(result.buffer.data(), 256) : -1;
    if (result.result == -1) {
        auto lastError = Winsock<ErrorFn>("WSAGetLastError");
        result.lastError = lastError ? lastError() : static_cast<int>(GetLastError());
        return result;
    }
    // The buffer is ANSI and the core expects UTF-8: convert all 256 bytes,
    // NULs included, and leave trimming and cutting to the core.
    const int wideLength =
        MultiByteToWideChar(CP_ACP, 0, result.buffer.data(), 256, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, result.buffer.data(), 256, wide.data(), wideLength);
    result.buffer = Narrow(wide);
    return result;
}

std::optional<std::vector<std::vector<std::uint8_t>>> Win32Platform::HostAddresses(
    const std::string& hostName) {
    using Fn = HostEnt*(WINAPI*)(const char*);
    auto gethostbynameFn = Winsock<Fn>("gethostbyname");
    if (!gethostbynameFn) return std::nullopt;
    // A name without an ANSI form cannot be asked for through the ANSI call.
    const std::optional<std::string> ansi = ToAnsi(hostName);
    if (!ansi) return std::nullopt;
    const HostEnt* host = gethostbynameFn(ansi->c_str());
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
    using Fn = BOOL(WINAPI*)(LPCWSTR, QocInfo*);
    auto reachable = SystemProc<Fn>(L"sensapi.dll", "IsDestinationReachableW");
    if (!reachable) return 0;
    QocInfo info{sizeof(QocInfo), 0, 0, 0};
    return reachable(Widen(address).c_str(), &info);
}

EchoResult Win32Platform::SendEcho(const std::array<std::uint8_t, 4>& address,
                                   std::uint32_t timeoutMs) {
    using CreateFn = HANDLE(WINAPI*)();
    using SendFn = DWORD(WINAPI*)(HANDLE, IPAddr, void*, WORD, IP_OPTION_INFORMATION*, void*,
                                  DWORD, DWORD);
    using CloseFn = BOOL(WINAPI*)(HANDLE);
    auto create = SystemProc<CreateFn>(L"iphlpapi.dll", "IcmpCreateFile");
    auto send = SystemProc<SendFn>(L"iphlpapi.dll", "IcmpSendEcho");
    auto close = SystemProc<CloseFn>(L"iphlpapi.dll", "IcmpCloseHandle");
    if (!create || !send || !close) return EchoResult::Unavailable;
    HANDLE icmp = create();
    if (icmp == INVALID_HANDLE_VALUE) return EchoResult::Unavailable;
    IPAddr destination;  // network byte order, as the bytes stand
    static_assert(sizeof destination == 4);
    std::memcpy(&destination, address.data(), 4);
    char request[32] = "MOLRAvin";
    // Room for one reply with its data plus an ICMP error message (8 bytes),
    // and some to spare.
    alignas(ICMP_ECHO_REPLY) unsigned char reply[sizeof(ICMP_ECHO_REPLY) + sizeof request + 8 + 16];
    const DWORD replies = send(icmp, destination, request, sizeof request, nullptr, reply,
                               sizeof reply, timeoutMs);
    close(icmp);
    // Address and Status lead the reply in its 32- and 64-bit layouts alike.
    const auto* answer = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply);
    // Another host may answer with an error about the address; only its own reply counts.
    return replies > 0 && answer->Status == IP_SUCCESS && answer->Address == destination
               ? EchoResult::Reply
               : EchoResult::NoReply;
}

double Win32Platform::MonotonicSeconds() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace molra
