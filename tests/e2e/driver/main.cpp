// e2e_driver.exe: the scenarios as GoogleTest tests, plus the rig's own set-up.
//   e2e_driver.exe [--program=<unix path>] [--gtest_filter=<Fixture.scenario>] [gtest flags]
//   e2e_driver.exe --setup [--program=<unix path>] --recorder=<unix path> [--shim=<unix path>]...
// Scenarios run the fixture's copy of the program unless --program names another.
//   e2e_driver.exe --baseline   (sets the registry and files every scenario starts from)
#include <cstdio>
#include <thread>

#include "driver/internal.h"

namespace e2e {

namespace {

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

// A hang anywhere must end in a failure, never in a stuck test run: while a
// scenario runs, the watchdog ends it and everything it started once its
// time is up.
void StartWatchdog() {
    std::thread([] {
        for (;;) {
            Sleep(100);
            const ULONGLONG deadline = detail::ScenarioDeadline().load();
            if (deadline == 0 || GetTickCount64() < deadline) continue;
            Print("FAIL " + detail::State().scenario + ": still running after " +
                  std::to_string(kScenarioTimeout / 1000) + " s, everything it started is ended\n");
            detail::TerminateTrackedJobs();
            ExitProcess(124);
        }
    }).detach();
}

// Ends the test at every fatal failure, not just the function that saw it:
// a helper's ASSERT_* or a failed wait stops the whole scenario, as the rest
// of it would only build on what is missing. AssertionException is the type
// GoogleTest takes as "reported already".
class EndTestOnFatalFailure : public ::testing::EmptyTestEventListener {
    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (result.fatally_failed()) throw ::testing::AssertionException(result);
    }
};

}  // namespace

}  // namespace e2e

int wmain(int argc, wchar_t** argv) {
    // A crash of anything started from here must fail a test, not wait for a click.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    using namespace e2e;

    // GoogleTest takes its own flags out; the rig's are left.
    ::testing::InitGoogleTest(&argc, argv);
    // Appended last, so that the result printer has reported the failure first.
    ::testing::UnitTest::GetInstance()->listeners().Append(new EndTestOnFatalFailure);

    detail::State().program = kProgramCopy;
    std::string built = BuiltProgramPath();
    bool setup = false;
    bool baseline = false;
    std::string recorder;
    std::vector<std::string> shims;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = Narrow(argv[i]);
        if (arg == "--setup") setup = true;
        else if (arg == "--baseline")
            baseline = true;
        else if (arg.rfind("--program=", 0) == 0)
            built = detail::State().program = WindowsPath(arg.substr(10));
        else if (arg.rfind("--recorder=", 0) == 0)
            recorder = arg.substr(11);
        else if (arg.rfind("--shim=", 0) == 0)
            shims.push_back(arg.substr(7));
        else {
            Print("unknown argument " + Quote(arg) +
                  "\nusage: e2e_driver.exe [--program=<path>] [gtest flags] | --baseline | "
                  "--setup --recorder=<path> [--shim=<path>]...\n");
            return 2;
        }
    }

    if (setup) {
        try {
            detail::SetUpPrefix(built, recorder, shims);
        } catch (const ::testing::AssertionException&) {
        }
        const bool failed = ::testing::UnitTest::GetInstance()->Failed();
        Print(failed ? "prefix setup FAILED\n" : "prefix ready\n");
        return failed ? 1 : 0;
    }
    if (baseline) {
        try {
            detail::ApplyBaseline();
        } catch (const ::testing::AssertionException&) {
            return 1;
        }
        return 0;
    }
    StartWatchdog();
    return RUN_ALL_TESTS();
}
