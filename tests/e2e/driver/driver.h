// End-to-end test driver: runs the real MOLRAvin.exe inside the dedicated
// Wine prefix that the e2e.prefix_setup test builds, and looks at what it does.
//
// A scenario is a GoogleTest test of a tests/e2e/scenarios_*.cpp file,
//     TEST_F(<the file's fixture>, some_name) { ... }
// with a fixture derived from Scenario. CMake makes each one the CTest test
// "e2e.<fixture>.some_name", which runs only that test in a fresh state:
//   - registry baseline: the browser (LocalServer32) is kRecorderBrowser as a
//     REG_SZ, the browser version is kBaselineVersion, the http, https and
//     ftp open handlers are kRecorderHandler, no shim overrides are set, no
//     LogPixels (so 96 DPI), the prefix's own system colours;
//   - no C:\Program.exe, a new empty WorkDir() and no RecordLog().
// The program under test is kProgramCopy, the build's MOLRAvin.exe as the
// fixture found it, so a rebuild during a run cannot change it half-way.
// The prefix's windows are unmanaged (X11 Driver\Managed = N): there is no
// window manager under Xvfb, and Wine would wait 2 s for one whenever a
// window is hidden.
// Every wait has a timeout (kTimeout unless given); a scenario that takes
// longer than kScenarioTimeout is stopped. Whatever a scenario launched is
// ended when it finishes, however it finishes.
//
// Checks are GoogleTest's. Every fatal failure ends the scenario, also one in
// a helper function: ASSERT_*, FAIL(), and the waits and the file and
// registry calls below, which report at the scenario's line that called them.
//
// Texts are UTF-8 everywhere in this API; paths are Windows paths inside
// the prefix (C:\...) unless a name says Unix.
#pragma once

#include <windows.h>

#include "platform/win32/owners_win.h"
#include "platform/win32/text_win.h"
#include "rig/rig.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <source_location>
#include <string>
#include <vector>

namespace e2e {

// ---- the rig's fixed places -------------------------------------------------

inline constexpr DWORD kTimeout = 15000;          // ms, default for every wait
inline constexpr DWORD kScenarioTimeout = 90000;  // ms, whole scenario

inline constexpr const char* kBrowserKey =  // under HKEY_CLASSES_ROOT
    "CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32";
inline constexpr const char* kVersionKey = "SOFTWARE\\Microsoft\\Internet Explorer";  // HKLM
inline constexpr const char* kBaselineVersion = "9.11.9600.18376";  // a fresh prefix's own
inline constexpr const char* kDefaultBrowser = "C:\\Program Files\\Internet Explorer\\iexplore.exe";

// Recorder copies the fixture puts into the prefix. kDefaultBrowser is one too.
inline constexpr const char* kRecorder = "C:\\e2e\\bin\\recorder.exe";        // spare, to copy
inline constexpr const char* kRecorderBrowser = "C:\\e2e\\bin\\browser.exe";  // LocalServer32
inline constexpr const char* kRecorderHandler = "C:\\e2e\\bin\\handler.exe";  // URL handler
// Where Windows and Wine look first for an unquoted "C:\Program Files\..." command.
inline constexpr const char* kProgramTrap = "C:\\Program.exe";

inline constexpr const char* kProgramCopy = "C:\\e2e\\program\\MOLRAvin.exe";

// ---- scenarios ------------------------------------------------------------------

// The fixture of every scenario: SetUp applies the baseline above and starts
// the scenario's clock, TearDown removes what PlaceRecorder placed.
class Scenario : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// The running test's name; it names WorkDir() and RecordLog().
const std::string& ScenarioName();

// A fatal failure reported at where; ends the scenario.
using Where = std::source_location;
[[noreturn]] void FailAt(const Where& where, const std::string& what);

std::string Quote(const std::string& text);  // C-style escaped, in double quotes

// ---- text -------------------------------------------------------------------------

using molra::Narrow;
using molra::Widen;

// The system's own text for an error code, trimmed of its line end.
std::string SystemErrorText(DWORD code);

// ---- files (fatal on failure unless the result says otherwise) ----------------------

std::string WorkDir();  // C:\e2e\work\<scenario>, fresh and empty at the start
// A fresh, empty folder WorkDir()\name, for one row of a table.
std::string FreshFolder(const std::string& name, Where where = Where::current());
void MakeDirs(const std::string& path, Where where = Where::current());
// Clears attributes first; missing is fine.
void RemoveTree(const std::string& path, Where where = Where::current());
// Creates or replaces the file with exactly bytes, then applies attributes
// (FILE_ATTRIBUTE_HIDDEN etc.; 0 leaves them normal).
void WriteFileBytes(const std::string& path, const std::string& bytes, DWORD attributes = 0,
                    Where where = Where::current());
// nullopt when missing.
std::optional<std::string> ReadFileBytes(const std::string& path, Where where = Where::current());
DWORD FileAttributes(const std::string& path);  // INVALID_FILE_ATTRIBUTES when missing
bool FileExists(const std::string& path);
// Replaces, makes folders.
void CopyFileTo(const std::string& from, const std::string& to, Where where = Where::current());
std::vector<std::string> ListFolder(const std::string& path);  // names, sorted, no . or ..
// The prefix file's path on the host.
std::string UnixPath(const std::string& windowsPath, Where where = Where::current());
std::string WindowsPath(const std::string& unixPath);  // a host path as Wine maps it

// ---- registry (fatal on failure; deleting what is missing is fine) ----------------------

// Any type with exactly these data bytes.
void SetRegValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                 const std::string& data, Where where = Where::current());
void SetRegString(HKEY root, const std::string& subKey, const std::string& name,
                  const std::string& value,
                  Where where = Where::current());  // REG_SZ, NUL-terminated
