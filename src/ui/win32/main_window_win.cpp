// The one window: a fixed layout over the logo, its handlers and its painting.
#include "ui/win32/main_window_win.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/texts.h"
#include "platform/win32/window_messages_win.h"
#include "ui/legibility.h"
#include "ui/win32/dpi_win.h"
#include "ui/win32/legibility_win.h"
#include "ui/win32/tool_tips_win.h"

namespace molra {

namespace {

constexpr wchar_t kClassName[] = L"MOLRAvin";

}  // namespace

MainWindow::MainWindow(Win32Platform& platform, HINSTANCE instance, PreparedAssets* prepared)
    : platform_(platform), instance_(instance) {
    PreparedAssets assets = prepared ? std::move(*prepared) : PrepareAssets(instance_);
    if (assets.logoDecoded) logo_.Set(std::move(assets.logo));
    classIcons_ = assets.classIcons;
    preparedIcons_ = std::move(assets.icons);
}

std::optional<DWORD> MainWindow::Create() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = classIcons_.bigIcon;
    windowClass.hIconSm = classIcons_.smallIcon;
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass)) return GetLastError();

    // Created hidden: the frame is sized and centred for the DPI of its monitor first.
    const SIZE size = WindowSize(SystemDpi());
    created_ = CreateWindowExW(kExStyle, kClassName, Widen(text::kWindowTitle).c_str(), kStyle,
                               CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr,
                               instance_, this) != nullptr;
    if (created_) return std::nullopt;
    return createError_ ? createError_ : GetLastError();
}

void MainWindow::Show() {
    CentreOnWorkArea(window_);
    platform_.SetOwnerWindow(window_);
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    SetFocus(focus_);
    UpdateWindow(window_);
    // Tips are needed only once the mouse rests on a control: not before the window shows.
    PostMessageW(window_, kWmAddToolTips, 0, 0);
}

