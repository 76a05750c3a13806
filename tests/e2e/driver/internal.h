// Shared between the driver's own files; scenarios use driver.h only.
#pragma once

#include "driver/driver.h"

#include <atomic>

namespace e2e::detail {

struct RunState {
    std::string scenario;
    std::string program;                   // MOLRAvin.exe under test, Windows path
    std::vector<std::string> placedFiles;  // removed when the scenario ends
};
RunState& State();
// When the running scenario's time is up (GetTickCount64); 0 while none runs.
std::atomic<ULONGLONG>& ScenarioDeadline();

// Jobs of live Process objects, so the watchdog can end them.
void TrackJob(HANDLE job);
void UntrackJob(HANDLE job);
void TerminateTrackedJobs();

// Sets the registry, the trap and the folders as every scenario starts.
void ApplyBaseline();
// Copies the rig's files into the prefix and checks that recorders run;
// failures are GoogleTest's, outside any test.
// program: the build's MOLRAvin.exe, copied to kProgramCopy.
void SetUpPrefix(const std::string& program, const std::string& recorderUnixPath,
                 const std::vector<std::string>& shimUnixPaths);
void RemovePlacedFiles();

// One line of the scenario's step log, with the time since it began; CTest
// shows it when the scenario fails.
void Log(const std::string& line);

// What a scenario's failure report should show about a process's windows.
std::string DescribeWindowsOf(DWORD pid);

}  // namespace e2e::detail
