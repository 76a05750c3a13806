// Process entry: harden, decide, and show the window only when needed.
#include "platform/win32/win32_platform.h"
#include "startup/startup.h"
#include "ui/win32/main_window_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    molra::RestrictDllSearch();
    molra::Win32Platform platform;
    molra::WindowAssets assets;
    const auto prepare = [&] { assets.StartPreparing(instance); };
    std::uint32_t exitCode = 0;
    if (molra::Form_Load(platform, prepare, &exitCode) == molra::StartOutcome::EndProcess)
        return static_cast<int>(exitCode);
    return molra::RunMainWindow(platform, instance, assets);
}
