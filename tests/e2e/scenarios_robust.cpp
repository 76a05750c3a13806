// Hostile surroundings for the real program: DLLs planted next to it and in
// its working folder, and bad input in the shortcut file, the argument and
// the registry. Whatever comes in, the program ends cleanly and leaves the
// user's shortcut file as it was.
#include "driver/driver.h"  // windows.h, which psapi.h needs first

#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <random>

#include "expected_texts.h"

using namespace e2e;
using molra::expected::kBrowserFailed;
using molra::expected::kCaption;
using molra::expected::kCommand1;
using molra::expected::kNotice;
using molra::expected::kReachable;
using molra::expected::kWindowTitle;

namespace {

class Robust : public Scenario {};

const std::string kBrowser = kRecorderBrowser;
const std::string kHandler = kRecorderHandler;
const std::string kDefaultQuoted = "\"" + std::string(kDefaultBrowser) + "\"";
const std::string kSystem32 = "c:\\windows\\system32\\";
// Where Wine cuts a longer command line; Windows refuses one instead.
constexpr std::size_t kWineCommandLimit = 32766;

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

std::string ShortcutPath(const std::string& folder) { return folder + "\\MOLRAvin.url"; }

// The variables are set in the driver itself for as long as this lives, so
// that a process started with the inherited environment sees them.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const std::map<std::string, std::string>& values) {
        for (const auto& [name, value] : values) {
            wchar_t old[4096];
            const DWORD length = GetEnvironmentVariableW(Widen(name).c_str(), old, 4096);
            saved_.emplace_back(name, length && length < 4096
                                          ? std::optional<std::wstring>(std::wstring(old, length))
                                          : std::nullopt);
            SetEnvironmentVariableW(Widen(name).c_str(), Widen(value).c_str());
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_)
            SetEnvironmentVariableW(Widen(name).c_str(), value ? value->c_str() : nullptr);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::wstring>>> saved_;
};

// ---- a clean end ------------------------------------------------------------------------

// The rig turns Wine's crash dialog off: a crashing program ends at once
// with the exception code as its exit code (robust_crash_is_seen shows it),
// so the exact exit code is what tells a crash.
void RequireCrashDialogOff() {
    molra::RegKey key;
    DWORD value = 1, size = sizeof value, type = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\WineDbg", 0, KEY_QUERY_VALUE,
                      key.put()) == ERROR_SUCCESS) {
        RegQueryValueExW(key.get(), L"ShowCrashDialog", nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &size);
    }
    ASSERT_TRUE(type == REG_DWORD && value == 0);
}

// Named, not a lambda: a 32-bit build needs a CALLBACK function here.
BOOL CALLBACK CollectCrashDialog(HWND window, LPARAM param) {
    if (IsWindowVisible(window)) {
        const std::string title = WindowText(window);
        if (title.find("Program Error") != std::string::npos ||
            Lower(title).find("winedbg") != std::string::npos)
            reinterpret_cast<std::vector<std::string>*>(param)->push_back(title);
    }
    return TRUE;
}

