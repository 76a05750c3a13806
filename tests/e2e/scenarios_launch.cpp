// Start-up outcomes of the real program: which browser command line it
// starts, when it falls back to the URL handler, and when it asks for the
// address instead.
#include "driver/driver.h"
#include "expected_texts.h"

using namespace e2e;
using molra::expected::kBrowserFailed;
using molra::expected::kCaption;
using molra::expected::kNotice;
using molra::expected::kWindowTitle;

namespace {

class Start : public Scenario {};

const std::string kBrowser = kRecorderBrowser;
const std::string kDefaultQuoted = "\"" + std::string(kDefaultBrowser) + "\"";

void WriteShortcut(const std::string& folder, const std::string& bytes, DWORD attributes = 0) {
    WriteFileBytes(folder + "\\MOLRAvin.url", bytes, attributes);
}

// The program must start exactly one process and end; that one is started.
void RunExpectingOneStart(const LaunchOptions& options, Record& started) {
    ClearRecords();
    Process process = Launch(options);
    EXPECT_EQ(process.WaitExit(), 0u);
    process.WaitAllExited();
    const auto records = ReadRecords();
    ASSERT_EQ(records.size(), 1u);
    started = records.front();
}

void ExpectBrowserStart(const LaunchOptions& options, const std::string& module,
                        const std::string& commandLine) {
    Record started;
    RunExpectingOneStart(options, started);
    EXPECT_EQ(started.module, module);
    EXPECT_EQ(started.commandLine, commandLine);
    EXPECT_EQ(started.showState, 1);
    EXPECT_EQ(started.exePathSetting, std::nullopt) << "the browser's environment changed";
}

// The notice, then the window only after OK; closing it ends the program
// and nothing was started on the way.
void ExpectNoticeThenWindow(const LaunchOptions& options) {
    ClearRecords();
    Process process = Launch(options);
    const MsgBox box = WaitForMessageBox(process);
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.text, kNotice);
    SleepMs(300);
    EXPECT_TRUE(FindWindowOf(process, kWindowTitle) == nullptr);
    PressOk(box);
    const HWND window = WaitForWindow(process, kWindowTitle);
    PostClose(window);
    EXPECT_EQ(process.WaitExit(), 0u);
    process.WaitAllExited();
    EXPECT_EQ(ReadRecords().size(), 0u);
}

// The box that reports a failed start, then the end of the program, with no window.
void ExpectStartFailure(const LaunchOptions& options, const std::string& command) {
    // Whatever the system answers for this command line is the reason shown.
    std::wstring line = Widen(command);
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &info));
    const DWORD error = GetLastError();

    ClearRecords();
    Process process = Launch(options);
    const MsgBox box = WaitForMessageBox(process);
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.text, kBrowserFailed + "\r\n" + command + "\r\n" + SystemErrorText(error) + " (" +
                            std::to_string(error) + ")");
    EXPECT_TRUE(FindWindowOf(process, kWindowTitle) == nullptr);
    PressOk(box);
    EXPECT_EQ(process.WaitExit(), error);  // a failed start is no success
    process.WaitAllExited();
    EXPECT_EQ(ReadRecords().size(), 0u);
}

}  // namespace

TEST_F(Start, launch_argument) {
    struct Row {
        const char* label;
        std::string argument;
        std::optional<std::string> commandLine;
        std::string url;
    };
    const std::string program = "\"" + ProgramPath() + "\"";
    const Row rows[] = {
        {"address", "10.1.2.3", {}, "http://10.1.2.3"},
        {"any text, blanks kept", "server name/x?y=1 ", {}, "http://server name/x?y=1 "},
        {"blanks after the program name", "", program + "   \t 10.1.2.3", "http://10.1.2.3"},
        {"unquoted program name", "", "MOLRAvin.exe 10.9.8.7", "http://10.9.8.7"},
    };
    for (const Row& row : rows) {
        for (const bool withFile : {false, true}) {
            SCOPED_TRACE(std::string(row.label) + (withFile ? ", shortcut file present" : ""));
            const std::string folder = FreshFolder(withFile ? "with" : "without");
            if (withFile) WriteShortcut(folder, ShortcutBytes("http://192.168.77.1"));
            ExpectBrowserStart(
                {.argument = row.argument, .commandLine = row.commandLine, .workDir = folder},
                kBrowser, kBrowser + " -nomerge " + row.url);
        }
    }
}

