// Finding the server: the socket library session, the local address, the
// derived server address and the reachability probe.
#pragma once

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

SocketStatus InitSockets(Platform& platform);
SocketStatus CleanSockets(Platform& platform);

// The local host name, or empty after a failure (which was reported).
std::string GetLocalHostName(Platform& platform);

// The part of text before the first delimiter; text keeps what follows it.
std::string SplitFirstToken(std::string& text, const std::string& delimiter);

// Address number index of hostName in dotted decimal, or empty.
std::string GetHostAddress(Platform& platform, const std::string& hostName, int index);

struct DeterminedAddress {
    SocketStatus status = SocketStatus::Ok;
    std::optional<std::string> address;  // nullopt when no address was found
};

// One full socket-library cycle: the local first address with its fourth field set to "1".
DeterminedAddress DetermineServerAddress(Platform& platform);

// Seconds the check took when address is reachable, otherwise kUnreachable.
float ProbeReachability(Platform& platform, const std::string& address);

}  // namespace molra