// Wine's crash dialog, should one show after all.
std::vector<std::string> CrashDialogs() {
    std::vector<std::string> found;
    EnumWindows(CollectCrashDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

void CheckCleanEnd(DWORD exitCode) { EXPECT_EQ(Hex(exitCode), Hex(0)); }

// ---- outcomes of one start ----------------------------------------------------------------

struct Outcome {
    enum Kind { Browser, Handler, Notice, FailureBox } kind;
    std::string module{};       // Browser: the recorder copy that must run
    std::string commandLine{};  // Browser: its whole command line; Handler: the URL
    std::string boxText{};      // FailureBox
};

Outcome Starts(const std::string& module, const std::string& commandLine) {
    return {Outcome::Browser, module, commandLine};
}
Outcome StartsBrowser(const std::string& tail) { return Starts(kBrowser, kBrowser + " " + tail); }
Outcome OpensHandler(const std::string& url) { return {Outcome::Handler, kHandler, url}; }
Outcome AsksForAddress() { return {Outcome::Notice}; }
Outcome ReportsFailure(const std::string& text) { return {Outcome::FailureBox, "", "", text}; }

std::string DescribeLong(const std::string& text) {
    if (text.size() <= 300) return Quote(text);
    return Quote(text.substr(0, 150)) + " ... " + Quote(text.substr(text.size() - 100)) + " (" +
           std::to_string(text.size()) + " bytes)";
}

// For EXPECT_PRED_FORMAT2: texts too long to print whole.
::testing::AssertionResult SameText(const char* actualExpression, const char* expectedExpression,
                                    const std::string& actual, const std::string& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    return ::testing::AssertionFailure()
           << actualExpression << " and " << expectedExpression << " differ at byte " << at
           << "\n    actual:   " << DescribeLong(actual)
           << "\n    expected: " << DescribeLong(expected);
}

// Runs the program once and checks the whole outcome: what it started, what
// it showed, and that it ended cleanly.
void ExpectOutcome(const LaunchOptions& options, const Outcome& expected,
                   DWORD timeout = kTimeout) {
    ClearRecords();
    Process process = Launch(options);
    switch (expected.kind) {
        case Outcome::Browser:
        case Outcome::Handler: {
            CheckCleanEnd(process.WaitExit(timeout));
            process.WaitAllExited(timeout);
            const auto records = ReadRecords();
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ(records.front().module, expected.module);
            if (expected.kind == Outcome::Browser) {
                EXPECT_PRED_FORMAT2(SameText, records.front().commandLine, expected.commandLine)
                    << "browser command line";
                EXPECT_EQ(records.front().showState, 1);
            } else {
                EXPECT_PRED_FORMAT2(SameText, records.front().commandLine,
                                    "\"" + kHandler + "\" \"" + expected.commandLine + "\"")
                    << "handler command line";
            }
            return;
        }
        case Outcome::Notice: {
            const MsgBox box = WaitForMessageBox(process, timeout);
            EXPECT_EQ(box.caption, kCaption);
            EXPECT_EQ(box.text, kNotice);
            PressOk(box);
            PostClose(WaitForWindow(process, kWindowTitle));
            break;
        }
        case Outcome::FailureBox: {
            const MsgBox box = WaitForMessageBox(process, timeout);
            EXPECT_EQ(box.caption, kCaption);
            EXPECT_PRED_FORMAT2(SameText, box.text, expected.boxText) << "message";
            EXPECT_TRUE(FindWindowOf(process, kWindowTitle) == nullptr);
            PressOk(box, timeout);
            // The exit code is the error the message names: "... (2)".
            const DWORD exitCode = process.WaitExit(timeout);
            EXPECT_TRUE(exitCode != 0 && box.text.ends_with(" (" + std::to_string(exitCode) + ")"));
            process.WaitAllExited();
            EXPECT_EQ(ReadRecords().size(), 0u);
            return;
        }
    }
    CheckCleanEnd(process.WaitExit(timeout));
    process.WaitAllExited();
    EXPECT_EQ(ReadRecords().size(), 0u);
}

// The failure box's text for a command the system refuses to start.
void FailureText(const std::string& command, std::string& text) {
    if (const auto started = StartProcess({}, Widen(command), {}, CREATE_SUSPENDED)) {
        TerminateProcess(started->process.get(), 1);
        FAIL() << "the system starts " << DescribeLong(command);
    }
    const DWORD error = GetLastError();
    text = kBrowserFailed + "\r\n" + command + "\r\n" + SystemErrorText(error) + " (" +
           std::to_string(error) + ")";
}

// ---- loaded modules ---------------------------------------------------------------------------

void LoadedModules(const Process& process, std::vector<std::string>& paths) {
    const molra::UniqueHandle owner(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process.pid()));
    ASSERT_TRUE(owner);
    const HANDLE handle = owner.get();
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    const BOOL listed = EnumProcessModulesEx(handle, modules.data(),
                                             static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                                             &needed, LIST_MODULES_ALL);
    modules.resize(std::min<std::size_t>(modules.size(), needed / sizeof(HMODULE)));
    paths.clear();
    for (HMODULE module : modules) {
        wchar_t path[32768];
        const DWORD length = GetModuleFileNameExW(handle, module, path, 32768);
        paths.push_back(Narrow(std::wstring(path, length)));
    }
    ASSERT_TRUE(listed);
}

std::string Listing(const std::vector<std::string>& paths) {
    std::string text;
    for (const auto& path : paths) text += "\n        " + path;
    return text;
}

// No module but the program itself may come from these folders.
void CheckNothingFrom(const std::vector<std::string>& modules, const std::string& program,
                      const std::vector<std::string>& folders) {
    for (const auto& module : modules) {
        if (Lower(module) == Lower(program)) continue;
        for (const auto& folder : folders) {
            if (Lower(Folder(module)) == Lower(folder))
                ADD_FAILURE() << "loaded from a planted folder: " << module
                              << "\n    all modules:" << Listing(modules);
        }
    }
}

// The module named dll must be loaded, and from the system's own place.
void CheckFromSystem(const std::vector<std::string>& modules, const std::string& dll) {
    std::vector<std::string> found;
    for (const auto& module : modules)
        if (Lower(module.substr(module.find_last_of('\\') + 1)) == dll) found.push_back(module);
    SCOPED_TRACE(dll + " loaded as" + Listing(found));
    EXPECT_EQ(found.size(), 1u);
    for (const auto& module : found) {
        const std::string path = Lower(module);
        // Common controls 6 is a side-by-side assembly: Windows keeps it in WinSxS.
        const bool system = path == kSystem32 + dll ||
                            (dll == "comctl32.dll" && path.rfind("c:\\windows\\winsxs\\", 0) == 0);
        EXPECT_TRUE(system);
    }
}

// ---- planted DLLs ------------------------------------------------------------------------------

// The shims in the prefix's system32 record every call.
const char* const kRecordingDlls[] = {"wsock32.dll", "sensapi.dll"};
// Other DLLs the program asks for by name, planted as copies of a shim: not
// one of them may end up in the process.
const char* const kDecoyDlls[] = {"comctl32.dll", "windowscodecs.dll", "shell32.dll"};
// Wine's own DLLs look for these in the program's folder first (its user32
// imports version.dll, its imm32 delay-loads ole32.dll), before or beside
// anything the program does; Windows keeps ole32 among its known DLLs. So
// they are planted in the working folder only, where no search may reach.
const char* const kWorkFolderDecoys[] = {"ole32.dll", "version.dll"};

std::string OverrideKey(const std::string& exe) {
    return "Software\\Wine\\AppDefaults\\" + exe + "\\DllOverrides";
}

// Wine runs its own code for a DLL of a name it knows, even when it finds a
// planted file first; an override for the planted file's own path (never the
// bare name, which would pick system32's shims) makes Wine load whatever
// file it finds there, as Windows would.
class PlantedFilesLoadable {
public:
    PlantedFilesLoadable(std::vector<std::string> exes, std::vector<std::string> files)
        : exes_(std::move(exes)) {
        for (const auto& file : files) names_.push_back(file.substr(0, file.size() - 4));
        for (const auto& exe : exes_)
            for (const auto& name : names_)
                SetRegString(HKEY_CURRENT_USER, OverrideKey(exe), name, "native");
    }
    ~PlantedFilesLoadable() {
        for (const auto& exe : exes_)
            for (const auto& name : names_)
                DeleteRegValue(HKEY_CURRENT_USER, OverrideKey(exe), name);
    }
    PlantedFilesLoadable(const PlantedFilesLoadable&) = delete;
    PlantedFilesLoadable& operator=(const PlantedFilesLoadable&) = delete;

private:
    std::vector<std::string> exes_;
    std::vector<std::string> names_;
};

// If a planted shim answered, discovery would find 198.51.100.1 and call it
// unreachable: the program's message would differ from what Wine's own DLLs give.
const std::string kShimAddress = "198.51.100.1";
Environment PlantedShimEnvironment() {
    return ShimEnvironment({{"MOLRA_SHIM_HOSTNAME", "planted-shim"},
                            {"MOLRA_SHIM_ADDRESSES", "198.51.100.77"},
                            {"MOLRA_SHIM_REACH", "*=0"}});
}

// The program copied to a folder of its own, recording DLLs and decoys next
// to it and in the working folder, every planted file loadable.
struct Planted {
    std::string programFolder = FreshFolder("Programm");
    std::string workFolder = FreshFolder("Arbeit");
    std::string program = programFolder + "\\MOLRAvin.exe";
    std::vector<std::string> files;
    std::optional<PlantedFilesLoadable> loadable;

    Planted() {
        CopyFileTo(ProgramPath(), program);
        const std::string shim = "C:\\windows\\system32\\wsock32.dll";
        for (const std::string& folder : {programFolder, workFolder}) {
            for (const char* dll : kRecordingDlls)
                Put(std::string("C:\\windows\\system32\\") + dll, folder + "\\" + dll);
            for (const char* dll : kDecoyDlls) Put(shim, folder + "\\" + dll);
        }
        for (const char* dll : kWorkFolderDecoys) Put(shim, workFolder + "\\" + dll);
        loadable.emplace(std::vector<std::string>{"MOLRAvin.exe", "rundll32.exe"}, files);
        CheckPlantedCopiesRun();
    }

    void Put(const std::string& from, const std::string& to) {
        CopyFileTo(from, to);
        files.push_back(to);
    }

    // Proof that a planted copy runs when anything loads it: rundll32 (which
    // loads the file it is given) calls WSACleanup of each planted wsock32.
    void CheckPlantedCopiesRun() {
        RemoveTree(ShimLogPath());
        for (const std::string& folder : {programFolder, workFolder}) {
            const std::string dll = folder + "\\wsock32.dll";
            Process run = Launch({.commandLine = "rundll32.exe \"" + dll + "\",WSACleanup",
                                  .program = "C:\\windows\\system32\\rundll32.exe",
                                  .environment = PlantedShimEnvironment()});
            run.WaitExit();
        }
        EXPECT_EQ(ReadFileBytes(ShimLogPath()),
                  std::optional<std::string>("WSACleanup -> 0\nWSACleanup -> 0\n"));
        RemoveTree(ShimLogPath());
    }
};

HWND FindChild(HWND window, const std::string& kind, const std::string& text) {
    for (HWND child : ChildWindows(window))
        if (Lower(ClassName(child)) == kind && (text.empty() || WindowText(child) == text))
            return child;
    return nullptr;
}

// ---- the whole life of a process, seen by a debugger
// ---------------------------------------------

struct DebuggedRun {
    DWORD exitCode = STILL_ACTIVE;
    std::vector<std::string> modules;  // every image mapped, the program's own first
    std::vector<std::string> boxes;    // texts of the message boxes answered with OK
    std::vector<std::string> crashes;  // exceptions nobody handled
};

std::string ReadRemoteName(HANDLE process, void* pointerToName) {
    void* name = nullptr;
    SIZE_T got = 0;
    if (!pointerToName || !ReadProcessMemory(process, pointerToName, &name, sizeof name, &got) ||
        !name)
        return {};
    std::wstring text;
    wchar_t chunk[64];
    for (auto* at = static_cast<char*>(name); text.size() < 32768; at += sizeof chunk) {
        if (!ReadProcessMemory(process, at, chunk, sizeof chunk, &got) || got == 0) break;
        const std::size_t count = got / sizeof(wchar_t);
        const std::size_t end = std::find(chunk, chunk + count, L'\0') - chunk;
        text.append(chunk, end);
        if (end < count) break;
    }
    return Narrow(text);
}

std::string PathOfHandle(HANDLE file) {
    if (!file) return {};
    wchar_t path[32768];
    const DWORD length = GetFinalPathNameByHandleW(file, path, 32768, FILE_NAME_NORMALIZED);
    std::string text = length && length < 32768 ? Narrow(std::wstring(path, length)) : "";
    if (text.rfind("\\\\?\\", 0) == 0) text.erase(0, 4);
    return text;
}

// Starts the program as a debugger would and records every DLL it maps from
// its first instruction to its end, so even a start that ends at once is
// seen whole. Message boxes are answered with OK.
void RunUnderDebugger(const std::string& program, const std::string& argument,
                      const std::string& workDir, DebuggedRun& run) {
    auto started = StartProcess(Widen(program), Widen("\"" + program + "\" " + argument),
                                Widen(workDir), DEBUG_ONLY_THIS_PROCESS);
    ASSERT_TRUE(started);
    const HANDLE debugged = started->process.get();
    molra::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    AssignProcessToJobObject(job.get(), debugged);
    // Ends it, and whatever it started, however the scenario leaves.
    Process process(std::move(started->process), std::move(job), started->pid);

    run = {};
    const ULONGLONG deadline = GetTickCount64() + kTimeout;
    bool initialBreak = true;
    HWND answered = nullptr;
    for (;;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 50)) {
            if (GetTickCount64() > deadline) FAIL() << "the debugged program still runs";
            // Posted, not waited for: the program may stop at a debug event meanwhile.
            const auto box = FindMessageBox(process);
            // A box whose text did not come back is read again at the next pause.
            if (box && box->window != answered && box->text != "<no answer>") {
                run.boxes.push_back(box->text);
                ClickOk(box->window);
                answered = box->window;
            }
            continue;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT: {
                const auto& created = event.u.CreateProcessInfo;
                std::string name = ReadRemoteName(debugged, created.lpImageName);
                run.modules.push_back(name.empty() ? PathOfHandle(created.hFile) : name);
                const molra::UniqueHandle image(created.hFile);
                break;
            }
            case LOAD_DLL_DEBUG_EVENT: {
                const auto& loaded = event.u.LoadDll;
                std::string name = ReadRemoteName(debugged, loaded.lpImageName);
                if (name.empty()) name = PathOfHandle(loaded.hFile);
                run.modules.push_back(name.empty() ? "<no name>" : name);
                const molra::UniqueHandle image(loaded.hFile);
                break;
            }
            case EXCEPTION_DEBUG_EVENT: {
                const auto& exception = event.u.Exception;
                const DWORD code = exception.ExceptionRecord.ExceptionCode;
                if (code == EXCEPTION_BREAKPOINT && initialBreak) {
                    initialBreak = false;
                    break;
                }
                if (!exception.dwFirstChance) run.crashes.push_back(Hex(code));
                status = DBG_EXCEPTION_NOT_HANDLED;
                break;
            }
            case EXIT_PROCESS_DEBUG_EVENT:
                run.exitCode = event.u.ExitProcess.dwExitCode;
                ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
                process.WaitAllExited();
                return;
            default: break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
}

}  // namespace

