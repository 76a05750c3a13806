// Test-only stand-in for WSOCK32.DLL: answers name look-ups and connections
// from the environment, logs every call, and never touches the network.
//
//   MOLRA_SHIM_LOG             file every call is appended to, one line each
//   MOLRA_SHIM_STARTUP         WSAStartup's result (default 0)
//   MOLRA_SHIM_CLEANUP         WSACleanup's result (default 0)
//   MOLRA_SHIM_HOSTNAME        the name gethostname writes (default "molra-shim")
//   MOLRA_SHIM_HOSTNAME_ERROR  when set, gethostname fails with -1 and
//                              WSAGetLastError answers this code
//   MOLRA_SHIM_ADDRESSES       what gethostbyname answers for any name:
//                              unset or "null": a null pointer;
//                              "" or "none": a record with an empty address list;
//                              "192.168.2.10,10.0.0.7": those addresses in that
//                              order, h_length taken from the first one's fields
//   MOLRA_SHIM_NAMES           answers for single names before MOLRA_SHIM_ADDRESSES,
//                              e.g. "nas=10.1.1.9,gone=null" (values as above, one address)
//   MOLRA_SHIM_CONNECT         how each address:port answers a connect, e.g.
//                              "10.1.1.5:80=accept/200,10.1.1.6:8080=refuse/2000,*=none":
//                              accept, refuse or none (never decided: a silent
//                              host, which Windows gives up on only after about
//                              21 s), each after an optional delay in ms from
//                              connect; by default an accept comes at once and a
//                              refusal after 2000 ms, as Windows retries the SYN
//                              before it reports one; unlisted: none
//
// Sockets are emulated: a non-blocking connect gives WSAEWOULDBLOCK, select
// waits as Windows does (until a socket in its sets is decided or the timeout
// passes) and reports an accepted socket in the write set, a refused one in
// the error set; SO_ERROR is then 0 or WSAECONNREFUSED. select is not logged
// (how often it is called depends on timing).
//
// Log lines:
//   WSAStartup version=257 record=zeroed -> 0
//   WSACleanup -> 0
//   gethostname length=256 buffer=zeroed -> 0 "name"     (or "-> -1")
//   WSAGetLastError -> 10093
//   gethostbyname "name" -> 2 addresses                   (or "-> null")
//   socket -> 1                                           (1, 2, ... per process)
//   ioctlsocket FIONBIO=1 -> 0
//   connect 10.1.1.5:80 -> -1/10035                       (result/error)
//   getsockopt SO_ERROR 10.1.1.5:80 -> 0                  (the error it gives)
//   closesocket 10.1.1.5:80 -> 0
#include "shim_common.h"

// The shim defines these calls: the header must not declare them imported.
#define WINSOCK_API_LINKAGE
#include <winsock.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

using molra::shim::Log;
using molra::shim::ReadEnvironment;
using molra::shim::ReadNumber;

thread_local int lastError = 0;

// Owned here like the library's own per-thread record: valid until the next call.
struct HostRecord {
    std::string name;
    std::vector<std::vector<char>> addresses;
    std::vector<char*> list;
    char* noAliases[1] = {nullptr};
    hostent entry{};
} record;

bool AllZero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// One emulated socket: where it connects and when that is decided.
struct Connection {
    std::string peer;  // "a.b.c.d:port", empty before connect
    bool nonBlocking = false;
    enum class Answer { Accept, Refuse, None } answer = Answer::None;
    ULONGLONG decidedAt = 0;  // GetTickCount64 from which answer holds
    bool Decided(ULONGLONG now) const {
        return !peer.empty() && answer != Answer::None && now >= decidedAt;
    }
};

// Threads of the program share the sockets: every access holds the lock.
std::mutex socketsLock;
std::map<SOCKET, Connection> sockets;
SOCKET nextSocket = 1;