TEST_F(Start, launch_stored_url) {
    const std::string longUrl = "http://10.1.2.3/" + std::string(284, 'a');
    ASSERT_EQ(longUrl.size(), 300u);
    for (const std::string& url : {std::string("http://192.168.77.1"), longUrl, std::string("x"),
                                   std::string("https://192.168.77.1:8443/start")}) {
        SCOPED_TRACE("URL " + url);
        const std::string folder = FreshFolder("row");
        WriteShortcut(folder, ShortcutBytes(url));
        ExpectBrowserStart({.workDir = folder}, kBrowser, kBrowser + " -nomerge " + url);
    }
}

TEST_F(Start, launch_browser_versions) {
    struct Row {
        const char* label;
        std::optional<std::string> version;  // nullopt: no Version value
        bool nomerge;
    };
    const Row rows[] = {
        {"7.0.5730.13", "7.0.5730.13", false},
        {"8.0.6001.18702", "8.0.6001.18702", true},
        {"9.11.9600.18376", "9.11.9600.18376", true},
        {"11", "11", true},
        {"missing", std::nullopt, false},
        {"abc", "abc", false},
        {"empty", "", false},
        {"99999.1", "99999.1", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("version ") + row.label);
        SetBrowserVersion(row.version);
        ExpectBrowserStart({.argument = "10.1.2.3"}, kBrowser,
                           kBrowser + (row.nomerge ? " -nomerge" : "") + " http://10.1.2.3");
    }
    SCOPED_TRACE("version 11 as a REG_DWORD");
    SetRegDword(HKEY_LOCAL_MACHINE, kVersionKey, "Version", 11);
    ExpectBrowserStart({.argument = "10.1.2.3"}, kBrowser, kBrowser + " http://10.1.2.3");
}

TEST_F(Start, launch_browser_paths) {
    // Where an unquoted command with these blanks would start instead.
    PlaceRecorder(kProgramTrap);
    PlaceRecorder("C:\\e2e\\Mein.exe");
    PlaceRecorder("C:\\e2e\\Mein Browser\\browser.exe");

    struct Row {
        const char* label;
        void (*set)();
        std::string module;
        std::string path;  // as it must appear in the command line
    };
    const Row rows[] = {
        {"no LocalServer32 key", [] { DeleteRegKey(HKEY_CLASSES_ROOT, kBrowserKey); },
         kDefaultBrowser, kDefaultQuoted},
        {"key without a default value", [] { DeleteRegValue(HKEY_CLASSES_ROOT, kBrowserKey, ""); },
         kDefaultBrowser, kDefaultQuoted},
        {"REG_EXPAND_SZ value",
         [] { SetRegExpandString(HKEY_CLASSES_ROOT, kBrowserKey, "", kRecorderBrowser); },
         kDefaultBrowser, kDefaultQuoted},
        {"quoted path", [] { SetBrowserPath("\"" + std::string(kDefaultBrowser) + "\""); },
         kDefaultBrowser, kDefaultQuoted},
        {"unquoted path with blanks", [] { SetBrowserPath(kDefaultBrowser); }, kDefaultBrowser,
         kDefaultQuoted},
        {"unquoted path with a blank outside Program Files",
         [] { SetBrowserPath("C:\\e2e\\Mein Browser\\browser.exe"); },
         "C:\\e2e\\Mein Browser\\browser.exe", "\"C:\\e2e\\Mein Browser\\browser.exe\""},
        {"REG_SZ without terminating NUL",
         [] { SetRegStringWithoutNul(HKEY_CLASSES_ROOT, kBrowserKey, "", kRecorderBrowser); },
         kRecorderBrowser, kRecorderBrowser},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        SetBrowserPath(kRecorderBrowser);
        row.set();
        // One start only: the traps above record a run of their own.
        ExpectBrowserStart({.argument = "10.1.2.3"}, row.module,
                           row.path + " -nomerge http://10.1.2.3");
    }
}

