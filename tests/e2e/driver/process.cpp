// Launching the program under test, its windows, and the recorder's log.
#include <cwchar>
#include <cwctype>
#include <utility>

#include "driver/internal.h"

namespace e2e {

// ---- processes --------------------------------------------------------------------------

namespace {

// Windows keeps the block sorted by name, case-insensitively.
std::wstring EnvironmentBlock(const std::map<std::string, std::string>& changes) {
    auto upper = [](std::wstring text) {
        for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
        return text;
    };
    std::map<std::wstring, std::wstring> variables;  // key: upper-case name
    std::map<std::wstring, std::wstring> names;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
        const std::wstring text = entry;
        const auto equals = text.find(L'=', 1);  // "=C:=C:\..." entries start with '='
        if (equals == std::wstring::npos) continue;
        const std::wstring name = text.substr(0, equals);
        variables[upper(name)] = text.substr(equals + 1);
        names[upper(name)] = name;
    }
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : changes) {
        const std::wstring wideName = Widen(name);
        if (value.empty()) {
            variables.erase(upper(wideName));
        } else {
            variables[upper(wideName)] = Widen(value);
            names[upper(wideName)] = wideName;
        }
    }
    std::wstring result;
    for (const auto& [key, value] : variables) result += names[key] + L"=" + value + L'\0';
    result += L'\0';
    return result;
}

}  // namespace

Process::Process(molra::UniqueHandle process, molra::UniqueHandle job, DWORD pid)
    : process_(std::move(process)), job_(std::move(job)), pid_(pid) {
    detail::TrackJob(job_.get());
}

Process::Process(Process&& other) noexcept
    : process_(std::move(other.process_)),
      job_(std::move(other.job_)),
      pid_(std::exchange(other.pid_, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Release();
        process_ = std::move(other.process_);
        job_ = std::move(other.job_);
        pid_ = std::exchange(other.pid_, 0);
    }
    return *this;
}

Process::~Process() { Release(); }

void Process::Release() {
    if (job_) {
        Terminate();
        detail::UntrackJob(job_.get());
    }
    job_.reset();
    process_.reset();
}

bool Process::Running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

DWORD Process::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_.get(), &code);
    return code;
}

DWORD Process::WaitExit(DWORD timeout, Where where) {
    if (!process_) FailAt(where, "WaitExit on a process that was not launched");
    const ULONGLONG deadline = GetTickCount64() + timeout;
    while (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        SleepMs(25);
        if (const auto box = FindMessageBox(*this)) {
            FailAt(where, "expected the process to end, but it shows a message box: caption " +
                              Quote(box->caption) + ", text " + Quote(box->text));
        }
        if (GetTickCount64() > deadline) {
            FailAt(where, "process still running after " + std::to_string(timeout) + " ms" +
                              detail::DescribeWindowsOf(pid_));
        }
    }
    detail::Log(std::to_string(pid_) + " ended with " + std::to_string(ExitCode()));
    return ExitCode();
}

namespace {

// " <pid> <image>" for each process in the job, so a failure says who is left.
std::string JobProcesses(HANDLE job) {
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[63];
    } ids{};
    ids.list.NumberOfAssignedProcesses = 64;
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
        return " (not listed: error " + std::to_string(GetLastError()) + ")";
    std::string text;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        const auto pid = static_cast<DWORD>(ids.list.ProcessIdList[i]);
        text += " " + std::to_string(pid);
        const molra::UniqueHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        if (!process) continue;
        wchar_t image[MAX_PATH];
        DWORD length = MAX_PATH;
        if (QueryFullProcessImageNameW(process.get(), 0, image, &length))
            text += " " + Narrow(std::wstring(image, length));
    }
    return text;
}

}  // namespace