// ==== planted DLLs
// ==================================================================================

// The window path needs wsock32 and sensapi for the click and comctl32,
// ole32 and windowscodecs for the window; copies lie next to the program and
// in the working folder (see kWorkFolderDecoys for ole32). Wine's own DLLs answer
// the click: the machine's address (last field 1), reachable (Wine's sensapi
// is a stub that sends nothing). A planted shim would have answered
// 198.51.100.1, unreachable, and logged its calls.
TEST_F(Robust, robust_planted_dlls_window_path) {
    RequireCrashDialogOff();
    Planted planted;
    Process process = Launch({.workDir = planted.workFolder,
                              .program = planted.program,
                              .environment = PlantedShimEnvironment()});
    const MsgBox notice = WaitForMessageBox(process);
    EXPECT_EQ(notice.text, kNotice);
    PressOk(notice);
    const HWND window = WaitForWindow(process, kWindowTitle);
    const HWND command1 = FindChild(window, "button", kCommand1);
    const HWND text1 = FindChild(window, "edit", "");
    ASSERT_TRUE(command1 && text1);
    ASSERT_EQ(WindowText(text1), "");
    ClickButton(command1);
    const MsgBox result = WaitForMessageBox(process, 30000);
    EXPECT_EQ(result.text, kReachable);

    // While the window and the answer are open everything the click needed is loaded.
    std::vector<std::string> modules;
    LoadedModules(process, modules);
    SCOPED_TRACE("modules:" + Listing(modules));
    EXPECT_TRUE(std::find_if(modules.begin(), modules.end(), [&](const std::string& m) {
                    return Lower(m) == Lower(planted.program);
                }) != modules.end());
    CheckNothingFrom(modules, planted.program, {planted.programFolder, planted.workFolder});
    for (const char* dll :
         {"wsock32.dll", "sensapi.dll", "comctl32.dll", "ole32.dll", "windowscodecs.dll"})
        CheckFromSystem(modules, dll);
    PressOk(result);

    // Wine's answer went into Text1 and the file.
    const std::string address = WindowText(text1);
    SCOPED_TRACE("Text1 " + Quote(address));
    EXPECT_TRUE(address.size() >= 7 && address.ends_with(".1") && address != kShimAddress);
    const auto saved = ReadFileBytes(ShortcutPath(planted.workFolder));
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->substr(0, saved->find("IconIndex")),
              "[InternetShortcut]\r\nURL=http://" + address + "\r\n");
    EXPECT_EQ(ReadFileBytes(ShimLogPath()), std::optional<std::string>());
    PostClose(window);
    CheckCleanEnd(process.WaitExit());
}

