#include <gtest/gtest.h>

#include "fake_platform.h"
#include "startup/browser.h"
#include "startup/startup.h"

namespace molra {
namespace {

using testing::FakePlatform;

constexpr const char* kIePath = "C:\\IE\\iexplore.exe";
constexpr const char* kShortcut = "C:\\Work\\MOLRAvin.url";

FakePlatform PlatformWithBrowser(const std::string& version = "9.11.9600.18376") {
    FakePlatform platform;
    platform.SetRegistryString(RegistryRoot::ClassesRoot, kBrowserClsidKey, "", kIePath);
    platform.SetRegistryString(RegistryRoot::LocalMachine, kBrowserVersionKey, "Version", version);
    return platform;
}

TEST(ArgumentText, IsTheRawRemainderAfterProgramNameAndBlanks) {
    const struct {
        std::string commandLine, argument;
    } rows[] = {
        {"MOLRAvin.exe", ""},
        {"MOLRAvin.exe ", ""},
        {"MOLRAvin.exe 10.0.0.1", "10.0.0.1"},
        {"MOLRAvin.exe \t  10.0.0.1  ", "10.0.0.1  "},
        {"\"C:\\Program Files\\MOLRAvin\\MOLRAvin.exe\" 10.0.0.1", "10.0.0.1"},
        {"\"C:\\Program Files\\MOLRAvin\\MOLRAvin.exe\"", ""},
        {"MOLRAvin.exe \"10.0.0.1\" x", "\"10.0.0.1\" x"},
        {"\"C:\\a b\\MOLRAvin.exe\"tail 1.2.3.4", "1.2.3.4"},
        {"\"C:\\unterminated quote 1.2.3.4", ""},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ArgumentText(row.commandLine), row.argument) << row.commandLine;
}

TEST(ReadRegistryString, TakesOnlyReadableRegSzValuesUpToTheirFirstNul) {
    const struct {
        const char* what;
        std::optional<RegistryValue> stored;
        std::string expected;
    } rows[] = {
        {"missing key or value", std::nullopt, "default"},
        {"REG_EXPAND_SZ", RegistryValue{2, std::nullopt}, "default"},
        {"REG_DWORD", RegistryValue{4, std::nullopt}, "default"},
        {"second query failed", RegistryValue{kRegSz, std::nullopt}, "default"},
        {"terminated", RegistryValue{kRegSz, std::string("C:\\b.exe\0", 9)}, "C:\\b.exe"},
        {"no terminating NUL", RegistryValue{kRegSz, std::string("C:\\b.exe")}, "C:\\b.exe"},
        {"NUL inside", RegistryValue{kRegSz, std::string("ab\0cd\0", 6)}, "ab"},
        {"empty value", RegistryValue{kRegSz, std::string("\0", 1)}, ""},
        {"empty without NUL", RegistryValue{kRegSz, std::string()}, ""},
    };
    for (const auto& row : rows) {
        FakePlatform platform;
        if (row.stored) platform.registry[{RegistryRoot::LocalMachine, "K"}]["V"] = *row.stored;
        EXPECT_EQ(ReadRegistryString(platform, RegistryRoot::LocalMachine, "K", "V", "default"),
                  row.expected)
            << row.what;
    }
}

TEST(BrowserPath, FallsBackToTheDefaultPath) {
    FakePlatform platform;
    EXPECT_EQ(BrowserPath(platform), "C:\\Program Files\\Internet Explorer\\iexplore.exe");
    platform.SetRegistryString(RegistryRoot::ClassesRoot, kBrowserClsidKey, "",
                               "\"C:\\x y\\ie.exe\"");
    EXPECT_EQ(BrowserPath(platform), "\"C:\\x y\\ie.exe\"");
    platform.SetRegistryString(RegistryRoot::ClassesRoot, kBrowserClsidKey, "",
                               "%ProgramFiles%\\ie.exe", 2);
    EXPECT_EQ(BrowserPath(platform), "C:\\Program Files\\Internet Explorer\\iexplore.exe");
}

TEST(GetBrowserMajorVersion, ComparesTheFirstPieceAsANumber) {
    const struct {
        std::string text;
        std::int16_t major;
    } rows[] = {
        // clang-format off
        {"7.0.5730.13", 7},   {"8.0.6001.18702", 8}, {"9.11.9600.18376", 9}, {"11", 11},
        {"11.0", 11},         {"", 0},               {"abc", 0},             {"8abc.1", 0},
        {".8", 0},            {" 8 .0", 8},          {"+9", 9},              {"-12.0", -12},
        {"32767", 32767},     {"99999.1", 32767},    {"123456789012345678901234567890", 32767},
        {"-99999", -32768},   {"-", 0},              {"1 2", 0},
        // clang-format on
    };
    for (const auto& row : rows) EXPECT_EQ(ParseMajorVersion(row.text), row.major) << row.text;

    FakePlatform platform;
    EXPECT_EQ(GetBrowserMajorVersion(platform), 0) << "missing value";
    platform.SetRegistryString(RegistryRoot::LocalMachine, kBrowserVersionKey, "Version", "10.0.1");
    EXPECT_EQ(GetBrowserMajorVersion(platform), 10);
}

TEST(BuildBrowserCommand, AddsNomergeFromVersion8AndQuotesPathsWithBlanks) {
    const struct {
        std::string path;
        std::int16_t version;
        std::string command;
    } rows[] = {
        {"C:\\IE\\iexplore.exe", 7, "C:\\IE\\iexplore.exe http://1.2.3.4"},
        {"C:\\IE\\iexplore.exe", 8, "C:\\IE\\iexplore.exe -nomerge http://1.2.3.4"},
        {"C:\\IE\\iexplore.exe", 32767, "C:\\IE\\iexplore.exe -nomerge http://1.2.3.4"},
        {"C:\\IE\\iexplore.exe", 0, "C:\\IE\\iexplore.exe http://1.2.3.4"},
        {"C:\\Program Files\\IE\\iexplore.exe", 11,
         "\"C:\\Program Files\\IE\\iexplore.exe\" -nomerge http://1.2.3.4"},
        {"\"C:\\Program Files\\IE\\iexplore.exe\"", 11,
         "\"C:\\Program Files\\IE\\iexplore.exe\" -nomerge http://1.2.3.4"},
        {"\"C:\\Program Files\\IE\\iexplore.exe\" -embedding", 7,
         "\"C:\\Program Files\\IE\\iexplore.exe\" -embedding http://1.2.3.4"},
        {"", 7, " http://1.2.3.4"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(BuildBrowserCommand(row.path, row.version, "http://1.2.3.4"), row.command)
            << row.path;
}

TEST(FormLoad, ArgumentLaunchesWithOrWithoutShortcutFile) {
    for (bool withFile : {false, true}) {
        FakePlatform platform = PlatformWithBrowser("8.0.6001.18702");
        platform.commandLine = "MOLRAvin.exe 192.168.2.1";
        if (withFile) platform.SetShortcut(kShortcut, "http://10.9.9.1");
        EXPECT_EQ(Form_Load(platform), StartOutcome::EndProcess);
        ASSERT_EQ(platform.startedProcesses.size(), 1u);
        EXPECT_EQ(platform.startedProcesses[0].first,
                  "C:\\IE\\iexplore.exe -nomerge http://192.168.2.1");
        EXPECT_EQ(platform.startedProcesses[0].second, 1);
        EXPECT_TRUE(platform.messages.empty());
    }
}

TEST(FormLoad, ArgumentIsTakenUnchanged) {
    FakePlatform platform = PlatformWithBrowser("7.0.5730.13");
    platform.commandLine = "MOLRAvin.exe  \"a b\" c ";
    Form_Load(platform);
    ASSERT_EQ(platform.startedProcesses.size(), 1u);
    EXPECT_EQ(platform.startedProcesses[0].first, "C:\\IE\\iexplore.exe http://\"a b\" c ");
}

TEST(FormLoad, StoredUrlLaunchesWithTheWholeValue) {
    const std::string longUrl = "http://" + std::string(293, 'a');
    for (const std::string& url : {std::string("http://10.0.0.1"), longUrl, std::string("x")}) {
        FakePlatform platform = PlatformWithBrowser("11");
        platform.SetShortcut(kShortcut, url);
        EXPECT_EQ(Form_Load(platform), StartOutcome::EndProcess);
        ASSERT_EQ(platform.startedProcesses.size(), 1u);
        EXPECT_EQ(platform.startedProcesses[0].first, "C:\\IE\\iexplore.exe -nomerge " + url);
    }
}

TEST(FormLoad, MissingHiddenOrEmptyShortcutShowsTheNoticeAndLaunchesNothing) {
    const struct {
        const char* what;
        std::optional<std::uint32_t> attributes;
        std::string url;
    } rows[] = {
        {"no file", std::nullopt, "http://10.0.0.1"},
        {"hidden", 0x20 | kAttributeHidden, "http://10.0.0.1"},
        {"system", kAttributeSystem, "http://10.0.0.1"},
        {"a folder of that name", kAttributeDirectory, ""},
        {"no URL entry", 0x20, ""},
    };
    for (const auto& row : rows) {
        FakePlatform platform = PlatformWithBrowser();
        platform.profiles[kShortcut]["InternetShortcut/URL"] = row.url;
        if (row.attributes) platform.files[kShortcut] = *row.attributes;
        EXPECT_EQ(Form_Load(platform), StartOutcome::ShowWindow) << row.what;
        EXPECT_TRUE(platform.startedProcesses.empty()) << row.what;
        EXPECT_TRUE(platform.openedUrls.empty()) << row.what;
        ASSERT_EQ(platform.messages.size(), 1u) << row.what;
        EXPECT_EQ(platform.messages[0], "Bitte IP Adresse des MOLRAvin Servers ermitteln");
        EXPECT_EQ(platform.captions[0], "MOLRAvin");
    }
}

TEST(FormLoad, PreparationForTheWindowStartsOnlyOnTheNoticePathBeforeTheNotice) {
    const struct {
        const char* what;
        const char* commandLine;
        const char* storedUrl;
        bool notice;
    } rows[] = {
        {"no address", "MOLRAvin.exe", nullptr, true},
        {"argument", "MOLRAvin.exe 10.0.0.2", nullptr, false},
        {"stored address", "MOLRAvin.exe", "http://10.0.0.1", false},
    };
    for (const auto& row : rows) {
        FakePlatform platform = PlatformWithBrowser();
        platform.commandLine = row.commandLine;
        if (row.storedUrl) platform.SetShortcut(kShortcut, row.storedUrl);
        int calls = 0;
        std::size_t messagesAtCall = 99;
        Form_Load(platform, [&] {
            ++calls;
            messagesAtCall = platform.messages.size();
        });
        EXPECT_EQ(calls, row.notice ? 1 : 0) << row.what;
        if (row.notice) {
            EXPECT_EQ(messagesAtCall, 0u) << row.what;
        }
        EXPECT_EQ(platform.messages.size(), row.notice ? 1u : 0u) << row.what;
    }
}

TEST(FormLoad, ShortcutIsLookedUpInTheCurrentDirectory) {
    FakePlatform platform = PlatformWithBrowser();
    platform.currentDirectory = "D:\\";
    platform.SetShortcut("D:\\\\MOLRAvin.url", "http://10.0.0.1");
    EXPECT_EQ(Form_Load(platform), StartOutcome::EndProcess);
    EXPECT_EQ(platform.startedProcesses.size(), 1u);
}

TEST(FormLoad, DefaultBrowserAndNoVersionMeanNoNomerge) {
    FakePlatform platform;
    platform.commandLine = "MOLRAvin.exe 10.0.0.1";
    Form_Load(platform);
    ASSERT_EQ(platform.startedProcesses.size(), 1u);
    EXPECT_EQ(platform.startedProcesses[0].first,
              "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" http://10.0.0.1");
}

TEST(FormLoad, BrowserThatCannotStartFallsBackToTheDefaultHandler) {
    FakePlatform platform = PlatformWithBrowser();
    platform.commandLine = "MOLRAvin.exe 10.0.0.1";
    platform.startProcessError = 2;
    std::uint32_t exitCode = 7;
    EXPECT_EQ(Form_Load(platform, {}, &exitCode), StartOutcome::EndProcess);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(platform.openedUrls, std::vector<std::string>{"http://10.0.0.1"});
    EXPECT_TRUE(platform.messages.empty());
}

TEST(FormLoad, BrowserFailureIsReportedWhenNoFallbackWorks) {
    const struct {
        const char* what;
        std::string url;
        std::uint32_t openError;
        std::size_t opened;
    } rows[] = {
        {"handler fails too", "http://10.0.0.1", 1155, 1},
        {"https handler fails too", "HTTPS://10.0.0.1", 5, 1},
        {"not a web address", "file:///C:/x", 0, 0},
        {"scheme only as a prefix", "httpx://a", 0, 0},
    };
    for (const auto& row : rows) {
        FakePlatform platform = PlatformWithBrowser("7");
        platform.SetShortcut(kShortcut, row.url);
        platform.startProcessError = 2;
        platform.openError = row.openError;
        std::uint32_t exitCode = 0;
        EXPECT_EQ(Form_Load(platform, {}, &exitCode), StartOutcome::EndProcess) << row.what;
        EXPECT_EQ(exitCode, 2u) << row.what;  // the start's own error, not the handler's
        EXPECT_EQ(platform.openedUrls.size(), row.opened) << row.what;
        ASSERT_EQ(platform.messages.size(), 1u) << row.what;
        EXPECT_EQ(platform.messages[0],
                  "Der Browser konnte nicht gestartet werden.\r\nC:\\IE\\iexplore.exe " + row.url +
                      "\r\nFehler 2")
            << row.what;
        EXPECT_EQ(platform.captions[0], "MOLRAvin");
    }
}

}  // namespace
}  // namespace molra