void Process::WaitAllExited(DWORD timeout, Where where) {
    if (!job_) return;
    const ULONGLONG deadline = GetTickCount64() + timeout;
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        if (!QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &info,
                                       sizeof info, nullptr))
            FailAt(where, "cannot query the job of process " + std::to_string(pid_));
        if (info.ActiveProcesses == 0) {
            detail::Log("everything started by " + std::to_string(pid_) + " has ended");
            return;
        }
        if (GetTickCount64() > deadline) {
            FailAt(where, std::to_string(info.ActiveProcesses) + " processes started by " +
                              std::to_string(pid_) + " still run after " + std::to_string(timeout) +
                              " ms:" + JobProcesses(job_.get()));
        }
        SleepMs(25);
    }
}

void Process::Terminate() {
    if (job_) TerminateJobObject(job_.get(), 1);
    if (process_) WaitForSingleObject(process_.get(), 5000);
}

Process Launch(const LaunchOptions& options, Where where) {
    const std::string program = options.program.empty() ? ProgramPath() : options.program;
    std::string line = options.commandLine.value_or(
        "\"" + program + "\"" + (options.argument.empty() ? "" : " " + options.argument));
    std::map<std::string, std::string> environment = options.environment;
    environment["MOLRA_RECORD"] = RecordLog();
    std::wstring block = EnvironmentBlock(environment);
    const std::wstring folder = Widen(options.workDir.empty() ? WorkDir() : options.workDir);

    molra::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) FailAt(where, "cannot create a job object");
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);

    auto started = StartProcess(options.commandLine ? Widen(program) : std::wstring(), Widen(line),
                                folder, CREATE_SUSPENDED, block.data());
    if (!started) {
        const DWORD code = GetLastError();
        FailAt(where, "cannot start " + Quote(line) + " in " + Quote(Narrow(folder)) + ": " +
                          SystemErrorText(code));
    }
    const HANDLE processHandle = started->process.get();
    const HANDLE jobHandle = job.get();
    Process process(std::move(started->process), std::move(job), started->pid);
    // In the job before its first instruction, so everything it starts is in it too.
    if (!AssignProcessToJobObject(jobHandle, processHandle)) {
        TerminateProcess(processHandle, 1);
        FailAt(where, "cannot put the process into a job");
    }
    ResumeThread(started->thread.get());
    detail::Log("started " + std::to_string(started->pid) + ": " + Quote(line) + " in " +
                Quote(Narrow(folder)));
    return process;
}

// ---- windows ------------------------------------------------------------------------------

std::optional<MsgBox> FindMessageBox(const Process& process) {
    return FindMessageBox(process.pid());
}

MsgBox WaitForMessageBox(const Process& process, DWORD timeout, Where where) {
    const ULONGLONG deadline = GetTickCount64() + timeout;
    for (;;) {
        if (auto box = FindMessageBox(process)) {
            detail::Log("message box " + Quote(box->caption) + ": " + Quote(box->text));
            return *box;
        }
        if (!process.Running()) {
            FailAt(where, "expected a message box, but the process ended with exit code " +
                              std::to_string(process.ExitCode()));
        }
        if (GetTickCount64() > deadline) {
            FailAt(where, "no message box after " + std::to_string(timeout) + " ms" +
                              detail::DescribeWindowsOf(process.pid()));
        }
        SleepMs(25);
    }
}

void PressOk(const MsgBox& box, DWORD timeout, Where where) {
    if (!ClickOk(box.window)) FailAt(where, "message box " + Quote(box.text) + " has no OK button");
    detail::Log("pressed OK");
    const ULONGLONG deadline = GetTickCount64() + timeout;
    while (IsWindow(box.window) && IsWindowVisible(box.window)) {
        if (GetTickCount64() > deadline)
            FailAt(where, "message box " + Quote(box.text) + " still open after pressing OK");
        SleepMs(25);
    }
}

HWND FindWindowOf(const Process& process, const std::string& title) {
    for (HWND window : TopLevelWindowsOf(process.pid())) {
        if (IsWindowVisible(window) && WindowText(window) == title) return window;
    }
    return nullptr;
}

