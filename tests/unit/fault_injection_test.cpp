// Every platform call that can fail is made to fail in each flow. Each row
// states what the user then sees and what becomes of an old shortcut file.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <set>
#include <utility>

#include "expected_texts.h"
#include "fake_platform.h"
#include "startup/browser.h"
#include "startup/startup.h"
#include "ui/commands.h"

namespace molra {
namespace {

using namespace expected;
using testing::Command1_Click;
using testing::FileFor;

enum class Fault {
    BrowserKey,   // the browser's key cannot be opened or its value's type queried
    BrowserRead,  // ... the type is known but reading the text fails
    VersionKey,
    VersionRead,
    ProfileRead,       // the profile reader answers nothing
    FileLookup,        // the directory lookup finds nothing
    CurrentDirectory,  // the current directory comes back empty
    ProgramFolder,     // the program's folder comes back empty
    ProcessStart,
    DefaultHandler,
    SocketStartup,
    SocketCleanup,
    HostName,
    HostLookupNull,
    HostLookupEmpty,
    HostLookupZeroLength,  // a record whose address length is 0
    ProbeNo,
    ProbeOdd,        // a non-zero answer other than 1
    ClockBackwards,  // by exactly one second, which equals the unreachable sentinel
    ClockBroken,     // readings that are not numbers
    ToAnsi,
    SaveFile,
};

constexpr Fault kAllFaults[] = {
    // clang-format off
    Fault::BrowserKey,     Fault::BrowserRead,     Fault::VersionKey,
    Fault::VersionRead,    Fault::ProfileRead,     Fault::FileLookup,
    Fault::CurrentDirectory, Fault::ProgramFolder, Fault::ProcessStart,
    Fault::DefaultHandler, Fault::SocketStartup,   Fault::SocketCleanup,
    Fault::HostName,       Fault::HostLookupNull,  Fault::HostLookupEmpty,
    Fault::HostLookupZeroLength, Fault::ProbeNo,   Fault::ProbeOdd,
    Fault::ClockBackwards, Fault::ClockBroken,     Fault::ToAnsi,
    Fault::SaveFile,
    // clang-format on
};

// The faults a flow never reaches: one row shows that none of them changes its outcome.
constexpr std::initializer_list<Fault> kNetworkFaults = {
    Fault::SocketStartup,  Fault::SocketCleanup,   Fault::HostName,
    Fault::HostLookupNull, Fault::HostLookupEmpty, Fault::HostLookupZeroLength,
};
constexpr std::initializer_list<Fault> kSaveFaults = {
    Fault::ProbeNo, Fault::ProbeOdd, Fault::ClockBackwards, Fault::ClockBroken,
    Fault::ToAnsi,  Fault::SaveFile, Fault::ProgramFolder,
};
constexpr std::initializer_list<Fault> kStartFaults = {
    Fault::BrowserKey,  Fault::BrowserRead, Fault::VersionKey,   Fault::VersionRead,
    Fault::ProfileRead, Fault::FileLookup,  Fault::ProcessStart, Fault::DefaultHandler,
};

const std::string kShortcut = "C:\\Work\\MOLRAvin.url";
const std::string kOldBytes = "[InternetShortcut]\r\nURL=http://172.16.0.1\r\n";
const std::string kBrowser = "C:\\Browser\\iexplore.exe";
const std::string kDefaultBrowser = "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\"";

const std::string kHostName = "Windows Sockets error  10093";

std::string SaveFailed(const std::string& path) {
    return "Die Verkn\xC3\xBCpfung konnte nicht gespeichert werden:\r\n" + path + "\r\nFehler 5";
}
std::string BrowserFailed(const std::string& command) {
    return "Der Browser konnte nicht gestartet werden.\r\n" + command + "\r\nFehler 2";
}

std::string Utf16(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

// The fake, plus a code page that can refuse any text.
class FaultyPlatform : public testing::FakePlatform {
public:
    bool ansiFails = false;
    std::optional<std::string> ToAnsi(const std::string& text) override {
        if (ansiFails) return std::nullopt;
        return FakePlatform::ToAnsi(text);
    }
};

// A PC at 192.168.2.10 with its server at 192.168.2.1, a registered browser,
// and an old shortcut file that nothing in these flows should damage.
FaultyPlatform Healthy() {
    FaultyPlatform platform;
    platform.SetRegistryString(RegistryRoot::ClassesRoot, kBrowserClsidKey, "", kBrowser);
    platform.SetRegistryString(RegistryRoot::LocalMachine, kBrowserVersionKey, "Version",
                               "11.0.9600.18376");
    platform.SetShortcut(kShortcut, "http://192.168.2.1");
    platform.fileBytes[kShortcut] = kOldBytes;
    platform.hosts["pc-42"] = std::vector<std::vector<std::uint8_t>>{{192, 168, 2, 10}};
    platform.reachability["192.168.2.1"] = 1;
    platform.reachability["10.0.0.5"] = 1;
    return platform;
}

void Inject(FaultyPlatform& platform, Fault fault) {
    auto& browser = platform.registry[{RegistryRoot::ClassesRoot, kBrowserClsidKey}];
    auto& version = platform.registry[{RegistryRoot::LocalMachine, kBrowserVersionKey}];
    const double nan = std::nan("");
    switch (fault) {
        case Fault::BrowserKey: browser.clear(); break;
        case Fault::BrowserRead: browser[""] = RegistryValue{kRegSz, std::nullopt}; break;
        case Fault::VersionKey: version.clear(); break;
        case Fault::VersionRead: version["Version"] = RegistryValue{kRegSz, std::nullopt}; break;
        case Fault::ProfileRead: platform.profiles.clear(); break;
        case Fault::FileLookup: platform.files.clear(); break;
        case Fault::CurrentDirectory: platform.currentDirectory.clear(); break;
        case Fault::ProgramFolder: platform.programFolder.clear(); break;
        case Fault::ProcessStart: platform.startProcessError = 2; break;
        case Fault::DefaultHandler: platform.openError = 1155; break;
        case Fault::SocketStartup: platform.startupResult = 10091; break;
        case Fault::SocketCleanup: platform.cleanupResult = -1; break;
        case Fault::HostName: platform.hostName = {-1, std::string(256, '\0'), 10093}; break;
        case Fault::HostLookupNull: platform.hosts["pc-42"] = std::nullopt; break;
        case Fault::HostLookupEmpty: platform.hosts["pc-42"].emplace(); break;
        case Fault::HostLookupZeroLength:
            platform.hosts["pc-42"] = std::vector<std::vector<std::uint8_t>>{{}};
            break;
        case Fault::ProbeNo:
            platform.reachability["192.168.2.1"] = platform.reachability["10.0.0.5"] = 0;
            break;
        case Fault::ProbeOdd:
            platform.reachability["192.168.2.1"] = platform.reachability["10.0.0.5"] = 2;
            break;
        case Fault::ClockBackwards: platform.clock = {101.0, 100.0}; break;
        case Fault::ClockBroken: platform.clock = {nan, nan}; break;
        case Fault::ToAnsi: platform.ansiFails = true; break;
        case Fault::SaveFile: platform.replaceError = 5; break;
    }
}

const char* Name(Fault fault) {
    switch (fault) {
        case Fault::BrowserKey: return "BrowserKey";
        case Fault::BrowserRead: return "BrowserRead";
        case Fault::VersionKey: return "VersionKey";
        case Fault::VersionRead: return "VersionRead";
        case Fault::ProfileRead: return "ProfileRead";
        case Fault::FileLookup: return "FileLookup";
        case Fault::CurrentDirectory: return "CurrentDirectory";
        case Fault::ProgramFolder: return "ProgramFolder";
        case Fault::ProcessStart: return "ProcessStart";
        case Fault::DefaultHandler: return "DefaultHandler";
        case Fault::SocketStartup: return "SocketStartup";
        case Fault::SocketCleanup: return "SocketCleanup";
        case Fault::HostName: return "HostName";
        case Fault::HostLookupNull: return "HostLookupNull";
        case Fault::HostLookupEmpty: return "HostLookupEmpty";
        case Fault::HostLookupZeroLength: return "HostLookupZeroLength";
        case Fault::ProbeNo: return "ProbeNo";
        case Fault::ProbeOdd: return "ProbeOdd";
        case Fault::ClockBackwards: return "ClockBackwards";
        case Fault::ClockBroken: return "ClockBroken";
        case Fault::ToAnsi: return "ToAnsi";
        case Fault::SaveFile: return "SaveFile";
    }
    return "?";
}

std::string Describe(const std::vector<Fault>& faults) {
    std::string text = "faults:";
    for (Fault fault : faults) text += std::string(" ") + Name(fault);
    return text;
}

template <typename Row>
void ExpectEveryFaultInjected(const std::vector<Row>& rows) {
    std::set<Fault> injected;
    for (const Row& row : rows) injected.insert(row.faults.begin(), row.faults.end());
    for (Fault fault : kAllFaults)
        EXPECT_TRUE(injected.count(fault)) << "no row injects " << Name(fault);
}

void ExpectOldShortcutUnchanged(const FaultyPlatform& platform, const std::string& why) {
    EXPECT_TRUE(platform.replacedPaths.empty()) << why;
    ASSERT_EQ(platform.fileBytes.size(), 1u) << why;
    EXPECT_EQ(platform.fileBytes.at(kShortcut), kOldBytes) << why;
}

// --- start-up -------------------------------------------------------------

// What one start mode does; "{url}" stands for the address that mode starts with.
struct StartExpected {
    StartOutcome outcome;
    std::vector<std::string> started;  // command lines, in order
    std::vector<std::string> opened;   // URLs handed to the default handler
    std::vector<std::string> messages;
};

// One row per set of faults; nullopt: the row is not run in that mode.
struct StartRow {
    std::vector<Fault> faults;
    std::optional<StartExpected> withArgument;
    std::optional<StartExpected> fromShortcut;
};

// Starts "<browser> {url}"; the handler gets the URL too when `opened`, and a
// failed start shows its message when `failed`.
StartExpected Launches(const std::string& browser, bool opened = false, bool failed = false) {
    const std::string command = browser + " {url}";
    return {StartOutcome::EndProcess,
            {command},
            opened ? std::vector<std::string>{"{url}"} : std::vector<std::string>{},
            failed ? std::vector<std::string>{BrowserFailed(command)} : std::vector<std::string>{}};
}
// Without a readable address nothing is started: the user is asked instead.
const StartExpected kAsksForTheAddress{StartOutcome::ShowWindow, {}, {}, {kNotice}};

StartRow Both(std::vector<Fault> faults, const StartExpected& expected) {
    return {std::move(faults), expected, expected};
}

std::vector<std::string> WithUrl(std::vector<std::string> texts, const std::string& url) {
    for (std::string& text : texts) {
        for (auto at = text.find("{url}"); at != std::string::npos; at = text.find("{url}", at))
            text.replace(at, 5, url);
    }
    return texts;
}

struct StartMode {
    const char* name;
    std::string commandLine;
    std::string url;
    std::optional<StartExpected> StartRow::*expected;
};
void PrintTo(const StartMode& mode, std::ostream* out) { *out << mode.name; }

class FaultInjectionStart : public ::testing::TestWithParam<StartMode> {};

TEST_P(FaultInjectionStart, LaunchesOrSaysWhyNotOrAsksForTheAddress) {
    const std::string registered = kBrowser + " -nomerge";
    const std::vector<StartRow> table = {
        Both({}, Launches(registered)),
        Both({Fault::BrowserKey}, Launches(kDefaultBrowser + " -nomerge")),
        Both({Fault::BrowserRead}, Launches(kDefaultBrowser + " -nomerge")),
        Both({Fault::VersionKey}, Launches(kBrowser)),
        Both({Fault::VersionRead}, Launches(kBrowser)),
        {{Fault::BrowserKey, Fault::VersionKey}, Launches(kDefaultBrowser), std::nullopt},
        // An argument wins: the shortcut file and the folders are never needed.
        {{Fault::ProfileRead}, Launches(registered), kAsksForTheAddress},
        {{Fault::FileLookup}, Launches(registered), kAsksForTheAddress},
        {{Fault::CurrentDirectory}, Launches(registered), kAsksForTheAddress},
        {{Fault::ProfileRead, Fault::ProcessStart, Fault::DefaultHandler},
         std::nullopt,
         kAsksForTheAddress},
        Both({Fault::ProgramFolder}, Launches(registered)),
        Both({Fault::ProcessStart}, Launches(registered, true)),
        Both({Fault::DefaultHandler}, Launches(registered)),
        Both({Fault::ProcessStart, Fault::DefaultHandler}, Launches(registered, true, true)),
        {{Fault::ProcessStart, Fault::DefaultHandler, Fault::BrowserKey, Fault::VersionRead},
         Launches(kDefaultBrowser, true, true),
         std::nullopt},
        Both(kNetworkFaults, Launches(registered)),
        Both(kSaveFaults, Launches(registered)),
    };
    const StartMode& mode = GetParam();
    std::vector<StartRow> rows;
    for (const StartRow& row : table)
        if (row.*mode.expected) rows.push_back(row);
    ExpectEveryFaultInjected(rows);
    for (const StartRow& row : rows) {
        const std::string why = Describe(row.faults);
        const StartExpected& expected = *(row.*mode.expected);
        FaultyPlatform platform = Healthy();
        platform.commandLine = mode.commandLine;
        for (Fault fault : row.faults) Inject(platform, fault);
        EXPECT_EQ(Form_Load(platform), expected.outcome) << why;
        std::vector<std::string> started;
        for (const auto& [command, show] : platform.startedProcesses) {
            started.push_back(command);
            EXPECT_EQ(show, 1) << why;
        }
        EXPECT_EQ(started, WithUrl(expected.started, mode.url)) << why;
        EXPECT_EQ(platform.openedUrls, WithUrl(expected.opened, mode.url)) << why;
        EXPECT_EQ(platform.messages, WithUrl(expected.messages, mode.url)) << why;
        for (const std::string& caption : platform.captions) EXPECT_EQ(caption, "MOLRAvin") << why;
        // Start-up neither touches the network nor writes.
        for (const std::string& call : platform.calls) EXPECT_EQ(call, "message") << why;
        ExpectOldShortcutUnchanged(platform, why);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FaultInjection, FaultInjectionStart,
    ::testing::Values(StartMode{"WithArgument", "MOLRAvin.exe 10.0.0.5", "http://10.0.0.5",
                                &StartRow::withArgument},
                      // The shortcut file holds http://192.168.2.1.
                      StartMode{"FromShortcut", "MOLRAvin.exe", "http://192.168.2.1",
                                &StartRow::fromShortcut}),
    [](const ::testing::TestParamInfo<StartMode>& info) { return std::string(info.param.name); });

// --- the determine-and-save click -------------------------------------------

struct ClickRow {
    std::vector<Fault> faults;
    std::vector<std::string> messages;
    std::optional<std::string> file;  // the bytes saved; nullopt: the old file stays as it was
    std::optional<std::string> text1;
    bool endProcess = false;
    std::string path = kShortcut;
};

// After a fault that did not end the process the window stays: the same
// click, with the fault gone, must then save as usual.
void ExpectNextClickSaves(const FaultyPlatform& faulted, const std::string& box,
                          const std::string& address, const std::string& why) {
    FaultyPlatform platform = Healthy();
    platform.files = faulted.files;
    platform.fileBytes = faulted.fileBytes;
    const ClickOutcome outcome = Command1_Click(platform, box);
    EXPECT_EQ(platform.fileBytes[kShortcut], FileFor(address)) << why << " (next click)";
    EXPECT_EQ(platform.messages, std::vector<std::string>{kReachable}) << why << " (next click)";
    EXPECT_FALSE(outcome.endProcess) << why << " (next click)";
}

void RunClickRows(const std::string& box, const std::string& address,
                  const std::vector<ClickRow>& rows) {
    ExpectEveryFaultInjected(rows);
    for (const ClickRow& row : rows) {
        const std::string why = Describe(row.faults);
        FaultyPlatform platform = Healthy();
        for (Fault fault : row.faults) Inject(platform, fault);
        const ClickOutcome outcome = Command1_Click(platform, box);
        EXPECT_EQ(outcome.endProcess, row.endProcess) << why;
        EXPECT_EQ(outcome.newText1, row.text1) << why;
        EXPECT_EQ(platform.messages, row.messages) << why;
        for (const std::string& caption : platform.captions) EXPECT_EQ(caption, "MOLRAvin") << why;
        EXPECT_TRUE(platform.startedProcesses.empty() && platform.openedUrls.empty()) << why;
        if (row.file) {
            EXPECT_EQ(platform.fileBytes[row.path], *row.file) << why;
            if (row.path != kShortcut) {
                EXPECT_EQ(platform.fileBytes[kShortcut], kOldBytes) << why;
            }
        } else {
            if (row.endProcess) {
                EXPECT_TRUE(platform.replacedPaths.empty()) << why;
            }
            EXPECT_EQ(platform.fileBytes.size(), 1u) << why;
            EXPECT_EQ(platform.fileBytes[kShortcut], kOldBytes) << why;
        }
        if (!row.endProcess) ExpectNextClickSaves(platform, box, address, why);
    }
}

TEST(FaultInjection, DetermineClickNeverLeavesAHalfWrittenShortcut) {
    const std::string server = "192.168.2.1";
    std::vector<ClickRow> rows = {
        {{}, {kReachable}, FileFor(server), server},
        {{Fault::SocketStartup}, {kWinsock}, std::nullopt, std::nullopt, true},
        {{Fault::SocketCleanup}, {kCleanup}, std::nullopt, std::nullopt, true},
        {{Fault::SocketCleanup, Fault::SaveFile}, {kCleanup}, std::nullopt, std::nullopt, true},
        // The derivation goes on with the empty name, which resolves to nothing.
        {{Fault::HostName}, {kHostName, kNoServer}, std::nullopt, std::nullopt},
        {{Fault::HostLookupNull}, {kNoServer}, std::nullopt, std::nullopt},
        {{Fault::HostLookupEmpty}, {kNoServer}, std::nullopt, std::nullopt},
        {{Fault::HostLookupZeroLength}, {kNoServer}, std::nullopt, std::nullopt},
        {{Fault::ProbeNo}, {kNoServer}, std::nullopt, std::nullopt},
        {{Fault::ProbeOdd}, {kNoServer}, std::nullopt, std::nullopt},
        // Only the check's answer decides; the clock only measures.
        {{Fault::ClockBackwards}, {kReachable}, FileFor(server), server},
        {{Fault::ClockBroken}, {kReachable}, FileFor(server), server},
        {{Fault::ToAnsi}, {kReachable}, Utf16(FileFor(server)), server},
        {{Fault::SaveFile}, {SaveFailed(kShortcut)}, std::nullopt, std::nullopt},
        {{Fault::SaveFile, Fault::ToAnsi}, {SaveFailed(kShortcut)}, std::nullopt, std::nullopt},
        {{Fault::ProgramFolder}, {kReachable}, FileFor(server, ""), server},
        // No folder known: the plain concatenation names the drive's root.
        {{Fault::CurrentDirectory}, {kReachable}, FileFor(server), server, false, "\\MOLRAvin.url"},
        {{Fault::CurrentDirectory, Fault::SaveFile},
         {SaveFailed("\\MOLRAvin.url")},
         std::nullopt,
         std::nullopt},
        {kStartFaults, {kReachable}, FileFor(server), server},
    };
    RunClickRows("", server, rows);
    RunClickRows("   ", server, rows);
}

TEST(FaultInjection, TypedAddressClickSavesOrKeepsTheOldShortcut) {
    const std::string typed = "10.0.0.5";
    std::vector<ClickRow> rows = {
        // clang-format off
        {{}, {kReachable}, FileFor(typed), std::nullopt},
        // A typed address needs no socket library at all.
        {kNetworkFaults, {kReachable}, FileFor(typed), std::nullopt},
        {{Fault::ProbeNo}, {kUnreachable}, FileFor(typed), std::nullopt},
        {{Fault::ProbeOdd}, {kUnreachable}, FileFor(typed), std::nullopt},
        {{Fault::ClockBackwards}, {kReachable}, FileFor(typed), std::nullopt},
        {{Fault::ClockBroken}, {kReachable}, FileFor(typed), std::nullopt},
        {{Fault::ToAnsi}, {kReachable}, Utf16(FileFor(typed)), std::nullopt},
        {{Fault::SaveFile}, {SaveFailed(kShortcut)}, std::nullopt, std::nullopt},
        {{Fault::SaveFile, Fault::ProbeNo}, {SaveFailed(kShortcut)}, std::nullopt, std::nullopt},
        {{Fault::ProgramFolder}, {kReachable}, FileFor(typed, ""), std::nullopt},
        {{Fault::CurrentDirectory}, {kReachable}, FileFor(typed), std::nullopt, false, "\\MOLRAvin.url"},
        {kStartFaults, {kReachable}, FileFor(typed), std::nullopt},
        // clang-format on
    };
    RunClickRows("  10.0.0.5 ", typed, rows);
}

}  // namespace
}  // namespace molra
