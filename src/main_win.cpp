// Process entry: harden, decide, and show the window only when needed.
#include "platform/win32/win32_platform.h"
#include "startup/startup.h"
#include "ui/win32/main_window_win.h"

namespace {

// Before any DLL is loaded on demand, keep the current and program folders out of the search.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearch();
    molra::Win32Platform platform;
    molra::WindowThread window;
    bool started = false;
    const auto build = [&] { started = window.Start(platform, instance); };
    if (molra::Form_Load(platform, build) == molra::StartOutcome::EndProcess) return 0;
    return started ? window.ShowAndRun() : molra::RunMainWindow(platform, instance);
}