HWND WaitForWindow(const Process& process, const std::string& title, DWORD timeout, Where where) {
    const ULONGLONG deadline = GetTickCount64() + timeout;
    for (;;) {
        if (HWND window = FindWindowOf(process, title)) {
            detail::Log("window " + Quote(title));
            return window;
        }
        if (!process.Running())
            FailAt(where, "expected window " + Quote(title) + ", but the process ended");
        if (GetTickCount64() > deadline) {
            FailAt(where, "no window " + Quote(title) + " after " + std::to_string(timeout) +
                              " ms" + detail::DescribeWindowsOf(process.pid()));
        }
        SleepMs(25);
    }
}

void PostClose(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    detail::Log("posted WM_CLOSE");
}

void ClickButton(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

namespace detail {

std::string DescribeWindowsOf(DWORD pid) {
    std::string text;
    for (HWND window : TopLevelWindowsOf(pid)) {
        if (!IsWindowVisible(window)) continue;
        text += "\n    window " + Quote(ClassName(window)) + " " + Quote(WindowText(window));
        if (HWND label = GetDlgItem(window, 0xFFFF)) text += " text " + Quote(WindowText(label));
    }
    return text.empty() ? "; it shows no window" : "; its windows:" + text;
}

}  // namespace detail

// ---- the recorder's log ---------------------------------------------------------------------

std::string RecordLog() { return "C:\\e2e\\logs\\" + ScenarioName() + ".log"; }

void ClearRecords(Where where) { RemoveTree(RecordLog(), where); }

namespace {

// "name <n>:<n bytes>\n" at pos; advances pos.
std::string ReadField(const std::string& log, std::size_t& pos, const std::string& name,
                      const Where& where) {
    const std::string head = name + " ";
    if (log.compare(pos, head.size(), head) != 0)
        FailAt(where, "recorder log: expected field " + name);
    pos += head.size();
    const std::size_t colon = log.find(':', pos);
    if (colon == std::string::npos) FailAt(where, "recorder log: no length for " + name);
    const std::size_t length = std::stoul(log.substr(pos, colon - pos));
    if (colon + 1 + length + 1 > log.size() || log[colon + 1 + length] != '\n')
        FailAt(where, "recorder log: field " + name + " is cut short");
    pos = colon + 1 + length + 1;
    return log.substr(colon + 1, length);
}

void Expect(const std::string& log, std::size_t& pos, const std::string& text, const Where& where) {
    if (log.compare(pos, text.size(), text) != 0)
        FailAt(where, "recorder log: expected " + Quote(text));
    pos += text.size();
}

}  // namespace

std::vector<Record> ReadRecords(Where where) {
    const auto log = ReadFileBytes(RecordLog(), where);
    std::vector<Record> records;
    if (!log) return records;
    std::size_t pos = 0;
    while (pos < log->size()) {
        Expect(*log, pos, "record\n", where);
        Record record;
        record.module = ReadField(*log, pos, "module", where);
        record.commandLine = ReadField(*log, pos, "cmdline", where);
        record.showState = std::stoi(ReadField(*log, pos, "show", where));
        const std::string exePath = ReadField(*log, pos, "exepath", where);
        if (exePath.starts_with("=")) record.exePathSetting = exePath.substr(1);
        else if (exePath != "-")
            FailAt(where, "recorder log: exepath " + Quote(exePath));
        Expect(*log, pos, "end\n", where);
        records.push_back(record);
    }
    return records;
}

std::vector<Record> WaitForRecords(std::size_t count, DWORD timeout, Where where) {
    const ULONGLONG deadline = GetTickCount64() + timeout;
    for (;;) {
        auto records = ReadRecords(where);
        if (records.size() >= count) return records;
        if (GetTickCount64() > deadline) {
            FailAt(where, "expected " + std::to_string(count) + " recorder runs within " +
                              std::to_string(timeout) + " ms, saw " +
                              std::to_string(records.size()));
        }
        SleepMs(25);
    }
}

std::ostream& operator<<(std::ostream& out, const Record& record) {
    return out << "{module " << Quote(record.module) << ", command line "
               << Quote(record.commandLine) << ", show " << record.showState << ", exepath "
               << (record.exePathSetting ? "=" + Quote(*record.exePathSetting) : "unset") << "}";
}

}  // namespace e2e