int MainWindow::Run() {
    MSG message{};
    BOOL result = 0;
    while ((result = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (result == -1) return 1;
        // Tab, Shift+Tab and Enter as in a dialog.
        if (window_ && IsDialogMessageW(window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        EnableFrameScaling(window);
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->handle(message, wParam, lParam)
                : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: return onCreate() ? 0 : -1;
        case WM_COMMAND: onCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
        case kWmAddToolTips: AddToolTips(window_, instance_, controls_); return 0;
        case kWmCheckDone:
            onCheckDone(std::unique_ptr<ServerCheck>(reinterpret_cast<ServerCheck*>(lParam)));
            return TRUE;  // taken: a sender need not free it
        case kWmShowMessage: {
            const auto& request = *reinterpret_cast<const MessageRequest*>(lParam);
            platform_.ShowMessage(request.text, request.caption);
            return 0;
        }
        case WM_SETCURSOR:
            // Disabled under the click's box: the box's own handling, not the busy cursor.
            if (!checking_ || !IsWindowEnabled(window_))
                return DefWindowProcW(window_, message, wParam, lParam);
            SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
            return TRUE;
        case WM_CLOSE:
            if (!checking_) return DefWindowProcW(window_, message, wParam, lParam);
            Command2_Click();  // the check's result is dropped; a save is let finish
            return 0;
        case DM_GETDEFID:  // asked by IsDialogMessageW when Enter is pressed
            return MAKELRESULT(kIdCommand1, DC_HASDEFID);
        case WM_ACTIVATE: onActivate(LOWORD(wParam) != WA_INACTIVE, HIWORD(wParam) != 0); return 0;
        case WM_SETFOCUS:  // e.g. restored from the taskbar: the control gets it back
            if (focus_ && !IsIconic(window_)) SetFocus(focus_);
            return 0;
        case WM_ERASEBKGND: paintBackground(reinterpret_cast<HDC>(wParam), window_); return 1;
        case WM_PRINTCLIENT:  // themed buttons ask for what lies behind their corners
            paintBackground(reinterpret_cast<HDC>(wParam), window_);
            return 0;
        case WM_SYSCOLORCHANGE:
            // Common controls hear of it only from their parent.
            for (HWND control : controls_) SendMessageW(control, message, wParam, lParam);
            chooseColours();
            return 0;
        case WM_SETTINGCHANGE:
            if (wParam == SPI_SETNONCLIENTMETRICS)
                layout(WindowDpi(window_));  // a new message font: the label may need more room
            else
                chooseColours();  // high contrast may have been turned on or off
            return 0;
        case WM_THEMECHANGED: chooseColours(); return 0;
        case WM_CTLCOLOREDIT: return onCtlColorEdit(reinterpret_cast<HDC>(wParam));
        case WM_CTLCOLORSTATIC:
            // A disabled edit box asks as a static does; Text1 keeps its own colours.
            if (reinterpret_cast<HWND>(lParam) == controls_[kText1])
                return onCtlColorEdit(reinterpret_cast<HDC>(wParam));
            return onCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case kWmGetDpiScaledSize:
            *reinterpret_cast<SIZE*>(lParam) = WindowSize(LOWORD(wParam));
            return TRUE;
        case kWmDpiChanged:
            onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_DESTROY:
            platform_.SetOwnerWindow(nullptr);
            // Destroyed by a failed WM_CREATE: a quit would close the box that reports it.
            if (created_) PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            HWND window = std::exchange(window_, nullptr);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return DefWindowProcW(window, message, wParam, lParam);
        }
        default: return DefWindowProcW(window_, message, wParam, lParam);
    }
}

bool MainWindow::onCreate() {
    if (!CreateControls(window_, instance_, controls_)) {
        createError_ = GetLastError();
        return false;
    }
    SendMessageW(controls_[kText1], EM_SETLIMITTEXT, 0, 0);  // 0 lifts the default limit
    focus_ = controls_[kCommand1];
    layout(WindowDpi(window_));
    return true;
}

void MainWindow::onCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    if (id == kIdCommand1) Command1_Click();
    if (id == kIdCommand2) Command2_Click();
}

// A plain window forgets its focused control when it loses activation;
// dialogs keep it, and so does this one.
void MainWindow::onActivate(bool active, bool minimized) {
    if (!active) {
        HWND focus = GetFocus();
        if (focus && IsChild(window_, focus)) focus_ = focus;
    } else if (!minimized) {
        SetFocus(focus_ ? focus_ : window_);
    }
}

void MainWindow::onDpiChanged(UINT dpi, const RECT& suggested) {
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    layout(dpi);
    InvalidateRect(window_, nullptr, TRUE);
}

// area is the window or one of its controls; dc's origin is that window's
// top-left corner.
void MainWindow::paintBackground(HDC dc, HWND area) {
    POINT origin{0, 0};
    MapWindowPoints(area, window_, &origin, 1);
    RECT rect;
    GetClientRect(area, &rect);
    if (ownColours_ && logoBitmap_) {
        if (const MemoryDC memory{CreateCompatibleDC(dc)}) {
            HGDIOBJ previous = SelectObject(memory.get(), logoBitmap_.get());
            BitBlt(dc, 0, 0, rect.right, rect.bottom, memory.get(), origin.x, origin.y, SRCCOPY);
            SelectObject(memory.get(), previous);
            return;
        }
    }
    // No picture: the system's window colour, on which its text colour reads.
    FillRect(dc, &rect, GetSysColorBrush(COLOR_WINDOW));
}

LRESULT MainWindow::onCtlColorEdit(HDC dc) {
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    if (!ownColours_) {
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    SetBkColor(dc, kText1Background);
    return reinterpret_cast<LRESULT>(text1Brush_.get());
}

// The label: it shows the picture behind its text.
LRESULT MainWindow::onCtlColorStatic(HDC dc, HWND control) {
    paintBackground(dc, control);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

void MainWindow::layout(UINT dpi) {
    const LOGFONTW logFont = MessageFontForDpi(dpi);
    OwnedFont font(CreateFontIndirectW(&logFont));
    for (HWND control : controls_)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    font_ = std::move(font);  // the old font goes only after no control uses it

    const SIZE client = PlaceControls(controls_, font_.get(), dpi);
    const SIZE size = WindowSizeForClient(client, kStyle, kExStyle, dpi);
    SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ClipLabel(controls_);
    logoBitmap_ = logo_.Render(dpi);
    chooseColours();
    loadIcons(dpi);
}

// The yellow box and the logo only while the system's text colour reads on
// them; otherwise the system's colours throughout. Called whenever the
// colours, the settings or the picture may have changed.
void MainWindow::chooseColours() {
    std::vector<Colour> grounds{ToColour(kText1Background)};
    if (logoBitmap_) {
        RECT label;
        RECT text1;
        GetWindowRect(controls_[kLabel1], &label);
        GetWindowRect(controls_[kText1], &text1);
        label.bottom = std::min(label.bottom, text1.top);  // the part that shows
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&label), 2);
        const std::vector<Colour> behind = PixelColours(logoBitmap_.get(), label);
        grounds.insert(grounds.end(), behind.begin(), behind.end());
    }
    ownColours_ = KeepOwnColours(HighContrastOn(), SystemColour(COLOR_WINDOWTEXT), grounds);
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void MainWindow::loadIcons(UINT dpi) {
    Icons icons = preparedIcons_.dpi == dpi ? std::move(preparedIcons_) : LoadIcons(instance_, dpi);
    preparedIcons_ = {};
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons.bigIcon.get()));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons.smallIcon.get()));
    bigIcon_ = std::move(icons.bigIcon);
    smallIcon_ = std::move(icons.smallIcon);
}

int RunMainWindow(Win32Platform& platform, HINSTANCE instance, WindowAssets& assets) {
    // A quit posted to this thread while the notice was up (the notice
    // leaves it queued) asks the program to end before its window exists:
    // not a success to report.
    MSG quit;
    if (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return quit.wParam ? static_cast<int>(quit.wParam) : static_cast<int>(ERROR_CANCELLED);
    LoadCommonControls();
    const std::unique_ptr<PreparedAssets> prepared = assets.Take();
    MainWindow window(platform, instance, prepared.get());
    if (const std::optional<DWORD> failed = window.Create()) {
        const DWORD error = *failed;
        platform.ShowMessage(std::string(text::kWindowFailed) +
                                 (error ? "\r\n" + platform.ErrorText(error) : std::string()),
                             text::kCaption);
        return error ? static_cast<int>(error) : 1;
    }
    window.Show();
    return window.Run();
}

}  // namespace molra
