// The Win32 side of looking at another program from a test: its process,
// windows and message boxes, key strokes, files and the test DLLs' log. No
// test framework: the e2e driver, the layer test, the package probe and the
// bench's window timer all build on it, and each reports failures its own way.
//
// Texts are UTF-8 unless a parameter is std::wstring.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/owners_win.h"

namespace e2e {

// ---- text -------------------------------------------------------------------------

// ASCII letters lowered; other bytes stay (UTF-8 passes through).
std::string Lower(std::string text);
// Each character as the C library's towlower gives it.
std::wstring Lower(std::wstring text);
// The parts of text between '\n's; a last part without '\n' counts, an empty text has none.
std::vector<std::string> SplitLines(const std::string& text);

// ---- processes --------------------------------------------------------------------

struct Started {
    molra::UniqueHandle process;
    molra::UniqueHandle thread;  // the first thread, e.g. to resume it
    DWORD pid = 0;
};

// CreateProcessW of commandLine. application: the program to run, or empty
// to take it from the command line; folder: its working folder, empty for
// ours; environment: a CREATE_UNICODE_ENVIRONMENT block or nullptr for ours.
// nullopt when it does not start; GetLastError() then says why.
std::optional<Started> StartProcess(const std::wstring& application, std::wstring commandLine,
                                    const std::wstring& folder = {}, DWORD flags = 0,
                                    wchar_t* environment = nullptr);

// ---- windows ------------------------------------------------------------------------

std::vector<HWND> TopLevelWindowsOf(DWORD pid);  // visible or not, in z order
std::vector<HWND> ChildWindows(HWND parent);     // all descendants, in z order
// By WM_GETTEXT, which another process's control answers ("<no answer>" after
// 5 s); GetWindowTextW would not ask it.
std::string WindowText(HWND window);
std::string ClassName(HWND window);
// A visible top-level window of pid with exactly this title and, unless
// null, this class; nullptr when none. Asks no window anything, so polling it
// does not disturb what is timed.
HWND FindShownWindow(DWORD pid, const std::wstring& title, const wchar_t* className = nullptr);
// Calls find every pollMs until it gives a window (returned), the process
// ends or timeoutMs pass (nullptr).
HWND PollForWindow(HANDLE process, DWORD timeoutMs, DWORD pollMs,
                   const std::function<HWND()>& find);

// ---- message boxes ------------------------------------------------------------------

struct MsgBox {
    HWND window = nullptr;
    std::string caption;
    std::string text;  // the static control 0xFFFF
};
inline constexpr const wchar_t* kMessageBoxClass = L"#32770";

// Visible and of the dialog class #32770 that MessageBoxW shows.
bool IsMessageBox(HWND window);
// The first visible message box of pid in z order,
// passing over skip (one answered already); nullopt when none shows.
std::optional<MsgBox> FindMessageBox(DWORD pid, HWND skip = nullptr);
// Posts BM_CLICK to the box's OK button; false when it has none.
bool ClickOk(HWND box);

// ---- input --------------------------------------------------------------------------

// The control that has the keyboard focus in window's thread; nullptr when none.
HWND FocusOf(HWND window);
// A real key stroke (SendInput), held with modifier (e.g. VK_SHIFT) unless 0:
// dialog handling reads the modifier's state.
void PressKey(WORD key, WORD modifier = 0);

// ---- files --------------------------------------------------------------------------

// The whole file, opened shared for reading, writing and deleting; nullopt
// when it cannot be opened, GetLastError() then says why.
std::optional<std::string> ReadWholeFile(const std::wstring& path);

// The test DLLs' log (the file MOLRA_SHIM_LOG names): one line per call.
class ShimLog {
public:
    explicit ShimLog(std::wstring path) : path_(std::move(path)) {}
    const std::wstring& path() const { return path_; }
    // Its complete lines (a last one without '\n' is still being written);
    // none when missing.
    std::vector<std::string> Read() const;
    bool Exists() const;
    void Clear() const;  // deletes it
    // Read() and Clear(). An echo thread that outlived its round may not
    // have written yet: waits up to 2 s for at least atLeast lines.
    std::vector<std::string> Take(std::size_t atLeast = 0) const;

private:
    std::wstring path_;
};

}  // namespace e2e