std::string Peer(const sockaddr_in& address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.sin_addr);
    const auto* port = reinterpret_cast<const unsigned char*>(&address.sin_port);
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]) + ":" +
           std::to_string(port[0] * 256 + port[1]);
}

// "accept/200" etc. from MOLRA_SHIM_CONNECT for peer.
void ReadAnswer(Connection& connection) {
    const std::string item =
        molra::shim::TableAnswer("MOLRA_SHIM_CONNECT", connection.peer, "none");
    const std::size_t slash = item.find('/');
    const std::string kind = item.substr(0, slash);
    connection.answer = kind == "accept"   ? Connection::Answer::Accept
                        : kind == "refuse" ? Connection::Answer::Refuse
                                           : Connection::Answer::None;
    const long byDefault = connection.answer == Connection::Answer::Refuse ? 2000 : 0;
    const long delay =
        slash == std::string::npos ? byDefault : std::strtol(item.c_str() + slash + 1, nullptr, 10);
    connection.decidedAt = GetTickCount64() + static_cast<ULONGLONG>(std::max(delay, 0L));
}

std::string Named(SOCKET socket) {
    const auto found = sockets.find(socket);
    if (found == sockets.end()) return "unknown";
    return found->second.peer.empty() ? "unconnected" : found->second.peer;
}

}  // namespace

extern "C" {

int WINAPI WSAStartup(WORD version, LPWSADATA data) {
    const int result = ReadNumber("MOLRA_SHIM_STARTUP", 0);
    const bool zeroed = data && AllZero(data, sizeof(WSADATA));
    Log("WSAStartup version=" + std::to_string(version) +
        " record=" + (zeroed ? "zeroed" : "dirty") + " -> " + std::to_string(result));
    if (result == 0 && data) {
        data->wVersion = 0x0101;
        data->wHighVersion = 0x0202;
    }
    return result;
}

int WINAPI WSACleanup() {
    const int result = ReadNumber("MOLRA_SHIM_CLEANUP", 0);
    Log("WSACleanup -> " + std::to_string(result));
    if (result != 0) lastError = WSANOTINITIALISED;  // which the caller must not show
    return result;
}

int WINAPI WSAGetLastError() {
    Log("WSAGetLastError -> " + std::to_string(lastError));
    return lastError;
}

int WINAPI gethostname(char* name, int length) {
    const bool zeroed = name && length > 0 && AllZero(name, static_cast<std::size_t>(length));
    std::string line =
        "gethostname length=" + std::to_string(length) + " buffer=" + (zeroed ? "zeroed" : "dirty");
    std::string value;
    int result = 0;
    if (ReadEnvironment("MOLRA_SHIM_HOSTNAME_ERROR", value)) {
        lastError = ReadNumber("MOLRA_SHIM_HOSTNAME_ERROR", 0);
        result = SOCKET_ERROR;
    } else {
        if (!ReadEnvironment("MOLRA_SHIM_HOSTNAME", value)) value = "molra-shim";
        if (!name || length < 0 || value.size() + 1 > static_cast<std::size_t>(length)) {
            lastError = WSAEFAULT;
            result = SOCKET_ERROR;
        } else {
            std::memcpy(name, value.c_str(), value.size() + 1);
        }
    }
    line += " -> " + std::to_string(result);
    if (result == 0) line += " \"" + molra::shim::AnsiToUtf8(value) + "\"";
    Log(line);
    return result;
}

hostent* WINAPI gethostbyname(const char* name) {
    const std::string queried = name ? name : "";
    std::string line = "gethostbyname \"" + molra::shim::AnsiToUtf8(queried) + "\" -> ";
    std::string answer;
    const std::string named = molra::shim::TableAnswer("MOLRA_SHIM_NAMES", queried, "");
    const bool known = !named.empty() || ReadEnvironment("MOLRA_SHIM_ADDRESSES", answer);
    if (!named.empty()) answer = named;
    if (!name || !known || answer == "null") {
        lastError = WSAHOST_NOT_FOUND;
        Log(line + "null");
        return nullptr;
    }
    record.name = queried;
    record.addresses.clear();
    if (!answer.empty() && answer != "none") {
        for (const std::string& address : Split(answer, ',')) {
            std::vector<char> bytes;
            for (const std::string& field : Split(address, '.'))
                bytes.push_back(static_cast<char>(std::strtol(field.c_str(), nullptr, 10)));
            record.addresses.push_back(bytes);
        }
    }
    const std::size_t length = record.addresses.empty() ? 4 : record.addresses.front().size();
    record.list.clear();
    for (std::vector<char>& bytes : record.addresses) {
        bytes.resize(length);
        record.list.push_back(bytes.data());
    }
    record.list.push_back(nullptr);
    record.entry = hostent{record.name.data(), record.noAliases, AF_INET,
                           static_cast<short>(length), record.list.data()};
    Log(line + std::to_string(record.addresses.size()) + " addresses");
    return &record.entry;
}

}  // extern "C"

