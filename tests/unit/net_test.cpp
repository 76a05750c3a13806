#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "fake_platform.h"
#include "net/net.h"
#include "common/texts.h"

namespace molra {
namespace {

using testing::EchoResult;
using testing::FakePlatform;
using Addresses = std::optional<std::vector<std::vector<std::uint8_t>>>;
using Calls = std::vector<std::string>;
using Candidates = std::vector<std::string>;

const Calls kOneCycle{"startup 257", "gethostname", "gethostbyname pc-42", "cleanup"};

Addresses Of(std::vector<std::vector<std::uint8_t>> list) { return list; }

std::string NameBuffer(const std::string& name) {
    return name + std::string(256 - name.size(), '\0');
}

TEST(DetermineServerAddress, SetsTheFourthFieldOfEachLocalAddress) {
    const struct {
        const char* what;
        Addresses addresses;
        Candidates expected;
    } rows[] = {
        {"one address", Of({{192, 168, 2, 10}}), {"192.168.2.1"}},
        {"several: in their order",
         Of({{10, 0, 0, 7}, {192, 168, 2, 10}}),
         {"10.0.0.1", "192.168.2.1"}},
        {"already ending in 1", Of({{172, 16, 0, 1}}), {"172.16.0.1"}},
        {"loopback", Of({{127, 0, 0, 1}}), {}},
        {"no leading zeros", Of({{0, 0, 0, 0}}), {"0.0.0.1"}},
        {"fields after the fourth stay", Of({{1, 2, 3, 4, 5, 6}}), {"1.2.3.1.5.6"}},
        {"three fields", Of({{10, 0, 0}}), {}},
        {"address of no bytes", Of({std::vector<std::uint8_t>{}}), {}},
        {"empty address list", Of({}), {}},
        {"look-up gives no record", std::nullopt, {}},
    };
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.hosts["pc-42"] = row.addresses;
        const DeterminedAddress result = DetermineServerAddress(platform);
        EXPECT_EQ(result.status, SocketStatus::Ok) << row.what;
        EXPECT_EQ(result.candidates, row.expected) << row.what;
        // The library is released on every path, and nothing is reported.
        EXPECT_EQ(platform.calls, kOneCycle) << row.what;
    }
}

TEST(DetermineServerAddress, ResolvesAfreshInEachOfItsOwnLibraryCycles) {
    FakePlatform platform;
    platform.hosts["pc-42"] = Of({{192, 168, 2, 10}});
    EXPECT_EQ(DetermineServerAddress(platform).candidates, Candidates{"192.168.2.1"});
    platform.hosts["pc-42"] = Of({{10, 0, 0, 7}});
    EXPECT_EQ(DetermineServerAddress(platform).candidates, Candidates{"10.0.0.1"});

    Calls twice = kOneCycle;
    twice.insert(twice.end(), kOneCycle.begin(), kOneCycle.end());
    EXPECT_EQ(platform.calls, twice);
}

TEST(DetermineServerAddress, HostNameFailureIsReportedAndTheEmptyNameResolved) {
    const struct {
        int code;
        const char* message;
    } rows[] = {
        {10093, "Windows Sockets error  10093"},  // a positive code stands two blanks away
        {0, "Windows Sockets error  0"},
        {-5, "Windows Sockets error -5"},
        {-2147483647 - 1, "Windows Sockets error -2147483648"},
    };
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.hostName = HostNameResult{-1, NameBuffer("ignored"), row.code};
        platform.hosts[""] = Of({{10, 1, 2, 3}});
        const DeterminedAddress result = DetermineServerAddress(platform);
        EXPECT_EQ(platform.messages, std::vector<std::string>{row.message});
        EXPECT_EQ(platform.captions, std::vector<std::string>{text::kCaption});
        EXPECT_EQ(platform.calls,
                  (Calls{"startup 257", "gethostname", "message", "gethostbyname ", "cleanup"}));
        EXPECT_EQ(result.status, SocketStatus::Ok);
        EXPECT_EQ(result.candidates, Candidates{"10.1.2.1"});
    }
}