// The launch path, seen from its first instruction: whether the browser
// starts, the URL handler takes over, or the failure message shows, no DLL
// is mapped from the program's folder or the working folder.
TEST_F(Robust, robust_planted_dlls_launch_path) {
    RequireCrashDialogOff();
    Planted planted;
    ScopedEnvironment environment(PlantedShimEnvironment());
    ScopedEnvironment record({{"MOLRA_RECORD", RecordLog()}});
    const std::string missing = "C:\\e2e\\fehlt\\browser.exe";
    std::string refused;
    FailureText(missing + " -nomerge http://10.1.2.3", refused);
    struct Row {
        const char* label;
        std::function<void()> set;
        std::string module;  // the recorder that must run; empty: none
        std::vector<std::string> boxes;
    };
    const Row rows[] = {
        {"browser starts", [] {}, kBrowser, {}},
        {"browser missing, URL handler opens", [&] { SetBrowserPath(missing); }, kHandler, {}},
        {"browser and handler missing, message",
         [&] {
             SetBrowserPath(missing);
             BreakUrlHandlers();
         },
         "",
         {refused}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        row.set();
        ClearRecords();
        DebuggedRun run;
        RunUnderDebugger(planted.program, "10.1.2.3", planted.workFolder, run);
        SCOPED_TRACE("modules:" + Listing(run.modules));
        EXPECT_EQ(run.exitCode != 0, !row.boxes.empty());  // a failed start is no success
        EXPECT_EQ(run.crashes.size(), 0u);
        EXPECT_EQ(run.boxes.size(), row.boxes.size());
        for (std::size_t i = 0; i < run.boxes.size() && i < row.boxes.size(); ++i)
            EXPECT_PRED_FORMAT2(SameText, run.boxes[i], row.boxes[i]) << "message";
        ASSERT_TRUE(!run.modules.empty());
        EXPECT_EQ(Lower(run.modules.front()), Lower(planted.program));
        EXPECT_TRUE(run.modules.size() >= 5);  // ntdll, kernel32, user32 ... at the least
        CheckNothingFrom(run.modules, planted.program, {planted.programFolder, planted.workFolder});
        const auto records = ReadRecords();
        EXPECT_EQ(records.size(), row.module.empty() ? 0u : 1u);
        if (!records.empty()) {
            EXPECT_EQ(records.front().module, row.module);
        }
    }
    EXPECT_EQ(ReadFileBytes(ShimLogPath()), std::optional<std::string>());
}

// What every row relies on: a crash ends the program at once, with the
// exception code as exit code and no dialog. A thread started at an invalid
// address makes it fault while the notice waits.
TEST_F(Robust, robust_crash_is_seen) {
    RequireCrashDialogOff();
    Process process = Launch();
    WaitForMessageBox(process);
    const molra::UniqueHandle handle(OpenProcess(PROCESS_ALL_ACCESS, FALSE, process.pid()));
    ASSERT_TRUE(handle);
    const molra::UniqueHandle thread(
        CreateRemoteThread(handle.get(), nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(16),
                           nullptr, 0, nullptr));
    ASSERT_TRUE(thread);
    const ULONGLONG deadline = GetTickCount64() + kTimeout;
    while (process.Running() && GetTickCount64() < deadline) SleepMs(25);
    EXPECT_TRUE(!process.Running());
    EXPECT_EQ(Hex(process.ExitCode()), Hex(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(CrashDialogs().size(), 0u);
}

// ==== the shortcut file
// ==============================================================================

TEST_F(Robust, robust_shortcut_files) {
    RequireCrashDialogOff();
    std::mt19937 random(20240611);  // its sequence is fixed by the standard
    std::string noise(4096, '\0');
    for (char& byte : noise) byte = static_cast<char>(random() & 0xFF);

    const std::string utf16 =
        "\xFF\xFE" + Utf16Bytes(
                         "[InternetShortcut]\r\nURL=http://10.1.2.3/Gr\xC3\xB6\xC3\x9F"
                         "e\r\nIconIndex=0\r\n");
    const std::string megabyteUrl = "http://10.1.2.3/" + std::string(1 << 20, 'a');
    std::string junk;
    for (int i = 0; junk.size() < (1u << 20); ++i)
        junk += "Zeile " + std::to_string(i) + " ohne Bedeutung =;[\r\n";

    struct Row {
        const char* label;
        std::string bytes;
        Outcome outcome;
    };
    const Row rows[] = {
        // No section the profile reader can find.
        {"4 KiB of random bytes", noise, AsksForAddress()},
        // The platform's profile reader decodes UTF-16LE with its byte-order mark.
        {"UTF-16LE with BOM", utf16,
         StartsBrowser("-nomerge http://10.1.2.3/Gr\xC3\xB6\xC3\x9F"
                       "e")},
        {"1 MiB of junk lines, then the section", junk + ShortcutBytes("http://10.1.2.3"),
         StartsBrowser("-nomerge http://10.1.2.3")},
        // As Windows reads it: the first entry wins.
        {"URL twice", "[InternetShortcut]\r\nURL=http://10.0.0.1\r\nURL=http://10.0.0.2\r\n",
         StartsBrowser("-nomerge http://10.0.0.1")},
        {"section twice",
         "[InternetShortcut]\r\nURL=http://10.0.0.1\r\n[InternetShortcut]\r\nURL=http://"
         "10.0.0.2\r\n",
         StartsBrowser("-nomerge http://10.0.0.1")},
        // Entries before any section header belong to no section.
        {"no section header", "URL=http://10.1.2.3\r\nIconIndex=0\r\n", AsksForAddress()},
        {"random bytes, then the section", noise + "\r\n" + ShortcutBytes("http://10.1.2.3"),
         StartsBrowser("-nomerge http://10.1.2.3")},
        // Read whole and passed on whole. Windows refuses a command line of more
        // than 32,767 characters (the URL handler would then take over); Wine
        // starts the process with the first 32,766 of them.
        {"1 MiB URL", ShortcutBytes(megabyteUrl),
         StartsBrowser(
             ("-nomerge " + megabyteUrl).substr(0, kWineCommandLimit - kBrowser.size() - 1))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string folder = FreshFolder("row");
        WriteFileBytes(ShortcutPath(folder), row.bytes);
        ExpectOutcome({.workDir = folder}, row.outcome, 60000);
        EXPECT_TRUE(ReadFileBytes(ShortcutPath(folder)) == row.bytes);
    }
}

// ==== the argument
// ====================================================================================

TEST_F(Robust, robust_arguments) {
    RequireCrashDialogOff();
    const std::string long30k(30000, '7');
    struct Row {
        const char* label;
        std::string argument;
        Outcome outcome;
    };
    const Row rows[] = {
        // Fits in a command line (32,767 characters) with the browser's path in front.
        {"30,000 characters", long30k, StartsBrowser("-nomerge http://" + long30k)},
        // Taken raw after "http://", quotes and all.
        {"in quotes", "\"10.0.0.1\"", StartsBrowser("-nomerge http://\"10.0.0.1\"")},
        {"quote inside, blank", "a\"b c", StartsBrowser("-nomerge http://a\"b c")},
        {"lone quote", "\"", StartsBrowser("-nomerge http://\"")},
        {"outside ASCII",
         "Gr\xC3\xB6\xC3\x9F"
         "e\xE2\x82\xAC",
         StartsBrowser("-nomerge http://Gr\xC3\xB6\xC3\x9F"
                       "e\xE2\x82\xAC")},
    };
    const std::string userFile = ShortcutBytes("http://192.168.77.1");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string folder = FreshFolder("row");
        WriteFileBytes(ShortcutPath(folder), userFile);
        ExpectOutcome({.argument = row.argument, .workDir = folder}, row.outcome);
        EXPECT_TRUE(ReadFileBytes(ShortcutPath(folder)) == userFile);
    }
}

// ==== registry values
// ===================================================================================

namespace {

std::string Dword(DWORD value, bool bigEndian = false) {
    std::string bytes(reinterpret_cast<const char*>(&value), 4);
    if (bigEndian) std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

std::string Qword(unsigned long long value) {
    return std::string(reinterpret_cast<const char*>(&value), 8);
}

std::string Nul() { return std::string(2, '\0'); }

// A user's shortcut file in the working folder, which no start may touch.
class UserFile {
public:
    UserFile() { WriteFileBytes(ShortcutPath(WorkDir()), bytes_); }
    ~UserFile() { EXPECT_TRUE(ReadFileBytes(ShortcutPath(WorkDir())) == bytes_); }
    UserFile(const UserFile&) = delete;
    UserFile& operator=(const UserFile&) = delete;

private:
    const std::string bytes_ = ShortcutBytes("http://192.168.77.1");
};

struct TypedValue {
    const char* label;
    DWORD type;
    std::string data;
};

// Every type, each holding the text (or the number) a careless reader
// would take; only the REG_SZ is taken.
std::vector<TypedValue> EveryType(const std::string& text, DWORD number) {
    const std::string utf16 = Utf16Bytes(text);
    return {
        {"REG_NONE", REG_NONE, utf16 + Nul()},
        {"REG_SZ", REG_SZ, utf16 + Nul()},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, utf16 + Nul()},
        {"REG_BINARY", REG_BINARY, utf16 + Nul()},
        {"REG_DWORD", REG_DWORD, Dword(number)},
        {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, Dword(number, true)},
        {"REG_LINK", REG_LINK, utf16},
        {"REG_MULTI_SZ", REG_MULTI_SZ, utf16 + Nul() + Nul()},
        {"REG_QWORD", REG_QWORD, Qword(number)},
    };
}

}  // namespace

TEST_F(Robust, robust_registry_types) {
    RequireCrashDialogOff();
    const UserFile userFile;
    const std::string other = "C:\\e2e\\bin\\other.exe";
    PlaceRecorder(other);
    for (const TypedValue& value : EveryType(other, 1)) {
        SCOPED_TRACE(std::string("browser path as ") + value.label);
        SetRegValue(HKEY_CLASSES_ROOT, kBrowserKey, "", value.type, value.data);
        ExpectOutcome({.argument = "10.1.2.3"},
                      value.type == REG_SZ
                          ? Starts(other, other + " -nomerge http://10.1.2.3")
                          : Starts(kDefaultBrowser, kDefaultQuoted + " -nomerge http://10.1.2.3"));
    }
    SetBrowserPath(kBrowser);
    for (const TypedValue& value : EveryType("11", 11)) {
        SCOPED_TRACE(std::string("version as ") + value.label);
        SetRegValue(HKEY_LOCAL_MACHINE, kVersionKey, "Version", value.type, value.data);
        ExpectOutcome({.argument = "10.1.2.3"},
                      StartsBrowser(std::string(value.type == REG_SZ ? "-nomerge " : "") +
                                    "http://10.1.2.3"));
    }
}

TEST_F(Robust, robust_registry_strings) {
    RequireCrashDialogOff();
    const UserFile userFile;
    const std::string other = "C:\\e2e\\bin\\other.exe";
    PlaceRecorder(other);
    // What an empty path leaves as the first word, in the working folder.
    PlaceRecorder(WorkDir() + "\\-nomerge.exe");
    // Half a million characters: 1 MiB of UTF-16.
    const std::string huge = "C:\\e2e\\" + std::string((1 << 19) - 11, 'b') + ".exe";
    struct Row {
        const char* label;
        DWORD type;
        std::string data;
        Outcome outcome;
    };
    const Row rows[] = {
        // Read whole; no process starts from it, so the URL handler takes over.
        {"1 MiB REG_SZ", REG_SZ, Utf16Bytes(huge) + Nul(), OpensHandler("http://10.1.2.3")},
        {"without terminating NUL", REG_SZ, Utf16Bytes(other),
         Starts(other, other + " -nomerge http://10.1.2.3")},
        {"NUL inside: cut there", REG_SZ, Utf16Bytes(other) + Nul() + Utf16Bytes("junk") + Nul(),
         Starts(other, other + " -nomerge http://10.1.2.3")},
        // Empty path: the command line " -nomerge http://10.1.2.3" names no
        // program (the empty text before the blank), so none starts, not even
        // the -nomerge.exe beside it; the URL handler takes over.
        {"empty, NUL only", REG_SZ, Nul(), OpensHandler("http://10.1.2.3")},
        {"empty, no data at all", REG_SZ, "", OpensHandler("http://10.1.2.3")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("browser path ") + row.label);
        SetRegValue(HKEY_CLASSES_ROOT, kBrowserKey, "", row.type, row.data);
        ExpectOutcome({.argument = "10.1.2.3"}, row.outcome, 60000);
    }
    // Without a URL handler the message shows the command line whole, as
    // long as it is, and with its leading blank.
    BreakUrlHandlers();
    for (const auto& [label, path] :
         {std::pair<std::string, std::string>{"1 MiB REG_SZ", huge}, {"empty", ""}}) {
        SCOPED_TRACE("browser path " + label + ", no URL handler");
        SetRegValue(HKEY_CLASSES_ROOT, kBrowserKey, "", REG_SZ, Utf16Bytes(path) + Nul());
        std::string refused;
        FailureText(path + " -nomerge http://10.1.2.3", refused);
        ExpectOutcome({.argument = "10.1.2.3"}, ReportsFailure(refused), 60000);
    }
    SetBrowserPath(kBrowser);
    struct VersionRow {
        const char* label;
        std::string data;
        bool nomerge;
    };
    const VersionRow versions[] = {
        {"1 MiB of digits", Utf16Bytes(std::string(1 << 19, '9')) + Nul(), true},
        {"without terminating NUL", Utf16Bytes("8"), true},
        {"NUL inside: cut there", Utf16Bytes("7") + Nul() + Utf16Bytes("11") + Nul(), false},
        {"empty, NUL only", Nul(), false},
        {"empty, no data at all", "", false},
    };
    for (const VersionRow& row : versions) {
        SCOPED_TRACE(std::string("version ") + row.label);
        SetRegValue(HKEY_LOCAL_MACHINE, kVersionKey, "Version", REG_SZ, row.data);
        ExpectOutcome(
            {.argument = "10.1.2.3"},
            StartsBrowser(std::string(row.nomerge ? "-nomerge " : "") + "http://10.1.2.3"));
    }
}