extern "C" {

SOCKET WINAPI socket(int family, int type, int protocol) {
    const std::lock_guard lock(socketsLock);
    if (family != AF_INET || type != SOCK_STREAM || protocol != IPPROTO_TCP) {
        lastError = WSAEPROTONOSUPPORT;
        Log("socket " + std::to_string(family) + "/" + std::to_string(type) + "/" +
            std::to_string(protocol) + " -> -1");
        return INVALID_SOCKET;
    }
    const SOCKET made = nextSocket++;
    sockets[made] = Connection{};
    Log("socket -> " + std::to_string(made));
    return made;
}

int WINAPI ioctlsocket(SOCKET socket, long command, u_long* argument) {
    const std::lock_guard lock(socketsLock);
    const auto found = sockets.find(socket);
    const bool known = found != sockets.end() && command == static_cast<long>(FIONBIO) && argument;
    if (known) found->second.nonBlocking = *argument != 0;
    if (!known) lastError = found == sockets.end() ? WSAENOTSOCK : WSAEINVAL;
    Log(std::string("ioctlsocket ") +
        (command == static_cast<long>(FIONBIO) ? "FIONBIO" : std::to_string(command)) + "=" +
        (argument ? std::to_string(*argument) : "null") + " -> " + (known ? "0" : "-1"));
    return known ? 0 : SOCKET_ERROR;
}

int WINAPI connect(SOCKET socket, const sockaddr* name, int length) {
    std::unique_lock lock(socketsLock);
    const auto found = sockets.find(socket);
    if (found == sockets.end() || !name || length < static_cast<int>(sizeof(sockaddr_in)) ||
        name->sa_family != AF_INET) {
        lastError = found == sockets.end() ? WSAENOTSOCK : WSAEFAULT;
        Log("connect " + Named(socket) + " -> -1/" + std::to_string(lastError));
        return SOCKET_ERROR;
    }
    Connection& connection = found->second;
    connection.peer = Peer(*reinterpret_cast<const sockaddr_in*>(name));
    ReadAnswer(connection);
    if (connection.nonBlocking) {
        // Windows completes no TCP connect at once, not even to its own address.
        lastError = WSAEWOULDBLOCK;
        Log("connect " + connection.peer + " -> -1/10035");
        return SOCKET_ERROR;
    }
    // Blocking: wait for the answer; a silent host times out after about 21 s.
    const Connection copy = connection;
    lock.unlock();
    const ULONGLONG now = GetTickCount64();
    const bool silent = copy.answer == Connection::Answer::None;
    Sleep(static_cast<DWORD>(silent ? 21000 : copy.decidedAt > now ? copy.decidedAt - now : 0));
    const bool accepted = copy.answer == Connection::Answer::Accept;
    lastError = accepted ? 0 : silent ? WSAETIMEDOUT : WSAECONNREFUSED;
    Log("connect " + copy.peer + " -> " + (accepted ? "0" : "-1/" + std::to_string(lastError)));
    return accepted ? 0 : SOCKET_ERROR;
}

int WINAPI select(int, fd_set* readable, fd_set* writable, fd_set* failed, const PTIMEVAL timeout) {
    const ULONGLONG end = timeout
                              ? GetTickCount64() + static_cast<ULONGLONG>(timeout->tv_sec) * 1000 +
                                    static_cast<ULONGLONG>(timeout->tv_usec) / 1000
                              : ~ULONGLONG{0};
    fd_set* const sets[] = {readable, writable, failed};
    // What a socket must be to stay in each set: nothing is ever sent, so none is readable.
    const auto holds = [](int set, const Connection& c, ULONGLONG now) {
        return set == 1   ? c.Decided(now) && c.answer == Connection::Answer::Accept
               : set == 2 ? c.Decided(now) && c.answer == Connection::Answer::Refuse
                          : false;
    };
    for (;;) {
        ULONGLONG now = 0;
        ULONGLONG wake = end;
        {
            const std::lock_guard lock(socketsLock);
            now = GetTickCount64();
            int ready = 0;
            u_int asked = 0;
            for (int set = 0; set < 3; ++set)
                for (u_int i = 0; sets[set] && i < sets[set]->fd_count; ++i) {
                    ++asked;
                    const auto found = sockets.find(sets[set]->fd_array[i]);
                    if (found == sockets.end()) {
                        lastError = WSAENOTSOCK;
                        return SOCKET_ERROR;
                    }
                    const Connection& connection = found->second;
                    if (holds(set, connection, now)) ++ready;
                    else if (!connection.peer.empty() &&
                             connection.answer != Connection::Answer::None)
                        wake = std::min(wake, connection.decidedAt);
                }
            if (asked == 0) {
                lastError = WSAEINVAL;
                return SOCKET_ERROR;
            }
            if (ready > 0 || now >= end) {
                for (int set = 0; set < 3; ++set) {
                    if (!sets[set]) continue;
                    u_int kept = 0;
                    for (u_int i = 0; i < sets[set]->fd_count; ++i)
                        if (holds(set, sockets[sets[set]->fd_array[i]], now))
                            sets[set]->fd_array[kept++] = sets[set]->fd_array[i];
                    sets[set]->fd_count = kept;
                }
                return ready;
            }
        }
        // Until the earliest socket is decided or the timeout passes.
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(wake > now ? wake - now : 1, INFINITE - 1)));
    }
}