TEST(DetermineServerAddress, FailedStartupIsFatalWithoutCleanup) {
    // The result is held in 16 bits, so only its low word decides.
    const struct {
        int startup;
        bool fatal;
    } rows[] = {{10091, true}, {-1, true}, {0x1000A, true}, {0x10000, false}};
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.startupResult = row.startup;
        platform.hosts["pc-42"] = Of({{192, 168, 2, 10}});
        const DeterminedAddress result = DetermineServerAddress(platform);
        if (!row.fatal) {
            EXPECT_EQ(result.status, SocketStatus::Ok) << row.startup;
            EXPECT_EQ(platform.calls, kOneCycle) << row.startup;
            continue;
        }
        EXPECT_EQ(result.status, SocketStatus::Fatal) << row.startup;
        EXPECT_EQ(result.candidates, Candidates{}) << row.startup;
        EXPECT_EQ(platform.calls, (Calls{"startup 257", "message"})) << row.startup;
        EXPECT_EQ(platform.messages, std::vector<std::string>{"'winsock.dll' antwortet nicht !"});
        EXPECT_EQ(platform.captions, std::vector<std::string>{text::kCaption});
    }
}

TEST(DetermineServerAddress, FailedCleanupIsFatalAndShowsTheResultItself) {
    const struct {
        int cleanup;
        Addresses addresses;
        const char* message;
    } rows[] = {
        {-1, Of({{192, 168, 2, 10}}), "Socket Error -1 in Prozedur 'CleanSockets' aufgetreten !"},
        {10093, Of({{192, 168, 2, 10}}),
         "Socket Error 10093 in Prozedur 'CleanSockets' aufgetreten !"},
        {-1, std::nullopt, "Socket Error -1 in Prozedur 'CleanSockets' aufgetreten !"},
    };
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.cleanupResult = row.cleanup;
        platform.hosts["pc-42"] = row.addresses;
        const DeterminedAddress result = DetermineServerAddress(platform);
        EXPECT_EQ(result.status, SocketStatus::Fatal);
        EXPECT_EQ(result.candidates, Candidates{});
        EXPECT_EQ(platform.messages, std::vector<std::string>{row.message});
        EXPECT_EQ(platform.captions, std::vector<std::string>{text::kCaption});
        EXPECT_EQ(platform.calls.back(), "message");
    }
}

TEST(GetLocalHostName, KeepsWhatStandsBeforeTheFirstNulAfterTrimmingBlanks) {
    const struct {
        std::string buffer, expected;
    } rows[] = {
        {NameBuffer("pc-42"), "pc-42"},
        {NameBuffer("  pc 42  "), "pc 42  "},  // trailing blanks sit before NULs, not at the end
        {NameBuffer("\tpc-42"), "\tpc-42"},    // only U+0020 is a blank
        {NameBuffer(std::string("pc\0junk", 7)), "pc"},
        {std::string("abc") + std::string(253, ' '), "abc"},  // a full buffer without NUL
        {std::string(256, ' '), ""},
        {NameBuffer(""), ""},
        {NameBuffer("Rechner-\xC3\xA4"), "Rechner-\xC3\xA4"},
    };
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.hostName = HostNameResult{0, row.buffer, 0};
        EXPECT_EQ(GetLocalHostName(platform), row.expected);
        EXPECT_TRUE(platform.messages.empty());
    }
}

TEST(SplitFirstToken, CutsAtTheFirstWholeDelimiter) {
    const struct {
        std::string text, delimiter, token, rest;
    } rows[] = {
        {"a,b", ",", "a", "b"},
        {"abc", ",", "abc", ""},
        {",abc", ",", "", "abc"},
        {"abc,", ",", "abc", ""},
        {"a,b,c", ",", "a", "b,c"},
        {"a::b:c", "::", "a", "b:c"},
        {"a:b::c", "::", "a:b", "c"},
        {"aXbxc", "x", "aXb", "c"},  // case counts
        {"", ",", "", ""},
        {std::string("pc\0\0", 4), std::string(1, '\0'), "pc", std::string(1, '\0')},
    };
    for (const auto& row : rows) {
        std::string text = row.text;
        EXPECT_EQ(SplitFirstToken(text, row.delimiter), row.token) << row.text;
        EXPECT_EQ(text, row.rest) << row.text;
    }
}

