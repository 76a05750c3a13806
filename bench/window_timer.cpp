// Times the window path of programs that first show a notice box and then
// their window, the same way for each:
//   start -> notice box visible -> (the user reads it) -> OK pressed -> window
//   visible and answering.
// "Answering" is a WM_NULL sent to the window coming back: its thread has
// finished showing it and reached its message loop. The time the user takes
// is --reaction-ms (0: OK pressed the moment the box is seen, as a script
// would); box+window (start->box plus OK->window) leaves it out: the time the program itself
// keeps the user waiting. Peak working set is read while the window is shown
// (Wine cannot read it once the process is gone).
//
//   window_timer.exe --runs=N --warmup=W --reaction-ms=R --dir=<folder> --csv=<file>
//                    <name>=<program> ...
//
// With --check-runs=N it times Command1's check instead: an address typed,
// Command1 clicked, and until the answer's box shows a WM_NULL sent every few
// ms; the slowest one is how long the window did not answer. Run it with the
// test DLLs that make the check take 3 s (three echoes without reply).
// --check-text=<text> types that instead of 10.0.0.1; empty lets the program
// find its servers (the test DLLs' MOLRA_SHIM_ADDRESSES).
//
// With --save-runs=N it times a save held up by a lock: an old shortcut file
// is held open without FILE_SHARE_DELETE, Command1 clicked (run it with test
// DLLs that answer the check at once), the file let go --hold-ms (800) after
// the click; the slowest WM_NULL until the new file is there (the box after
// it is the check's figure).
//
// Programs run in turn (A, B, A, B, ...), so drift in the machine's load
// spreads over all of them. Prints one line of medians per program.
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/owners_win.h"
#include "platform/win32/win32_platform.h"
#include "common/texts.h"
#include "rig/rig.h"

using molra::Narrow;
using molra::Widen;

namespace {

constexpr DWORD kStageTimeoutMs = 30000;
// Held while a save waits; the new file is longer.
constexpr std::string_view kOldShortcut = "[InternetShortcut]\r\nURL=http://10.0.0.9/\r\n";

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / frequency;
}

HWND WaitShown(HANDLE process, DWORD pid, const std::wstring& title, const wchar_t* className) {
    return e2e::PollForWindow(process, kStageTimeoutMs, 1,
                              [&] { return e2e::FindShownWindow(pid, title, className); });
}

struct Program {
    std::wstring name;
    std::wstring path;
    std::vector<double> toBox, toWindow, total, peakKiB;
};

struct Sample {
    double toBox, toWindow, total, peakKiB;
};

const std::wstring& Caption() {
    static const std::wstring caption = Widen(molra::text::kCaption);
    return caption;
}

std::optional<e2e::Started> Start(const Program& program, const std::wstring& folder,
                                  std::string& error) {
    auto started = e2e::StartProcess(program.path, L"\"" + program.path + L"\"", folder);
    if (!started) error = "cannot start (error " + std::to_string(GetLastError()) + ")";
    return started;
}

