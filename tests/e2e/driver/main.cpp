// e2e_driver.exe: runs one scenario per call, so CTest can report each.
//   e2e_driver.exe [--program=<unix path>] <scenario>
//   e2e_driver.exe --setup [--program=<unix path>] --recorder=<unix path> [--shim=<unix path>]...
// Scenarios run the fixture's copy of the program unless --program names another.
//   e2e_driver.exe --baseline   (sets the registry and files every scenario starts from)
//   e2e_driver.exe --list
//   e2e_driver.exe --expect <name>...   (the names CMake found must be the ones registered)
#include <cstdio>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "driver/internal.h"

namespace e2e {

namespace detail {

RunState& State() {
    static RunState state;
    return state;
}

namespace {

std::mutex jobsMutex;
std::set<HANDLE> liveJobs;

}  // namespace

void TrackJob(HANDLE job) {
    std::lock_guard<std::mutex> lock(jobsMutex);
    liveJobs.insert(job);
}

void UntrackJob(HANDLE job) {
    std::lock_guard<std::mutex> lock(jobsMutex);
    liveJobs.erase(job);
}

void TerminateTrackedJobs() {
    std::lock_guard<std::mutex> lock(jobsMutex);
    for (HANDLE job : liveJobs) TerminateJobObject(job, 1);
}

void Log(const std::string& line) {
    static const ULONGLONG start = GetTickCount64();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%7.3f s] ", (GetTickCount64() - start) / 1000.0);
    std::fputs((stamp + line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace detail

namespace {

std::map<std::string, ScenarioFn>& Scenarios() {
    static std::map<std::string, ScenarioFn> scenarios;
    return scenarios;
}

std::vector<std::string>& DuplicateNames() {
    static std::vector<std::string> names;
    return names;
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// build/windows/tests/e2e/e2e_driver.exe -> build/windows/MOLRAvin.exe
std::string BuiltProgramPath() {
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self, length);
    folder.resize(folder.find_last_of(L'\\'));
    const std::wstring relative = folder + L"\\..\\..\\MOLRAvin.exe";
    wchar_t full[MAX_PATH];
    GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return Narrow(full);
}

int RunScenario(const std::string& name) {
    const auto found = Scenarios().find(name);
    if (found == Scenarios().end()) {
        Print("unknown scenario: " + name + "\n");
        return 2;
    }
    detail::State().scenario = name;
    detail::Log("scenario " + name);

    // A hang anywhere must end in a failure, never in a stuck test run.
    std::thread([] {
        Sleep(kScenarioTimeout);
        Print("FAIL " + detail::State().scenario + ": still running after " +
              std::to_string(kScenarioTimeout / 1000) + " s, everything it started is ended\n");
        detail::TerminateTrackedJobs();
        ExitProcess(124);
    }).detach();

    try {
        detail::ApplyBaseline();
        found->second();
    } catch (const detail::ScenarioAborted&) {
    } catch (const std::exception& error) {
        ReportFailure("?", 0, std::string("unexpected exception: ") + error.what());
    }
    detail::RemovePlacedFiles();

    const int failures = detail::State().failures;
    Print((failures ? "FAIL " : "PASS ") + name +
          (failures ? " (" + std::to_string(failures) + " failed checks)" : "") + "\n");
    return failures ? 1 : 0;
}

int ExpectScenarios(const std::vector<std::string>& expected) {
    int problems = 0;
    for (const auto& name : DuplicateNames()) {
        Print("scenario registered twice: " + name + "\n");
        ++problems;
    }
    const std::set<std::string> wanted(expected.begin(), expected.end());
    for (const auto& [name, fn] : Scenarios()) {
        if (!wanted.count(name)) {
            Print("scenario " + name + " has no CTest test (write SCENARIO(" + name +
                  ") at the start of a line)\n");
            ++problems;
        }
    }
    for (const auto& name : wanted) {
        if (!Scenarios().count(name)) {
            Print("CTest test e2e." + name + " has no registered scenario\n");
            ++problems;
        }
    }
    if (problems == 0) Print(std::to_string(Scenarios().size()) + " scenarios registered\n");
    return problems ? 1 : 0;
}

}  // namespace

bool RegisterScenario(const char* name, ScenarioFn fn) {
    if (!Scenarios().emplace(name, fn).second) DuplicateNames().push_back(name);
    return true;
}

const std::string& ScenarioName() { return detail::State().scenario; }

std::string ProgramPath() { return detail::State().program; }

void ReportFailure(const char* file, int line, const std::string& what) {
    auto& state = detail::State();
    ++state.failures;
    std::string report = std::string(file) + ":" + std::to_string(line) + ": " + what + "\n";
    for (const auto& trace : state.traces) report += "    in: " + trace + "\n";
    Print(report);
}

void Abort() { throw detail::ScenarioAborted{}; }

void Fail(const char* file, int line, const std::string& what) {
    ReportFailure(file, line, what);
    Abort();
}

void FailAt(const Where& where, const std::string& what) {
    Fail(where.file_name(), static_cast<int>(where.line()), what);
}

Trace::Trace(std::string label) { detail::State().traces.push_back(std::move(label)); }
Trace::~Trace() { detail::State().traces.pop_back(); }

}  // namespace e2e

int wmain(int argc, wchar_t** argv) {
    // A crash of anything started from here must fail a test, not wait for a click.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    using namespace e2e;

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
    detail::State().program = kProgramCopy;
    std::string built = BuiltProgramPath();

    bool setup = false;
    bool baseline = false;
    bool list = false;
    bool expect = false;
    std::string recorder;
    std::vector<std::string> shims;
    std::vector<std::string> names;
    for (const auto& arg : args) {
        if (arg == "--setup") setup = true;
        else if (arg == "--baseline") baseline = true;
        else if (arg == "--list") list = true;
        else if (arg == "--expect") expect = true;
        else if (arg.rfind("--program=", 0) == 0)
            built = detail::State().program = WindowsPath(arg.substr(10));
        else if (arg.rfind("--recorder=", 0) == 0) recorder = arg.substr(11);
        else if (arg.rfind("--shim=", 0) == 0) shims.push_back(arg.substr(7));
        else names.push_back(arg);
    }

    if (setup) {
        try {
            return detail::SetUpPrefix(built, recorder, shims);
        } catch (const detail::ScenarioAborted&) {
            return 1;
        }
    }
    if (baseline) {
        detail::ApplyBaseline();
        return 0;
    }
    if (list) {
        for (const auto& [name, fn] : Scenarios()) Print(name + "\n");
        return 0;
    }
    if (expect) return ExpectScenarios(names);
    if (names.size() != 1) {
        Print("usage: e2e_driver.exe [--program=<path>] <scenario> | --baseline | --list | "
              "--expect <names> | --setup --recorder=<path> [--shim=<path>]...\n");
        return 2;
    }
    return RunScenario(names[0]);
}