TEST(ProbeReachability, OnlyTheAnswerOneIsTrustedAnEchoDecidesTheRestAndTheWholeCheckIsTimed) {
    using enum EchoResult;
    const struct {
        int answer;
        std::vector<double> clock;
        float expected;
        std::vector<EchoResult> echoes = {};
        int echoesSent = 0;
        bool missing = false;
        const char* address = "192.168.2.1";
        const char* lookedUp = nullptr;  // the name resolved in a session of its own
        Addresses resolved = std::nullopt;
        int startup = 0, cleanup = 0;
        int port = 80;  // of the connection made beside the echoes
    } rows[] = {
        // clang-format off
        {1, {100.0, 100.25}, 0.25f},
        {1, {7.5, 7.5}, 0.0f},
        {1, {86399.5, 86400.75}, 1.25f},
        {1, {100.0, 100.25}, 0.25f, {Reply}, 0},  // 1 needs no echo
        // Any other answer: up to three echoes decide, and the time covers them.
        {0, {100.0, 103.0}, -1.0f, {}, 3},
        {2, {100.0, 103.0}, -1.0f, {}, 3},
        {-1, {100.0, 103.0}, -1.0f, {}, 3},
        {2, {100.0, 100.5}, 0.5f, {Reply}, 1},
        {120, {100.0, 103.5}, 3.5f, {NoReply, NoReply, Reply}, 3},
        {0, {100.0, 100.5}, 0.5f, {Reply}, 1},
        {0, {100.0, 101.0}, 1.0f, {Reply}, 1, true},
        {120, {100.0, 103.0}, -1.0f, {NoReply, NoReply, NoReply, Reply}, 3},
        {120, {100.0, 100.0}, -1.0f, {Unavailable, Reply}, 1},
        {0, {100.0, 101.0}, 1.0f, {Reply}, 1, false, "192.168.2.1:8080", nullptr, std::nullopt, 0, 0, 8080},
        // A name is looked up and its first IPv4 address echoed.
        {0, {100.0, 101.0}, 1.0f, {Reply}, 1, false, "nas", "nas",
         Of({{1, 2, 3, 4, 5, 6}, {192, 168, 2, 1}, {10, 0, 0, 1}})},
        {120, {100.0, 101.0}, 1.0f, {Reply}, 1, false, "server.firma.local:8080",
         "server.firma.local", Of({{192, 168, 2, 1}}), 0, 0, 8080},
        {0, {100.0, 101.0}, -1.0f, {Reply}, 0, false, "server.local", "server.local"},
        {0, {100.0, 101.0}, -1.0f, {Reply}, 0, false, "nas", "nas", Of({})},
        // A socket failure on the way means unreachable, never a message.
        {0, {100.0, 101.0}, -1.0f, {Reply}, 0, false, "nas", "nas", Of({{192, 168, 2, 1}}), 0, -1},
        {0, {100.0, 101.0}, -1.0f, {Reply}, 0, false, "nas", nullptr, std::nullopt, 10091},
        // Nothing else is looked up or sent: no URL, padded or empty text.
        {0, {100.0, 101.0}, -1.0f, {Reply}, 0, false, "http://192.168.2.1"},
        {120, {100.0, 101.0}, -1.0f, {Reply}, 0, false, " 192.168.2.1"},
        {120, {100.0, 101.0}, -1.0f, {Reply}, 0, true, ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.address) + " answer " + std::to_string(row.answer) +
                     " echoes " + std::to_string(row.echoes.size()));
        FakePlatform platform;
        platform.clock = row.clock;
        platform.reachability[row.address] = row.answer;
        platform.sensapiMissing = row.missing;
        platform.echoes["192.168.2.1"] = row.echoes;
        platform.startupResult = row.startup;
        platform.cleanupResult = row.cleanup;
        if (row.lookedUp) platform.hosts[row.lookedUp] = row.resolved;
        const float result = ProbeReachability(platform, row.address);
        // Callers compare bit patterns, so 0.0 must not collide with the sentinel.
        EXPECT_EQ(std::bit_cast<std::uint32_t>(result), std::bit_cast<std::uint32_t>(row.expected));
        Calls expectedCalls{"clock", std::string("probe ") + row.address};
        if (row.startup) expectedCalls.push_back("startup 257");
        if (row.lookedUp)
            expectedCalls.insert(
                expectedCalls.end(),
                {"startup 257", std::string("gethostbyname ") + row.lookedUp, "cleanup"});
        // The echoes and the connection run in a session of their own.
        if (row.echoesSent > 0)
            expectedCalls.insert(expectedCalls.end(),
                                 {"startup 257", "echo 192.168.2.1 1000",
                                  "connect 192.168.2.1:" + std::to_string(row.port)});
        for (int i = 1; i < row.echoesSent; ++i) expectedCalls.push_back("echo 192.168.2.1 1000");
        if (row.echoesSent > 0) expectedCalls.push_back("cleanup");
        if (row.expected != kUnreachable) expectedCalls.push_back("clock");
        EXPECT_EQ(platform.calls, expectedCalls);
        EXPECT_TRUE(platform.messages.empty());
    }
    EXPECT_EQ(std::bit_cast<std::uint32_t>(kUnreachable), 0xBF800000u);
}

