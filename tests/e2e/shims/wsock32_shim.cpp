// Test-only stand-in for WSOCK32.DLL: answers name look-ups from the
// environment, logs every call, and never touches the network.
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
//
// Log lines:
//   WSAStartup version=257 record=zeroed -> 0
//   WSACleanup -> 0
//   gethostname length=256 buffer=zeroed -> 0 "name"     (or "-> -1")
//   WSAGetLastError -> 10093
//   gethostbyname "name" -> 2 addresses                   (or "-> null")
#include "shim_common.h"

// The shim defines these calls: the header must not declare them imported.
#define WINSOCK_API_LINKAGE
#include <winsock.h>

#include <cstring>
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
    std::string line = "gethostname length=" + std::to_string(length) +
                       " buffer=" + (zeroed ? "zeroed" : "dirty");
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
