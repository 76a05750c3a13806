// The scenario's fixture, its state and its step log.
#include <cstdio>
#include <mutex>
#include <set>

#include "driver/internal.h"

namespace e2e {

namespace detail {

RunState& State() {
    static RunState state;
    return state;
}

std::atomic<ULONGLONG>& ScenarioDeadline() {
    static std::atomic<ULONGLONG> deadline{0};
    return deadline;
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

void Scenario::SetUp() {
    detail::State().scenario = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    detail::Log("scenario " + detail::State().scenario);
    detail::ScenarioDeadline() = GetTickCount64() + kScenarioTimeout;
    // Wine closes the desktop a few seconds after its last user ends, and the
    // next process to need it starts its explorer.exe: that must be the driver,
    // not the program, whose job would otherwise hold it for good.
    GetDesktopWindow();
    detail::ApplyBaseline();
}

void Scenario::TearDown() {
    detail::RemovePlacedFiles();
    detail::ScenarioDeadline() = 0;
}

const std::string& ScenarioName() { return detail::State().scenario; }

std::string ProgramPath() { return detail::State().program; }

void FailAt(const Where& where, const std::string& what) {
    GTEST_FAIL_AT(where.file_name(), static_cast<int>(where.line())) << what;
    // Only without the listener above would this line be reached.
    throw ::testing::AssertionException(
        ::testing::TestPartResult(::testing::TestPartResult::kFatalFailure, where.file_name(),
                                  static_cast<int>(where.line()), what.c_str()));
}

}  // namespace e2e
