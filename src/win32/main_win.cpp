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
    molra::WindowAssets assets;
    const auto prepare = [&] { assets.StartPreparing(instance); };
    std::uint32_t exitCode = 0;
    if (molra::Form_Load(platform, prepare, &exitCode) == molra::StartOutcome::EndProcess)
        return static_cast<int>(exitCode);
    return molra::RunMainWindow(platform, instance, assets);
}
