// The reachability probe: what the browser will reach, asked of every
// address at once.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/net.h"

namespace molra {

namespace {

// The address to check: a dotted host as it stands, a name's first IPv4
// address from a socket session of its own. Any failure on the way means
// "unreachable", never a message: those belong to finding the server.
std::optional<std::array<std::uint8_t, 4>> CheckTarget(Platform& platform,
                                                       const std::string& address) {
    const std::optional<std::string> host = HostPart(address);
    if (!host) return std::nullopt;
    if (auto bytes = ParseDottedIPv4(*host)) return bytes;
    if (static_cast<std::int16_t>(platform.SocketStartup(kWinsockVersion)) != 0)
        return std::nullopt;
    const auto addresses = platform.HostAddresses(*host);
    if (platform.SocketCleanup() != 0 || !addresses) return std::nullopt;
    for (const std::vector<std::uint8_t>& bytes : *addresses)
        if (bytes.size() == 4)
            return std::array<std::uint8_t, 4>{bytes[0], bytes[1], bytes[2], bytes[3]};
    return std::nullopt;
}

struct Target {
    std::size_t index = 0;  // into the addresses
    std::array<std::uint8_t, 4> bytes{};
    std::uint16_t port = kWebPort;
    int echoesLeft = 0;
    bool echoing = false;
    bool connecting = false;
    bool answered = false;

    [[nodiscard]] bool Finished() const { return answered || (!echoing && !connecting); }
};

constexpr std::ptrdiff_t kUndecided = -1;
constexpr std::ptrdiff_t kNone = -2;

// The first target that answered once every one before it has finished
// without an answer; kUndecided while an earlier one may still answer.
std::ptrdiff_t Decide(const std::vector<Target>& targets) {
    for (std::size_t t = 0; t < targets.size(); ++t) {
        if (targets[t].answered) return static_cast<std::ptrdiff_t>(t);
        if (!targets[t].Finished()) return kUndecided;
    }
    return kNone;
}

// Starts every check at once and follows their findings until the answer is
// known; the round ends with the call, closing what is still open.
std::ptrdiff_t Await(std::unique_ptr<ProbeRound> round, std::vector<Target>& targets,
                     bool connections) {
    if (!round) return kNone;
    for (std::size_t t = 0; t < targets.size(); ++t) {
        Target& target = targets[t];
        round->StartEcho(t, target.bytes, kEchoTimeoutMs);
        target.echoing = true;
        target.echoesLeft = kEchoAttempts - 1;
        if (connections) round->StartConnection(t, target.bytes, target.port);
        target.connecting = connections;
    }
    for (;;) {
        const std::ptrdiff_t decision = Decide(targets);
        if (decision != kUndecided) return decision;
        const std::optional<ProbeFinding> found = round->Next();
        if (!found) {
            // Time is up: what has not answered by now counts as silent.
            for (Target& target : targets) target.echoing = target.connecting = false;
            continue;
        }
        if (found->target >= targets.size()) continue;
        Target& target = targets[found->target];
        if (found->finding == Finding::Answered) target.answered = true;
        if (found->kind == CheckKind::Connection) {
            target.connecting = false;
        } else if (found->finding == Finding::NoAnswer && target.echoesLeft > 0 &&
                   !target.answered) {
            --target.echoesLeft;
            round->StartEcho(found->target, target.bytes, kEchoTimeoutMs);
        } else {
            target.echoing = false;
        }
    }
}

std::ptrdiff_t RunRound(Platform& platform, std::vector<Target>& targets) {
    // Without its session the echo alone decides.
    const bool connections =
        static_cast<std::int16_t>(platform.SocketStartup(kWinsockVersion)) == 0;
    // The round is over before its session ends: every socket is closed by then.
    const std::ptrdiff_t decision =
        Await(platform.StartProbeRound(kProbeBudgetMs), targets, connections);
    // The answer is in; a failed release cannot change it.
    if (connections) static_cast<void>(platform.SocketCleanup());
    return decision;
}

}  // namespace

std::optional<std::size_t> FirstReachable(Platform& platform,
                                          const std::vector<std::string>& addresses) {
    std::optional<std::size_t> trusted;
    for (std::size_t i = 0; i < addresses.size() && !trusted; ++i)
        if (platform.CheckDestination(addresses[i]) == 1) trusted = i;
    std::vector<Target> targets;
    for (std::size_t i = 0; i < trusted.value_or(addresses.size()); ++i) {
        if (const auto bytes = CheckTarget(platform, addresses[i]))
            targets.push_back(Target{.index = i, .bytes = *bytes, .port = WebPort(addresses[i])});
    }
    if (targets.empty()) return trusted;
    const std::ptrdiff_t winner = RunRound(platform, targets);
    if (winner >= 0) return targets[static_cast<std::size_t>(winner)].index;
    return trusted;
}

float ProbeReachability(Platform& platform, const std::string& address) {
    // The whole check is timed, on a clock that cannot run backwards.
    const double start = platform.MonotonicSeconds();
    if (!FirstReachable(platform, {address})) return kUnreachable;
    // A misbehaving clock must not turn a reachable answer into the sentinel.
    const double elapsed = platform.MonotonicSeconds() - start;
    return elapsed > 0.0 ? static_cast<float>(elapsed) : 0.0f;
}

}  // namespace molra
