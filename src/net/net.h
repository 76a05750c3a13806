// Finding the server: the socket library session, the local address, the
// derived server address and the reachability probe.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

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

// Address number index (from 0) of hostName in dotted decimal, or empty when
// the look-up fails or the list is shorter. Reports nothing.
std::string GetHostAddress(Platform& platform, const std::string& hostName, int index);

struct DeterminedAddress {
    SocketStatus status = SocketStatus::Ok;
    std::optional<std::string> address;  // nullopt when no address was found or on Fatal
};

// One full socket-library cycle: the local first address with its fourth
// field set to "1". No address when that has fewer than four fields.
[[nodiscard]] DeterminedAddress DetermineServerAddress(Platform& platform);

inline constexpr std::uint32_t kErrorCallNotImplemented = 120;
inline constexpr int kEchoAttempts = 3;
inline constexpr std::uint32_t kEchoTimeoutMs = 1000;

// The four fields of a dotted IPv4 address (decimal, each 0-255, nothing
// else), or nullopt for any other text.
std::optional<std::array<std::uint8_t, 4>> ParseDottedIPv4(const std::string& text);

// Seconds the whole check took when the address is reachable (0.0 included),
// otherwise kUnreachable. Reachable is the platform's answer 1; when the
// platform cannot tell (it no longer implements the check), an ICMP echo of a
// dotted IPv4 address decides.
float ProbeReachability(Platform& platform, const std::string& address);

}  // namespace molra
