#include "net/net.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "common/text.h"
#include "common/texts.h"

namespace molra {

namespace {

// Every occurrence counts; the empty text has no field at all.
std::vector<std::string> SplitFields(const std::string& text, char separator) {
    std::vector<std::string> fields;
    if (text.empty()) return fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

std::string JoinFields(const std::vector<std::string>& fields, char separator) {
    std::string joined;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) joined += separator;
        joined += fields[i];
    }
    return joined;
}

}  // namespace

SocketStatus InitSockets(Platform& platform) {
    // The library's result is kept in 16 bits: a code whose low word is 0 counts as success.
    const auto result = static_cast<std::int16_t>(platform.SocketStartup(kWinsockVersion));
    if (result == 0) return SocketStatus::Ok;
    platform.ShowMessage(text::kWinsockNotAnswering, text::kCaption);
    return SocketStatus::Fatal;
}

SocketStatus CleanSockets(Platform& platform) {
    // The result itself (SOCKET_ERROR), not WSAGetLastError, is what the user is shown.
    const int result = platform.SocketCleanup();
    if (result == 0) return SocketStatus::Ok;
    platform.ShowMessage(
        text::kCleanupErrorPrefix + std::to_string(result) + text::kCleanupErrorSuffix,
        text::kCaption);
    return SocketStatus::Fatal;
}

std::string GetLocalHostName(Platform& platform) {
    const HostNameResult host = platform.LocalHostName();
    if (host.result == -1) {
        // A sign place in front of the code: a blank for zero and positive codes.
        const long long code = host.lastError;
        const std::string number = (code < 0 ? "-" : " ") + std::to_string(code < 0 ? -code : code);
        platform.ShowMessage(text::kHostNameErrorPrefix + number, text::kCaption);
        return {};
    }
    // Only U+0020 is trimmed; the NULs behind the name are cut off afterwards.
    std::string name = TrimSpaces(host.buffer);
    return SplitFirstToken(name, std::string(1, '\0'));
}

std::string SplitFirstToken(std::string& text, const std::string& delimiter) {
    const std::size_t position = text.find(delimiter);
    if (position == std::string::npos) {
        std::string token = std::move(text);
        text.clear();
        return token;
    }
    std::string token = text.substr(0, position);
    text.erase(0, position + delimiter.size());
    return token;
}

std::vector<std::string> GetHostAddresses(Platform& platform, const std::string& hostName) {
    std::vector<std::string> dotted;
    const auto addresses = platform.HostAddresses(hostName);
    if (!addresses) return dotted;
    for (const std::vector<std::uint8_t>& bytes : *addresses) {
        std::vector<std::string> fields;
        fields.reserve(bytes.size());
        for (std::uint8_t byte : bytes) fields.push_back(std::to_string(byte));
        dotted.push_back(JoinFields(fields, '.'));
    }
    return dotted;
}

std::optional<std::string> DeriveServerAddress(const std::string& localAddress) {
    std::vector<std::string> fields = SplitFields(localAddress, '.');
    if (fields.size() < 4) return std::nullopt;
    fields[3] = "1";
    return JoinFields(fields, '.');
}

namespace {

// Loopback (127/8) and link-local (169.254/16): a PC without a network yet
// lists these, and no server stands behind them.
bool FacesLan(const std::string& localAddress) {
    const std::vector<std::string> fields = SplitFields(localAddress, '.');
    return !(fields.size() >= 2 &&
             (fields[0] == "127" || (fields[0] == "169" && fields[1] == "254")));
}

}  // namespace

DeterminedAddress DetermineServerAddress(Platform& platform) {
    if (InitSockets(platform) == SocketStatus::Fatal) return {SocketStatus::Fatal, {}};
    const std::string hostName = GetLocalHostName(platform);
    const std::vector<std::string> local = GetHostAddresses(platform, hostName);
    DeterminedAddress determined;
    // A VPN client or a virtual adapter may come first: each address gets its turn.
    for (const std::string& address : local) {
        if (determined.candidates.size() == kMaxCandidates) break;
        const std::optional<std::string> server = DeriveServerAddress(address);
        if (server && FacesLan(address) &&
            std::find(determined.candidates.begin(), determined.candidates.end(), *server) ==
                determined.candidates.end())
            determined.candidates.push_back(*server);
    }
    // The library is released on every path, whatever was found.
    if (CleanSockets(platform) == SocketStatus::Fatal) return {SocketStatus::Fatal, {}};
    return determined;
}

std::optional<std::array<std::uint8_t, 4>> ParseDottedIPv4(const std::string& text) {
    std::array<std::uint8_t, 4> bytes{};
    std::size_t position = 0;
    for (std::size_t field = 0; field < bytes.size(); ++field) {
        if (field > 0 && (position >= text.size() || text[position++] != '.')) return std::nullopt;
        unsigned value = 0;
        std::size_t digits = 0;
        for (; position < text.size() && text[position] >= '0' && text[position] <= '9';
             ++position) {
            if (++digits > 3) return std::nullopt;
            value = value * 10 + static_cast<unsigned>(text[position] - '0');
        }
        if (digits == 0 || value > 255) return std::nullopt;
        bytes[field] = static_cast<std::uint8_t>(value);
    }
    if (position != text.size()) return std::nullopt;
    return bytes;
}

std::optional<std::string> HostPart(const std::string& address) {
    std::string host = address;
    if (const std::size_t colon = address.find(':'); colon != std::string::npos) {
        const std::string port = address.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) > 65535)
            return std::nullopt;
        host = address.substr(0, colon);
    }
    if (ParseDottedIPv4(host)) return host;
    // Digits and dots alone are no name: the resolver would read them as a
    // shortened address ("10.1" as 10.0.0.1).
    if (host.empty() || host.size() > 253 ||
        host.find_first_not_of("0123456789.") == std::string::npos)
        return std::nullopt;
    for (const std::string& label : SplitFields(host, '.')) {
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return std::nullopt;
        for (const char c : label) {
            const bool letterOrDigit =
                (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
            if (!letterOrDigit && c != '-') return std::nullopt;
        }
    }
    return host;
}

std::uint16_t WebPort(const std::string& address) {
    const std::size_t colon = address.find(':');
    if (colon == std::string::npos || !HostPart(address)) return kWebPort;
    return static_cast<std::uint16_t>(std::stoul(address.substr(colon + 1)));
}

}  // namespace molra