TEST_F(Start, launch_missing_browser_opens_url_handler) {
    struct Row {
        const char* label;
        std::string browser;
        std::string argument;
        std::string storedUrl;
        std::string url;
        bool plantedInWorkFolder = false;  // a copy of the browser where only a trap would be
        // NoDefaultCurrentDirectoryInExePath as the program starts; the handler gets the same.
        std::optional<std::string> exePathSetting{};
    };
    const Row rows[] = {
        {"argument", "C:\\e2e\\fehlt\\browser.exe", "10.1.2.3", "", "http://10.1.2.3"},
        {"stored https URL", "C:\\e2e\\fehlt\\browser.exe", "", "https://10.1.2.3/x",
         "https://10.1.2.3/x"},
        {"missing path with a blank", "C:\\e2e\\kein Browser\\iexplore.exe", "10.1.2.3", "",
         "http://10.1.2.3"},
        {"upper-case scheme", "C:\\e2e\\fehlt\\browser.exe", "", "HTTP://10.1.2.3",
         "HTTP://10.1.2.3"},
        // The current folder is no place to look for the browser.
        {"bare name found only in the working folder", "rec.exe", "10.1.2.3", "", "http://10.1.2.3",
         true},
        {"started with NoDefaultCurrentDirectoryInExePath=ja", "C:\\e2e\\fehlt\\browser.exe",
         "10.1.2.3", "", "http://10.1.2.3", false, "ja"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        SetBrowserPath(row.browser);
        const std::string folder = FreshFolder("row");
        if (!row.storedUrl.empty()) WriteShortcut(folder, ShortcutBytes(row.storedUrl));
        if (row.plantedInWorkFolder) PlaceRecorder(folder + "\\" + row.browser);
        LaunchOptions options{.argument = row.argument, .workDir = folder};
        if (row.exePathSetting)
            options.environment["NoDefaultCurrentDirectoryInExePath"] = *row.exePathSetting;
        Record started;
        RunExpectingOneStart(options, started);
        EXPECT_EQ(started.module, kRecorderHandler);
        EXPECT_EQ(started.exePathSetting, row.exePathSetting)
            << "the handler's environment changed";
        EXPECT_EQ(started.commandLine,
                  "\"" + std::string(kRecorderHandler) + "\" \"" + row.url + "\"");
    }
}

TEST_F(Start, launch_failure_shows_message) {
    const std::string missing = "C:\\e2e\\fehlt\\browser.exe";
    SetBrowserPath(missing);
    for (const char* url : {"ftp://10.1.2.3", "10.1.2.3"}) {
        // The handler recorder is registered for ftp too, so a wrong open would show.
        SCOPED_TRACE("stored URL " + std::string(url) + " is not for the URL handler");
        const std::string folder = FreshFolder("row");
        WriteShortcut(folder, ShortcutBytes(url));
        ExpectStartFailure({.workDir = folder}, missing + " -nomerge " + url);
    }
    SCOPED_TRACE("http URL, URL handlers broken too");
    BreakUrlHandlers();
    ExpectStartFailure({.argument = "10.1.2.3"}, missing + " -nomerge http://10.1.2.3");
}

TEST_F(Start, notice_without_shortcut_file) {
    ExpectNoticeThenWindow({});
    EXPECT_EQ(ListFolder(WorkDir()).size(), 0u);
}

TEST_F(Start, notice_when_shortcut_file_unusable) {
    struct Row {
        const char* label;
        std::string bytes;
        DWORD attributes;
    };
    const Row rows[] = {
        {"hidden file", ShortcutBytes("http://192.168.77.1"), FILE_ATTRIBUTE_HIDDEN},
        {"system file", ShortcutBytes("http://192.168.77.1"), FILE_ATTRIBUTE_SYSTEM},
        {"no URL entry", "[InternetShortcut]\r\nIconIndex=0\r\n", 0},
        {"empty URL", ShortcutBytes(""), 0},
        {"URL in another section", "[Other]\r\nURL=http://192.168.77.1\r\n", 0},
        {"empty file", "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string folder = FreshFolder("row");
        WriteShortcut(folder, row.bytes, row.attributes);
        ExpectNoticeThenWindow({.workDir = folder});
        EXPECT_EQ(ReadFileBytes(folder + "\\MOLRAvin.url"), std::optional<std::string>(row.bytes));
    }
    SCOPED_TRACE("a folder named MOLRAvin.url");
    const std::string folder = FreshFolder("row");
    MakeDirs(folder + "\\MOLRAvin.url");
    ExpectNoticeThenWindow({.workDir = folder});
}
