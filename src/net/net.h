// Finding the server: the socket library session, the local address, the
// derived server address and the reachability probe.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace molra {

inline constexpr std::uint16_t kWinsockVersion = 257;  // 1.1
inline constexpr float kUnreachable = -1.0f;

// Fatal: the user was told and the process must end now; the caller runs no
// further step of its operation.
enum class SocketStatus { Ok, Fatal };

// Fatal after a start-up result whose low 16 bits are not 0; nothing to clean up then.
[[nodiscard]] SocketStatus InitSockets(Platform& platform);
// Fatal after any clean-up result but 0.
[[nodiscard]] SocketStatus CleanSockets(Platform& platform);

// The local host name, or empty after a failure (which was reported; the caller goes on).
std::string GetLocalHostName(Platform& platform);

// The part of text before the first delimiter; text keeps what follows it
// (becomes empty when the delimiter is missing).
std::string SplitFirstToken(std::string& text, const std::string& delimiter);

// Every address of hostName in dotted decimal, in the platform's order; none
// when the look-up fails. Reports nothing.
std::vector<std::string> GetHostAddresses(Platform& platform, const std::string& hostName);

// The address with its fourth field set to "1"; nullopt with fewer than four fields.
std::optional<std::string> DeriveServerAddress(const std::string& localAddress);

inline constexpr std::size_t kMaxCandidates = 4;

struct DeterminedAddress {
    SocketStatus status = SocketStatus::Ok;
    // Where a server may stand, in the order to check them: derived from each
    // local address in turn, leaving out loopback and link-local ones (never a
    // LAN with a server), each once, at most kMaxCandidates. None on Fatal.
    std::vector<std::string> candidates;
};

// One full socket-library cycle and one look-up of the local host.
[[nodiscard]] DeterminedAddress DetermineServerAddress(Platform& platform);

inline constexpr int kEchoAttempts = 3;
inline constexpr std::uint32_t kEchoTimeoutMs = 1000;
// The whole check of every address at once: as long as its echoes may take.
inline constexpr std::uint32_t kProbeBudgetMs = kEchoAttempts * kEchoTimeoutMs;
inline constexpr std::uint16_t kWebPort = 80;

// The four fields of a dotted IPv4 address (decimal, each 0-255, nothing
// else), or nullopt for any other text.
std::optional<std::array<std::uint8_t, 4>> ParseDottedIPv4(const std::string& text);

// The host part of a typed address ("nas", "server.firma.local" or a dotted
// IPv4 address, each optionally followed by ":port"); nullopt for any other
// text, a URL included.
std::optional<std::string> HostPart(const std::string& address);
// The port an address with a host part names after it, else kWebPort.
std::uint16_t WebPort(const std::string& address);

// The first of addresses, in their order, that the browser will reach; nullopt
// when none does. Only the platform's answer 1 is trusted at once (since Vista
// it answers ERROR_CALL_NOT_IMPLEMENTED, also as a 0). The others before it
// are checked all at once, within one budget: an ICMP echo (a name's first
// IPv4 address, looked up in a socket session of its own) and a TCP
// connection to the web port, in a session of their own; either answer will
// do, a refusal is none. A later address wins only once every earlier one has
// finished without an answer. Reports nothing.
std::optional<std::size_t> FirstReachable(Platform& platform,
                                          const std::vector<std::string>& addresses);

// Seconds the whole check took when the address is reachable (0.0 included),
// otherwise kUnreachable; the check is FirstReachable's.
float ProbeReachability(Platform& platform, const std::string& address);

}  // namespace molra