void SetRegExpandString(HKEY root, const std::string& subKey, const std::string& name,
                        const std::string& value,
                        Where where = Where::current());  // REG_EXPAND_SZ, NUL-terminated
void SetRegStringWithoutNul(HKEY root, const std::string& subKey, const std::string& name,
                            const std::string& value,
                            Where where = Where::current());  // REG_SZ, no terminating NUL
void SetRegDword(HKEY root, const std::string& subKey, const std::string& name, DWORD value,
                 Where where = Where::current());
void DeleteRegValue(HKEY root, const std::string& subKey, const std::string& name,
                    Where where = Where::current());
// With everything below it.
void DeleteRegKey(HKEY root, const std::string& subKey, Where where = Where::current());
std::string Utf16Bytes(const std::string& utf8);  // UTF-16LE, no NUL, for SetRegValue

// The browser's path as a REG_SZ LocalServer32 default value.
void SetBrowserPath(const std::string& path, Where where = Where::current());
// The browser's version text; nullopt removes the value.
void SetBrowserVersion(const std::optional<std::string>& version, Where where = Where::current());
// http and https get no open command, so the default-handler open fails.
void BreakUrlHandlers(Where where = Where::current());
// Makes the program under test load the test-only wsock32.dll, sensapi.dll
// and iphlpapi.dll from system32 (Wine's per-application DLL overrides), or
// its normal ones again. No echo then ever leaves the machine.
void UseShims(bool on, Where where = Where::current());
// System colours (COLOR_* index, colour) for programs started from now on;
// under Wine those already running keep theirs. The baseline restores the
// session's own.
void SetSystemColours(const std::map<int, COLORREF>& colours, Where where = Where::current());
void RestoreSystemColours(Where where = Where::current());
// The shims, but Wine's own ICMP echo, which really sends: fails the scenario
// unless every address the wsock32 shim resolves to (MOLRA_SHIM_ADDRESSES in
// environment, the program's launch environment) is a loopback one and no
// name has an answer of its own (MOLRA_SHIM_NAMES).
void UseRealLoopbackEcho(const std::map<std::string, std::string>& environment,
                         Where where = Where::current());
// A copy of the recorder at path; removed again when the scenario ends.
void PlaceRecorder(const std::string& path, Where where = Where::current());

// ---- processes ------------------------------------------------------------------------