TEST(ProbeReachability, TheWebPortAnswersWhereTheEchoIsDropped) {
    using enum EchoResult;
    const struct {
        const char* what;
        const char* address;
        std::vector<std::pair<std::string, std::pair<Finding, double>>> connections;
        std::vector<EchoResult> echoes;
        bool reachable;
        Calls calls;
        double roundEndsMs;
        bool socketCallsMissing = false;
        int startup = 0;
    } rows[] = {
        // clang-format off
        {"accepted on 80, echo dropped", "192.168.2.1", {{"192.168.2.1:80", {Finding::Answered, 40}}}, {},
         true, {"startup 257", "echo 192.168.2.1 1000", "connect 192.168.2.1:80", "cleanup"}, 40},
        {"the typed port", "192.168.2.1:8443", {{"192.168.2.1:8443", {Finding::Answered, 10}}}, {}, true,
         {"startup 257", "echo 192.168.2.1 1000", "connect 192.168.2.1:8443", "cleanup"}, 10},
        {"a refusal alone is no answer", "192.168.2.1", {{"192.168.2.1:80", {Finding::NoAnswer, 2000}}}, {},
         false,
         {"startup 257", "echo 192.168.2.1 1000", "connect 192.168.2.1:80", "echo 192.168.2.1 1000",
          "echo 192.168.2.1 1000", "cleanup"},
         3000},
        {"refused, the second echo answers", "192.168.2.1", {{"192.168.2.1:80", {Finding::NoAnswer, 5}}},
         {NoReply, Reply}, true,
         {"startup 257", "echo 192.168.2.1 1000", "connect 192.168.2.1:80", "echo 192.168.2.1 1000",
          "cleanup"},
         1000},
        {"socket calls missing: the echo decides", "192.168.2.1", {}, {Reply}, true,
         {"startup 257", "echo 192.168.2.1 1000", "connect 192.168.2.1:80", "cleanup"}, 0, true},
        {"no session for the connection: the echo decides", "192.168.2.1",
         {{"192.168.2.1:80", {Finding::Answered, 0}}}, {}, false,
         {"startup 257", "echo 192.168.2.1 1000", "echo 192.168.2.1 1000", "echo 192.168.2.1 1000"}, 3000,
         false, 10091},
        {"a name's address gets both", "nas:8080", {{"10.0.0.9:8080", {Finding::Answered, 30}}}, {}, true,
         {"startup 257", "gethostbyname nas", "cleanup", "startup 257", "echo 10.0.0.9 1000",
          "connect 10.0.0.9:8080", "cleanup"},
         30},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakePlatform platform;
        platform.hosts["nas"] = Of({{10, 0, 0, 9}});
        platform.connections.insert(row.connections.begin(), row.connections.end());
        platform.echoes["192.168.2.1"] = row.echoes;
        platform.socketCallsMissing = row.socketCallsMissing;
        platform.startupResult = row.startup;
        EXPECT_EQ(ProbeReachability(platform, row.address) != kUnreachable, row.reachable);
        Calls expected{"clock", std::string("probe ") + row.address};
        expected.insert(expected.end(), row.calls.begin(), row.calls.end());
        if (row.reachable) expected.push_back("clock");
        EXPECT_EQ(platform.calls, expected);
        EXPECT_EQ(platform.roundEndsMs, std::vector<double>{row.roundEndsMs});
    }
}