// The floor programs' boxes may have no IDOK: their first button then.
void PressOk(HWND box) {
    if (!e2e::ClickOk(box))
        PostMessageW(FindWindowExW(box, nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
}

// After WM_CLOSE: false (and the process ended) when it does not end by itself.
bool Finish(const e2e::Started& started, bool ok, std::string& error) {
    const HANDLE process = started.process.get();
    if (WaitForSingleObject(process, ok ? 10000 : 0) != WAIT_OBJECT_0) {
        if (ok) error = "did not end after WM_CLOSE";
        ok = false;
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
    }
    return ok;
}

bool RunOnce(const Program& program, const std::wstring& folder, DWORD reactionMs, Sample& sample,
             std::string& error) {
    static const std::wstring title = Widen(molra::text::kWindowTitle);
    // Marks for a timeline with WINEDEBUG=+timestamp,+debugstr,+loaddll.
    OutputDebugStringA("window_timer: start");
    const double start = Now();
    const auto info = Start(program, folder, error);
    if (!info) return false;
    const HANDLE process = info->process.get();
    bool ok = false;
    HWND box = WaitShown(process, info->pid, Caption(), e2e::kMessageBoxClass);
    if (!box) {
        error = "no notice box";
    } else {
        const double boxShown = Now();
        OutputDebugStringA("window_timer: box shown");
        if (reactionMs) Sleep(reactionMs);
        OutputDebugStringA("window_timer: OK pressed");
        const double pressed = Now();
        PressOk(box);
        HWND window = WaitShown(process, info->pid, title, nullptr);
        DWORD_PTR answer = 0;
        if (!window) {
            error = "no window after OK";
        } else if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kStageTimeoutMs,
                                        &answer)) {
            error = "window does not answer";
        } else {
            const double shown = Now();
            OutputDebugStringA("window_timer: window shown");
            PROCESS_MEMORY_COUNTERS memory{};
            memory.cb = sizeof memory;
            sample.peakKiB = GetProcessMemoryInfo(process, &memory, sizeof memory)
                                 ? static_cast<double>(memory.PeakWorkingSetSize) / 1024.0
                                 : -1.0;
            sample.toBox = boxShown - start;
            sample.toWindow = shown - pressed;
            sample.total = sample.toBox + sample.toWindow;
            ok = true;
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    }
    return Finish(*info, ok, error);
}

// Held open without FILE_SHARE_DELETE, the old shortcut file cannot be
// replaced until the handle is closed.
struct HeldFile {
    molra::UniqueHandle file;
    DWORD holdMs;
};

DWORD WINAPI LetGo(void* param) {
    auto& held = *static_cast<HeldFile*>(param);
    Sleep(held.holdMs);
    held.file.reset();
    return 0;
}

// One check: how long it took and the slowest WM_NULL meanwhile (asked
// worstAtMs after the click), in ms. With
// holdMs, the old shortcut file is held that long after the click.
bool CheckOnce(const Program& program, const std::wstring& folder, const std::wstring& typed,
               DWORD holdMs, double& checkMs, double& worstMs, double& worstAtMs,
               std::string& error) {
    static const std::wstring title = Widen(molra::text::kWindowTitle);
    const auto info = Start(program, folder, error);
    if (!info) return false;
    const HANDLE process = info->process.get();
    HWND box = WaitShown(process, info->pid, Caption(), e2e::kMessageBoxClass);
    HWND window = nullptr;
    if (box) {
        PressOk(box);
        window = WaitShown(process, info->pid, title, nullptr);
    }
    HWND text1 = window ? FindWindowExW(window, nullptr, L"Edit", nullptr) : nullptr;
    HWND command1 =
        window ? FindWindowExW(window, nullptr, L"Button", Widen(molra::text::kCommand1).c_str())
               : nullptr;
    if (!text1 || !command1) {
        error = "no window with Text1 and Command1";
        return Finish(*info, false, error);
    }
    // Never sent anywhere: the test DLLs answer for it.
    SendMessageW(text1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    const std::wstring shortcut = folder + L"\\MOLRAvin.url";
    HeldFile held{molra::UniqueHandle(), holdMs};
    if (holdMs) {
        held.file.reset(CreateFileW(shortcut.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0,
                                    nullptr));
        DWORD written = 0;
        if (!held.file || !WriteFile(held.file.get(), kOldShortcut.data(),
                                     static_cast<DWORD>(kOldShortcut.size()), &written, nullptr)) {
            error = "cannot hold the old shortcut file";
            return Finish(*info, false, error);
        }
    }
    const double clicked = Now();
    PostMessageW(command1, BM_CLICK, 0, 0);
    // Let go on a thread of its own: a window that does not answer holds up this one.
    const molra::UniqueHandle letGo(holdMs ? CreateThread(nullptr, 0, LetGo, &held, 0, nullptr)
                                           : nullptr);
    const auto finish = [&](bool ok) {
        if (letGo) WaitForSingleObject(letGo.get(), INFINITE);
        return Finish(*info, ok, error);
    };
    // A save is timed while it waits: up to the new file, not the box after it.
    const auto saved = [&] {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        return GetFileAttributesExW(shortcut.c_str(), GetFileExInfoStandard, &data) &&
               data.nFileSizeLow != kOldShortcut.size();
    };
    worstMs = 0;
    HWND answer = nullptr;
    while (!(answer = e2e::FindShownWindow(info->pid, Caption(), e2e::kMessageBoxClass)) &&
           !(holdMs && saved())) {
        const double asked = Now();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kStageTimeoutMs, &result) ||
            asked - clicked > kStageTimeoutMs) {
            error = "no answer to the check";
            return finish(false);
        }
        if (Now() - asked > worstMs) {
            worstMs = Now() - asked;
            worstAtMs = asked - clicked;
        }
        Sleep(5);
    }
    checkMs = Now() - clicked;
    if (!answer) answer = WaitShown(process, info->pid, Caption(), e2e::kMessageBoxClass);
    if (!answer) {
        error = "no box after the save";
        return finish(false);
    }
    if (holdMs && checkMs < holdMs) {
        error = "the save did not wait for the held file";
        return finish(false);
    }
    PressOk(answer);
    PostMessageW(window, WM_CLOSE, 0, 0);
    const bool ok = finish(true);
    DeleteFileW(shortcut.c_str());  // the next run must show the window again
    return ok;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool Option(const std::wstring& arg, const wchar_t* name, std::wstring& value) {
    const std::wstring prefix = std::wstring(name) + L"=";
    if (arg.compare(0, prefix.size(), prefix) != 0) return false;
    value = arg.substr(prefix.size());
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = 30, warmup = 3, reactionMs = 0, checkRuns = 0, saveRuns = 0, holdMs = 800;
    std::wstring folder = L".", csvPath, value, checkText = L"10.0.0.1";
    std::vector<Program> programs;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (Option(arg, L"--runs", value)) runs = _wtoi(value.c_str());
        else if (Option(arg, L"--warmup", value))
            warmup = _wtoi(value.c_str());
        else if (Option(arg, L"--reaction-ms", value))
            reactionMs = _wtoi(value.c_str());
        else if (Option(arg, L"--dir", value))
            folder = value;
        else if (Option(arg, L"--csv", value))
            csvPath = value;
        else if (Option(arg, L"--check-runs", value))
            checkRuns = _wtoi(value.c_str());
        else if (Option(arg, L"--check-text", value))
            checkText = value;
        else if (Option(arg, L"--save-runs", value))
            saveRuns = _wtoi(value.c_str());
        else if (Option(arg, L"--hold-ms", value))
            holdMs = _wtoi(value.c_str());
        else if (arg.find(L'=') != std::wstring::npos && arg[0] != L'-')
            programs.push_back(
                {arg.substr(0, arg.find(L'=')), arg.substr(arg.find(L'=') + 1), {}, {}, {}, {}});
        else {
            std::fprintf(stderr, "unknown argument %s\n", Narrow(arg).c_str());
            return 2;
        }
    }
    if (programs.empty() || runs < 1 || reactionMs < 0) {
        std::fprintf(stderr,
                     "usage: window_timer --runs=N --warmup=W --reaction-ms=R --dir=<folder> "
                     "--csv=<file> <name>=<program>...\n");
        return 2;
    }
    if (checkRuns > 0 || saveRuns > 0) {
        const bool save = saveRuns > 0;
        if (save && holdMs < 1) holdMs = 800;
        for (const auto& program : programs) {
            std::vector<double> checks, worst, worstAt;
            for (int run = 0; run < (save ? saveRuns : checkRuns); ++run) {
                double checkMs = 0, worstMs = 0, worstAtMs = 0;
                std::string error;
                if (!CheckOnce(program, folder, save ? L"10.0.0.1" : checkText,
                               save ? static_cast<DWORD>(holdMs) : 0, checkMs, worstMs, worstAtMs,
                               error)) {
                    std::fprintf(stderr, "%s: %s\n", Narrow(program.name).c_str(), error.c_str());
                    return 1;
                }
                checks.push_back(checkMs);
                worst.push_back(worstMs);
                worstAt.push_back(worstAtMs);
            }
            const auto slowest = std::max_element(worst.begin(), worst.end()) - worst.begin();
            std::printf(
                "%-14s %5zu %s %.0f ms (median), slowest WM_NULL %.1f ms (worst of all runs; "
                "asked %.0f ms after the click)\n",
                Narrow(program.name).c_str(), checks.size(), save ? "save" : "check",
                Median(checks), worst[slowest], worstAt[slowest]);
        }
        std::fflush(stdout);
        return 0;
    }
    FILE* csv = csvPath.empty() ? nullptr : _wfopen(csvPath.c_str(), L"w");
    if (csv)
        std::fprintf(csv,
                     "program,run,start_to_box_ms,ok_to_window_ms,box_plus_window_ms,"
                     "peak_working_set_kib\n");

    for (int round = -warmup; round < runs; ++round) {
        for (auto& program : programs) {
            Sample sample{};
            std::string error;
            if (!RunOnce(program, folder, static_cast<DWORD>(reactionMs), sample, error)) {
                std::fprintf(stderr, "%s: %s\n", Narrow(program.name).c_str(), error.c_str());
                return 1;
            }
            if (round < 0) continue;
            program.toBox.push_back(sample.toBox);
            program.toWindow.push_back(sample.toWindow);
            program.total.push_back(sample.total);
            program.peakKiB.push_back(sample.peakKiB);
            if (csv)
                std::fprintf(csv, "%s,%d,%.3f,%.3f,%.3f,%.0f\n", Narrow(program.name).c_str(),
                             round + 1, sample.toBox, sample.toWindow, sample.total,
                             sample.peakKiB);
        }
    }
    if (csv) std::fclose(csv);

    std::printf("%-14s %5s %18s %18s %20s %16s\n", "program", "runs", "start->box ms",
                "OK->window ms", "box+window ms", "peak WS KiB");
    for (const auto& program : programs) {
        std::printf("%-14s %5zu %18.1f %18.1f %20.1f %16.0f\n", Narrow(program.name).c_str(),
                    program.toWindow.size(), Median(program.toBox), Median(program.toWindow),
                    Median(program.total), Median(program.peakKiB));
    }
    std::fflush(stdout);
    return 0;
}