struct LaunchOptions {
    // Appended to the quoted program path after one blank, when not empty.
    std::string argument{};
    // The whole raw command line instead of program + argument; the
    // program started is still `program`.
    std::optional<std::string> commandLine{};
    std::string workDir{};  // WorkDir() when empty
    std::string program{};  // ProgramPath() when empty
    // Added to (or, with an empty value, removed from) the driver's
    // environment. MOLRA_RECORD is always set to RecordLog().
    std::map<std::string, std::string> environment{};
};

// A launched process and everything it starts (they share a job object).
// The destructor ends all of them that still run.
class Process {
public:
    Process() = default;
    Process(molra::UniqueHandle process, molra::UniqueHandle job, DWORD pid);
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    DWORD pid() const { return pid_; }
    bool Running() const;
    DWORD ExitCode() const;  // STILL_ACTIVE while it runs
    // The exit code. Fails the scenario on timeout, and at once when the
    // process shows a message box meanwhile (its text is reported).
    DWORD WaitExit(DWORD timeout = kTimeout, Where where = Where::current());
    // Waits until the process and every process it started have ended.
    void WaitAllExited(DWORD timeout = kTimeout, Where where = Where::current());
    void Terminate();  // the whole tree

private:
    void Release();

    molra::UniqueHandle process_;
    molra::UniqueHandle job_;
    DWORD pid_ = 0;
};

// The MOLRAvin.exe under test (kProgramCopy unless --program says otherwise).
// To run a copy elsewhere: CopyFileTo(ProgramPath(), path) and
// LaunchOptions::program = path.
std::string ProgramPath();
Process Launch(const LaunchOptions& options = {}, Where where = Where::current());

// ---- windows of a process ---------------------------------------------------------------

// The windows, boxes and keys of rig.h (WindowText, ClassName, ChildWindows,
// FocusOf, PressKey, ...) work on any process; these wait and fail the scenario.

// A visible message box (dialog class #32770) of the process.
std::optional<MsgBox> FindMessageBox(const Process& process);
MsgBox WaitForMessageBox(const Process& process, DWORD timeout = kTimeout,
                         Where where = Where::current());
// Presses OK and waits until the box is gone.
void PressOk(const MsgBox& box, DWORD timeout = kTimeout, Where where = Where::current());

// A visible top-level window of the process with exactly this title; nullptr when none.
HWND FindWindowOf(const Process& process, const std::string& title);
HWND WaitForWindow(const Process& process, const std::string& title, DWORD timeout = kTimeout,
                   Where where = Where::current());
void PostClose(HWND window);    // WM_CLOSE, as the frame's close button sends
void ClickButton(HWND button);  // BM_CLICK, posted

// ---- the program's files and the test DLLs ---------------------------------------------

// A shortcut file as the program writes one for url.
std::string ShortcutBytes(const std::string& url);

using Environment = std::map<std::string, std::string>;
// C:\e2e\logs\<scenario>-shim.log, where ShimEnvironment has the test DLLs log.
std::string ShimLogPath();
// settings with changes put over them, and MOLRA_SHIM_LOG set to
// ShimLogPath(): for LaunchOptions::environment.
Environment ShimEnvironment(Environment settings, const Environment& changes = {});

// ---- the recorder -----------------------------------------------------------------------

struct Record {
    std::string module;       // the recorder copy that ran
    std::string commandLine;  // its raw GetCommandLineW()
    int showState = -1;       // STARTUPINFO.wShowWindow, -1 when not given
    // Its NoDefaultCurrentDirectoryInExePath; nullopt when unset.
    std::optional<std::string> exePathSetting;
};
std::string RecordLog();  // C:\e2e\logs\<scenario>.log
// Fails on a log the recorder did not write.
std::vector<Record> ReadRecords(Where where = Where::current());
// Waits until at least count records are there; fails on timeout.
std::vector<Record> WaitForRecords(std::size_t count, DWORD timeout = kTimeout,
                                   Where where = Where::current());
void ClearRecords(Where where = Where::current());
std::ostream& operator<<(std::ostream& out, const Record& record);

// Waits, handling the driver's own window messages meanwhile (whoever
// sends to them would stall otherwise).
void SleepMs(DWORD ms);
// Polls condition until it holds (true) or timeout ms have passed (false).
bool WaitFor(const std::function<bool()>& condition, DWORD timeout = kTimeout);

}  // namespace e2e
