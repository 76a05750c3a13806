// The one window, shown when start-up finds no address.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>

#include "ui/commands.h"
#include "platform/win32/owners_win.h"
#include "platform/win32/win32_platform.h"
#include "ui/win32/controls_win.h"
#include "ui/win32/logo_win.h"
#include "ui/win32/window_assets_win.h"

namespace molra {

// Creates, shows and runs the window on the calling thread until the program
// ends; the process exit code. A quit posted while the notice was up, or a
// window that cannot be created (the user is told), ends it with non-zero.
int RunMainWindow(Win32Platform& platform, HINSTANCE instance, WindowAssets& assets);

class MainWindow {
public:
    // prepared: what the worker made, or null to make it here.
    MainWindow(Win32Platform& platform, HINSTANCE instance, PreparedAssets* prepared);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow() = default;

    // nullopt once the window exists; else why not (the system error code, 0 when none was set).
    std::optional<DWORD> Create();
    void Show();
    int Run();

private:
    static constexpr COLORREF kText1Background = RGB(0xFF, 0xFF, 0xC0);

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    bool onCreate();
    void onCommand(int id, int code);
    void onActivate(bool active, bool minimized);
    void onDpiChanged(UINT dpi, const RECT& suggested);
    void paintBackground(HDC dc, HWND area);
    LRESULT onCtlColorEdit(HDC dc);
    LRESULT onCtlColorStatic(HDC dc, HWND control);

    void layout(UINT dpi);
    void chooseColours();
    void loadIcons(UINT dpi);

    // Command1's server check, on a worker thread (main_window_check_win.cpp).
    void Command1_Click();
    static DWORD WINAPI RunCheck(void* param);
    void onCheckDone(std::unique_ptr<ServerCheck> check);
    void setChecking(bool checking);
    void refreshCursor();
    // Ends the program at once: no further window events run, and a check
    // still running is dropped. A save under way first comes to a
    // consistent state; its box is not shown.
    void Command2_Click() { platform_.EndProcess(0); }

    Win32Platform& platform_;
    HINSTANCE instance_;
    HWND window_ = nullptr;
    Controls controls_{};
    HWND focus_ = nullptr;   // given back when the window is activated again
    bool checking_ = false;  // from the click until its box is answered
    bool created_ = false;   // CreateWindowExW returned the window
    DWORD createError_ = 0;  // why WM_CREATE failed
    HWND focusBeforeCheck_ = nullptr;
    Logo logo_;
    OwnedBitmap logoBitmap_;
    ClassIcons classIcons_;
    Icons preparedIcons_;  // used once, when the window's DPI is theirs
    OwnedBrush text1Brush_{CreateSolidBrush(kText1Background)};
    bool ownColours_ = true;  // the yellow box and the logo; else the system's colours
    OwnedFont font_;
    OwnedIcon bigIcon_;
    OwnedIcon smallIcon_;
};

}  // namespace molra