int WINAPI getsockopt(SOCKET socket, int level, int option, char* value, int* length) {
    const std::lock_guard lock(socketsLock);
    const auto found = sockets.find(socket);
    if (found == sockets.end() || level != SOL_SOCKET || option != SO_ERROR || !value || !length ||
        *length < static_cast<int>(sizeof(int))) {
        lastError = found == sockets.end() ? WSAENOTSOCK : WSAEFAULT;
        Log("getsockopt " + std::to_string(level) + "/" + std::to_string(option) + " " +
            Named(socket) + " -> -1");
        return SOCKET_ERROR;
    }
    const Connection& connection = found->second;
    // Still connecting reads as no error, as on Windows.
    const int error =
        connection.Decided(GetTickCount64()) && connection.answer == Connection::Answer::Refuse
            ? WSAECONNREFUSED
            : 0;
    std::memcpy(value, &error, sizeof error);
    *length = sizeof error;
    Log("getsockopt SO_ERROR " + Named(socket) + " -> " + std::to_string(error));
    return 0;
}

int WINAPI closesocket(SOCKET socket) {
    const std::lock_guard lock(socketsLock);
    const std::string name = Named(socket);
    const bool known = sockets.erase(socket) > 0;
    if (!known) lastError = WSAENOTSOCK;
    Log("closesocket " + name + " -> " + (known ? "0" : "-1"));
    return known ? 0 : SOCKET_ERROR;
}

}  // extern "C"