TEST(HostPart, NamesAndDottedAddressesWithAnOptionalPort) {
    const struct {
        const char* text;
        std::optional<std::string> expected;
    } rows[] = {
        // clang-format off
        {"nas", "nas"}, {"Server-1.firma.local", "Server-1.firma.local"}, {"nas:80", "nas"},
        {"192.168.2.1:8080", "192.168.2.1"}, {"3com", "3com"}, {"nas:", std::nullopt},
        {"nas:65536", std::nullopt}, {"nas:8a", std::nullopt}, {"nas:80:80", std::nullopt},
        {"10.1", std::nullopt}, {"300.1.1.1", std::nullopt}, {"-nas", std::nullopt},
        {"nas-", std::nullopt}, {"a..b", std::nullopt}, {".nas", std::nullopt},
        {"server name", std::nullopt}, {"nas/start", std::nullopt}, {"http://nas", std::nullopt},
        {"r\xC3\xA4" "chner", std::nullopt}, {"", std::nullopt}, {":80", std::nullopt},
        // clang-format on
    };
    for (const auto& row : rows) EXPECT_EQ(HostPart(row.text), row.expected) << row.text;
    for (const auto& [text, port] :
         std::vector<std::pair<std::string, int>>{{"nas", 80},
                                                  {"nas:8080", 8080},
                                                  {"10.1.1.5:1", 1},
                                                  {"nas:65535", 65535},
                                                  {"nas:65536", 80},
                                                  {"http://nas:8080", 80}})
        EXPECT_EQ(WebPort(text), port) << text;
}

TEST(ParseDottedIPv4, FourDecimalFieldsUpTo255AndNothingElse) {
    using Bytes = std::array<std::uint8_t, 4>;
    const struct {
        const char* text;
        std::optional<Bytes> expected;
    } rows[] = {
        // clang-format off
        {"192.168.2.1", Bytes{192, 168, 2, 1}}, {"0.0.0.0", Bytes{0, 0, 0, 0}},
        {"255.255.255.255", Bytes{255, 255, 255, 255}}, {"010.001.0.7", Bytes{10, 1, 0, 7}},
        {"256.1.1.1", std::nullopt}, {"1.2.3", std::nullopt}, {"1.2.3.4.5", std::nullopt},
        {"1..3.4", std::nullopt}, {"1.2.3.4.", std::nullopt}, {" 1.2.3.4", std::nullopt},
        {"1.2.3.4 ", std::nullopt}, {"0x1.2.3.4", std::nullopt}, {"+1.2.3.4", std::nullopt},
        {"1.2.3.0004", std::nullopt}, {"http://1.2.3.4", std::nullopt}, {"", std::nullopt},
        {"4294967297", std::nullopt},
        // clang-format on
    };
    for (const auto& row : rows) EXPECT_EQ(ParseDottedIPv4(row.text), row.expected) << row.text;
}

TEST(ProbeReachability, PassesTheEmptyAddressUnchanged) {
    FakePlatform platform;
    platform.reachability[""] = 1;
    EXPECT_NE(ProbeReachability(platform, ""), kUnreachable);
    EXPECT_EQ(platform.calls, (Calls{"clock", "probe ", "clock"}));
}

}  // namespace
}  // namespace molra
