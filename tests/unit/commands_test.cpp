#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "expected_texts.h"
#include "fake_platform.h"
#include "ui/commands.h"

namespace molra {
namespace {

using testing::FakePlatform;
using testing::Command1_Click;
using testing::FileFor;
using namespace expected;

const std::string kPath = "C:\\Work\\MOLRAvin.url";

// A PC at 192.168.2.10 whose server 192.168.2.1 answers.
FakePlatform LocalNetwork(int serverAnswer = 1) {
    FakePlatform platform;
    platform.hosts["pc-42"] =
        std::vector<std::vector<std::uint8_t>>{{192, 168, 2, 10}, {10, 0, 0, 7}};
    platform.reachability["192.168.2.1"] = serverAnswer;
    return platform;
}

long Count(const std::vector<std::string>& calls, const std::string& prefix) {
    return std::count_if(calls.begin(), calls.end(),
                         [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
}

TEST(Command1Click, EmptyBoxDeterminesOnceProbesSavesAndShowsTheAddress) {
    for (const std::string& box : {std::string(), std::string("    ")}) {
        FakePlatform platform = LocalNetwork();
        const ClickOutcome outcome = Command1_Click(platform, box);
        EXPECT_FALSE(outcome.endProcess);
        EXPECT_EQ(outcome.newText1, "192.168.2.1");
        EXPECT_EQ(platform.fileBytes[kPath], FileFor("192.168.2.1"));
        EXPECT_EQ(platform.messages, std::vector<std::string>{kReachable});
        EXPECT_EQ(platform.captions, std::vector<std::string>{"MOLRAvin"});
        EXPECT_EQ(Count(platform.calls, "startup"), 1);
        EXPECT_EQ(Count(platform.calls, "cleanup"), 1);
        EXPECT_EQ(Count(platform.calls, "probe"), 1);
        // Probed before it is written, and written only once.
        const auto probe =
            std::find(platform.calls.begin(), platform.calls.end(), "probe 192.168.2.1");
        const auto replace =
            std::find(platform.calls.begin(), platform.calls.end(), "replace " + kPath);
        ASSERT_NE(replace, platform.calls.end());
        EXPECT_LT(probe, replace);
    }
}

TEST(Command1Click, UnreachableOrMissingServerWritesNothing) {
    const struct {
        const char* what;
        bool resolvable;
        int answer;
        long probes;
        long sessions;  // the determination's, and the checks' own
    } rows[] = {
        // Each of the PC's two addresses gives a server to try.
        {"server does not answer", true, 0, 2, 2},
        {"check fails oddly", true, 2, 2, 2},
        {"local name does not resolve", false, 1, 0, 1},
    };
    for (const auto& row : rows) {
        FakePlatform platform = LocalNetwork(row.answer);
        if (!row.resolvable) platform.hosts.clear();
        const ClickOutcome outcome = Command1_Click(platform, " ");
        EXPECT_FALSE(outcome.endProcess) << row.what;
        EXPECT_FALSE(outcome.newText1) << row.what;
        EXPECT_TRUE(platform.replacedPaths.empty()) << row.what;
        EXPECT_EQ(platform.messages, std::vector<std::string>{kNoServer}) << row.what;
        EXPECT_EQ(Count(platform.calls, "probe"), row.probes) << row.what;
        EXPECT_EQ(Count(platform.calls, "cleanup"), row.sessions) << row.what;
    }
}

TEST(Command1Click, TriesTheServerOfEachLanAddressInTurnAndTakesTheFirstThatAnswers) {
    const struct {
        const char* what;
        std::vector<std::vector<std::uint8_t>> addresses;
        const char* answering;
        std::vector<std::string> probed;
        long sessions = 1;  // the determination's, and the checks' own
    } rows[] = {
        // clang-format off
        {"a VPN client comes first", {{10, 8, 0, 6}, {192, 168, 2, 10}}, "192.168.2.1",
         {"10.8.0.1", "192.168.2.1"}, 2},
        {"loopback and link-local are no LAN", {{127, 0, 0, 1}, {169, 254, 7, 8}, {192, 168, 2, 10}},
         "192.168.2.1", {"192.168.2.1"}},
        {"no network yet", {{127, 0, 0, 1}}, nullptr, {}},
        {"the same server once, at most four",
         {{10, 0, 0, 7}, {10, 0, 0, 8}, {10, 0, 1, 7}, {10, 0, 2, 7}, {10, 0, 3, 7}, {10, 0, 4, 7}},
         nullptr, {"10.0.0.1", "10.0.1.1", "10.0.2.1", "10.0.3.1"}, 2},
        // The PC itself holds the .1 of a virtual adapter: it may be the server.
        {"host of a virtual adapter", {{172, 20, 0, 1}, {192, 168, 2, 10}}, "172.20.0.1",
         {"172.20.0.1"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakePlatform platform;
        platform.hosts["pc-42"] = row.addresses;
        if (row.answering) platform.reachability[row.answering] = 1;
        const ClickOutcome outcome = Command1_Click(platform, "");
        std::vector<std::string> probed;
        for (const std::string& call : platform.calls)
            if (call.rfind("probe ", 0) == 0) probed.push_back(call.substr(6));
        EXPECT_EQ(probed, row.probed);
        EXPECT_EQ(Count(platform.calls, "startup"), row.sessions);
        EXPECT_EQ(Count(platform.calls, "gethostname"), 1);
        if (row.answering) {
            EXPECT_EQ(outcome.newText1, row.answering);
            EXPECT_EQ(platform.fileBytes[kPath], FileFor(row.answering));
            EXPECT_EQ(platform.messages, std::vector<std::string>{kReachable});
        } else {
            EXPECT_FALSE(outcome.newText1);
            EXPECT_TRUE(platform.replacedPaths.empty());
            EXPECT_EQ(platform.messages, std::vector<std::string>{kNoServer});
        }
    }
}

// Every candidate is asked at once, so the click waits one budget at most.
TEST(Command1Click, AsksEveryCandidateAtOnceAndSavesTheFirstInOrderThatAnswers) {
    using Connections = std::map<std::string, std::pair<Finding, double>>;
    const struct {
        const char* what;
        std::vector<std::vector<std::uint8_t>> addresses;
        Connections connections;
        const char* saved;
        double roundEndsMs;
        std::map<std::string, std::vector<testing::EchoResult>> echoes = {};
        const char* answerOne = nullptr;
    } rows[] = {
        // clang-format off
        {"four silent candidates", {{10, 0, 0, 7}, {10, 0, 1, 7}, {10, 0, 2, 7}, {10, 0, 3, 7}}, {}, nullptr,
         3000},
        {"the first answers later than the second", {{192, 168, 2, 10}, {10, 0, 0, 7}},
         {{"192.168.2.1:80", {Finding::Answered, 1500}}, {"10.0.0.1:80", {Finding::Answered, 10}}},
         "192.168.2.1", 1500},
        {"an earlier refusal lets the second win", {{192, 168, 2, 10}, {10, 0, 0, 7}},
         {{"192.168.2.1:80", {Finding::NoAnswer, 500}}, {"10.0.0.1:80", {Finding::Answered, 10}}},
         "10.0.0.1", 500, {{"192.168.2.1", {testing::EchoResult::Unavailable}}}},
        {"the first answers: nothing waits for the rest", {{192, 168, 2, 10}, {10, 0, 0, 7}},
         {{"192.168.2.1:80", {Finding::Answered, 20}}}, "192.168.2.1", 20},
        {"a later answer 1 waits for the earlier", {{192, 168, 2, 10}, {10, 0, 0, 7}}, {}, "10.0.0.1", 3000,
         {}, "10.0.0.1"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakePlatform platform;
        platform.hosts["pc-42"] = row.addresses;
        platform.connections = row.connections;
        platform.echoes = row.echoes;
        if (row.answerOne) platform.reachability[row.answerOne] = 1;
        const ClickOutcome outcome = Command1_Click(platform, "");
        EXPECT_EQ(platform.roundEndsMs, std::vector<double>{row.roundEndsMs});
        EXPECT_EQ(Count(platform.calls, "connect"),
                  row.answerOne ? 1 : static_cast<long>(row.addresses.size()));
        EXPECT_EQ(outcome.newText1,
                  row.saved ? std::optional<std::string>(row.saved) : std::nullopt);
        EXPECT_EQ(platform.messages, std::vector<std::string>{row.saved ? kReachable : kNoServer});
    }
}

TEST(Command1Click, FatalSocketFailureEndsBeforeAnythingIsWritten) {
    for (bool startupFails : {true, false}) {
        FakePlatform platform = LocalNetwork();
        (startupFails ? platform.startupResult : platform.cleanupResult) =
            startupFails ? 10091 : -1;
        const ClickOutcome outcome = Command1_Click(platform, "");
        EXPECT_TRUE(outcome.endProcess);
        EXPECT_FALSE(outcome.newText1);
        EXPECT_TRUE(platform.replacedPaths.empty());
        EXPECT_EQ(Count(platform.calls, "probe"), 0);
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0],
                  startupFails ? "'winsock.dll' antwortet nicht !"
                               : "Socket Error -1 in Prozedur 'CleanSockets' aufgetreten !");
    }
}

TEST(Command1Click, TypedAddressIsProbedAndSavedWithoutItsBlanks) {
    const struct {
        std::string box;
        int answer;
        std::string message;
    } rows[] = {
        {"10.1.1.5", 1, kReachable},      {"10.1.1.5", 0, kUnreachable},
        {"  10.1.1.5   ", 1, kReachable}, {" 10.1.1.5", 7, kUnreachable},
        {"server name", 1, kReachable},
    };
    for (const auto& row : rows) {
        FakePlatform platform = LocalNetwork();
        const std::string address = TrimSpaces(row.box);
        platform.reachability[address] = row.answer;
        const ClickOutcome outcome = Command1_Click(platform, row.box);
        EXPECT_FALSE(outcome.endProcess);
        EXPECT_FALSE(outcome.newText1) << "the typed text stays";
        EXPECT_EQ(Count(platform.calls, "gethostname"), 0) << "nothing is determined";
        EXPECT_EQ(platform.calls.front(), "clock");
        EXPECT_EQ(Count(platform.calls, "probe " + address), 1) << row.box;
        EXPECT_EQ(platform.fileBytes[kPath], FileFor(address)) << row.box;
        EXPECT_EQ(platform.messages, std::vector<std::string>{row.message}) << row.box;
    }
}

TEST(Command1Click, FailedSaveIsReportedAndNothingClaimsSuccess) {
    for (const std::string& box : {std::string(), std::string("10.1.1.5")}) {
        FakePlatform platform = LocalNetwork();
        platform.reachability["10.1.1.5"] = 1;
        platform.replaceError = 5;
        const ClickOutcome outcome = Command1_Click(platform, box);
        EXPECT_FALSE(outcome.endProcess);
        EXPECT_FALSE(outcome.newText1);
        EXPECT_EQ(
            platform.messages,
            std::vector<std::string>{"Die Verkn\xC3\xBCpfung konnte nicht gespeichert werden:\r\n" +
                                     kPath + "\r\nFehler 5"});
    }
}

TEST(Command1Click, ProgramFolderOutsideTheCodePageIsSavedAsUtf16) {
    FakePlatform platform = LocalNetwork();
    platform.ansiFits = false;
    platform.programFolder = "C:\\Programme\\M\xC3\xB6lra";
    platform.reachability["10.1.1.5"] = 1;
    Command1_Click(platform, "10.1.1.5");
    const std::string& bytes = platform.fileBytes[kPath];
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(bytes.find(std::string("M\0\xF6\0l\0", 6)), std::string::npos);
}

TEST(Command1Click, EveryClickIsOneFreshSocketCycle) {
    FakePlatform platform = LocalNetwork();
    Command1_Click(platform, "");
    platform.hosts["pc-42"] = std::vector<std::vector<std::uint8_t>>{{10, 0, 0, 7}};
    platform.reachability["10.0.0.1"] = 1;
    const ClickOutcome second = Command1_Click(platform, "");
    EXPECT_EQ(second.newText1, "10.0.0.1");
    EXPECT_EQ(platform.fileBytes[kPath], FileFor("10.0.0.1"));
    EXPECT_EQ(Count(platform.calls, "startup 257"), 2);
    EXPECT_EQ(Count(platform.calls, "cleanup"), 2);
}

}  // namespace
}  // namespace molra
