#include "net/net.h"

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
    platform.ShowMessage(text::kCleanupErrorPrefix + std::to_string(result) +
                             text::kCleanupErrorSuffix,
                         text::kCaption);
    return SocketStatus::Fatal;
}

std::string GetLocalHostName(Platform& platform) {
    const HostNameResult host = platform.LocalHostName();
    if (host.result == -1) {
        // A sign place in front of the code: a blank for zero and positive codes.
        const long long code = host.lastError;
        const std::string number =
            (code < 0 ? "-" : " ") + std::to_string(code < 0 ? -code : code);
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

std::string GetHostAddress(Platform& platform, const std::string& hostName, int index) {
    if (index < 0) return {};
    const auto addresses = platform.HostAddresses(hostName);
    if (!addresses || static_cast<std::size_t>(index) >= addresses->size()) return {};
    const std::vector<std::uint8_t>& bytes = (*addresses)[static_cast<std::size_t>(index)];
    std::string dotted;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) dotted += '.';
        dotted += std::to_string(bytes[i]);
    }
    return dotted;
}

DeterminedAddress DetermineServerAddress(Platform& platform) {
    if (InitSockets(platform) == SocketStatus::Fatal) return {SocketStatus::Fatal, std::nullopt};
    const std::string hostName = GetLocalHostName(platform);
    std::vector<std::string> fields = SplitFields(GetHostAddress(platform, hostName, 0), '.');
    // Without four fields there is nothing to derive; the library is still released.
    std::optional<std::string> address;
    if (fields.size() >= 4) {
        fields[3] = "1";
        address = JoinFields(fields, '.');
    }
    if (CleanSockets(platform) == SocketStatus::Fatal) return {SocketStatus::Fatal, std::nullopt};
    return {SocketStatus::Ok, address};
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

namespace {

// Since Vista the check answers ERROR_CALL_NOT_IMPLEMENTED, as its result or
// as the last error behind a 0: only then does an echo decide. Names and
// other texts are never looked up or sent.
bool IsReachable(Platform& platform, const std::string& address) {
    const ReachabilityAnswer answer = platform.IsDestinationReachable(address);
    if (answer.available && answer.result == 1) return true;
    const bool cannotTell =
        !answer.available || answer.result == static_cast<int>(kErrorCallNotImplemented) ||
        (answer.result == 0 && answer.lastError == kErrorCallNotImplemented);
    if (!cannotTell) return false;
    const auto bytes = ParseDottedIPv4(address);
    if (!bytes) return false;
    for (int attempt = 0; attempt < kEchoAttempts; ++attempt) {
        const EchoResult echo = platform.SendEcho(*bytes, kEchoTimeoutMs);
        if (echo == EchoResult::Reply) return true;
        if (echo == EchoResult::Unavailable) return false;
    }
    return false;
}

}  // namespace

float ProbeReachability(Platform& platform, const std::string& address) {
    // The whole check is timed, on a clock that cannot run backwards.
    const double start = platform.MonotonicSeconds();
    if (!IsReachable(platform, address)) return kUnreachable;
    // A misbehaving clock must not turn a reachable answer into the sentinel.
    const double elapsed = platform.MonotonicSeconds() - start;
    return elapsed > 0.0 ? static_cast<float>(elapsed) : 0.0f;
}

}  // namespace molra
