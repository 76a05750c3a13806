// The one window: a fixed layout over the logo. Positions are kept in twips
// and turned into pixels for the window's DPI in one place, layout().
#include "ui/win32/main_window_win.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "resource_ids.h"
#include "ui/commands.h"
#include "common/texts.h"
#include "ui/legibility.h"
#include "ui/win32/dpi_win.h"
#include "ui/win32/legibility_win.h"
#include "ui/win32/logo_win.h"
#include "platform/win32/owners_win.h"
#include "platform/win32/system_calls_win.h"

namespace molra {

namespace {

constexpr wchar_t kClassName[] = L"MOLRAvin";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;
constexpr SIZE kClientTwips{4110, 3090};
constexpr UINT kWmAddToolTips = WM_APP + 1;
constexpr UINT kWmCheckDone = WM_APP + 2;  // lParam: a ServerCheck the window takes over
constexpr COLORREF kText1Background = RGB(0xFF, 0xFF, 0xC0);

// Neither IDOK nor IDCANCEL: Escape must not press Command2.
enum ControlId : int { kIdCommand1 = 1001, kIdText1, kIdCommand2, kIdLabel1 };
enum ControlIndex : std::size_t { kCommand1, kLabel1, kText1, kCommand2, kControlCount };

struct Twips {
    int left, top, width, height;
};

struct ControlSpec {
    int id;
    const wchar_t* className;
    Twips twips;
    const char* text;
    const char* toolTip;
    DWORD style;
    DWORD exStyle;
};

// Creation order is the z-order, and the tab stops in it are the tab order.
// Label1 stands just before Text1: screen readers name an edit box after the
// static text that precedes it. The label is no tab stop, so Tab still goes
// Command1, Text1, Command2; its window region leaves out Text1's box, so
// Text1 is still drawn over the label where the two overlap.
// clang-format off
constexpr std::array<ControlSpec, kControlCount> kControls{{
    // left, top, width, height in twips
    {kIdCommand1, L"BUTTON", {968, 1320, 2175, 615}, text::kCommand1, text::kTipCommand1,
     BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
    {kIdLabel1,   L"STATIC", {979,  600, 2160, 375}, text::kLabel1,   nullptr,
     SS_LEFT | SS_NOPREFIX, 0},
    {kIdText1,    L"EDIT",   {968,  840, 2175, 375}, "",              text::kTipText1,
     ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {kIdCommand2, L"BUTTON", {968, 2040, 2175, 615}, text::kCommand2, text::kTipCommand2,
     BS_PUSHBUTTON | WS_TABSTOP, 0},
}};
// clang-format on

int ToPixels(int twips, UINT dpi) {
    return MulDiv(twips, static_cast<int>(dpi), 1440);
}

RECT ToPixels(const Twips& twips, UINT dpi) {
    const int left = ToPixels(twips.left, dpi);
    const int top = ToPixels(twips.top, dpi);
    return {left, top, left + ToPixels(twips.width, dpi), top + ToPixels(twips.height, dpi)};
}

SIZE WindowSize(UINT dpi) {
    return WindowSizeForClient({ToPixels(kClientTwips.cx, dpi), ToPixels(kClientTwips.cy, dpi)},
                               kStyle, kExStyle, dpi);
}

// Tool tips live in comctl32, which the launch path must never load.
void LoadCommonControls() {
    if (!Comctl32().InitCommonControlsEx) return;
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    Comctl32().InitCommonControlsEx(&classes);
}

struct Icons {
    UINT dpi = 0;
    OwnedIcon bigIcon;
    OwnedIcon smallIcon;
};

// The class holds icons for the system DPI only (shared: never destroyed).
struct ClassIcons {
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
};

ClassIcons LoadClassIcons(HINSTANCE instance) {
    return {static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MOLRAVIN), IMAGE_ICON, 0,
                                          0, LR_DEFAULTSIZE | LR_SHARED)),
            static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MOLRAVIN), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXSMICON),
                                          GetSystemMetrics(SM_CYSMICON), LR_SHARED))};
}

// The frame's icons, drawn for the window's own DPI.
Icons LoadIcons(HINSTANCE instance, UINT dpi) {
    const auto load = [&](int widthMetric, int heightMetric) {
        return OwnedIcon(static_cast<HICON>(LoadImageW(
            instance, MAKEINTRESOURCEW(IDI_MOLRAVIN), IMAGE_ICON,
            SystemMetricForDpi(widthMetric, dpi), SystemMetricForDpi(heightMetric, dpi), 0)));
    };
    return {dpi, load(SM_CXICON, SM_CYICON), load(SM_CXSMICON, SM_CYSMICON)};
}

}  // namespace

struct PreparedAssets {
    LogoPixels logo;
    bool logoDecoded = false;
    ClassIcons classIcons;
    Icons icons;  // for the system DPI, which the window most often has
};

namespace {

PreparedAssets PrepareAssets(HINSTANCE instance) {
    PreparedAssets assets;
    assets.logoDecoded = DecodeLogo(instance, IDR_LOGO, assets.logo);
    assets.classIcons = LoadClassIcons(instance);
    assets.icons = LoadIcons(instance, SystemDpi());
    return assets;
}

class MainWindow {
public:
    // prepared: what the worker made, or null to make it here.
    MainWindow(Win32Platform& platform, HINSTANCE instance, PreparedAssets* prepared);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    bool Create();
    void Show();
    int Run();

private:
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
    int placeLabel(RECT& label, const RECT& text1, int clientWidth);
    void clipLabel();
    void chooseColours();
    void loadIcons(UINT dpi);
    void addToolTips();
    void centreOnWorkArea();

    void Command1_Click();
    static DWORD WINAPI RunCheck(void* job);
    void onCheckDone(std::unique_ptr<ServerCheck> check);
    void setChecking(bool checking);
    void refreshCursor();
    // Ends the program at once: no further window events run, and a check
    // still running is dropped.
    [[noreturn]] void Command2_Click() { ExitProcess(0); }

    Win32Platform& platform_;
    HINSTANCE instance_;
    HWND window_ = nullptr;
    std::array<HWND, kControlCount> controls_{};
    HWND focus_ = nullptr;  // given back when the window is activated again
    bool checking_ = false;  // a worker is checking the server
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

MainWindow::MainWindow(Win32Platform& platform, HINSTANCE instance, PreparedAssets* prepared)
    : platform_(platform), instance_(instance) {
    PreparedAssets assets = prepared ? std::move(*prepared) : PrepareAssets(instance_);
    if (assets.logoDecoded) logo_.Set(std::move(assets.logo));
    classIcons_ = assets.classIcons;
    preparedIcons_ = std::move(assets.icons);
}

bool MainWindow::Create() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = classIcons_.bigIcon;
    windowClass.hIconSm = classIcons_.smallIcon;
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass)) return false;

    // Created hidden: the frame is sized and centred for the DPI of its monitor first.
    const SIZE size = WindowSize(SystemDpi());
    return CreateWindowExW(kExStyle, kClassName, Widen(text::kWindowTitle).c_str(), kStyle,
                           CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr,
                           instance_, this) != nullptr;
}

void MainWindow::Show() {
    centreOnWorkArea();
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
    BOOL result;
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
        case WM_CREATE:
            return onCreate() ? 0 : -1;
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case kWmAddToolTips:
            addToolTips();
            return 0;
        case kWmCheckDone:
            onCheckDone(std::unique_ptr<ServerCheck>(reinterpret_cast<ServerCheck*>(lParam)));
            return 0;
        case kWmShowMessage: {
            const auto& request = *reinterpret_cast<const MessageRequest*>(lParam);
            platform_.ShowMessage(request.text, request.caption);
            return 0;
        }
        case WM_SETCURSOR:
            if (!checking_) return DefWindowProcW(window_, message, wParam, lParam);
            SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
            return TRUE;
        case WM_CLOSE:
            if (checking_) Command2_Click();  // the check's result is dropped
            return DefWindowProcW(window_, message, wParam, lParam);
        case DM_GETDEFID:  // asked by IsDialogMessageW when Enter is pressed
            return MAKELRESULT(kIdCommand1, DC_HASDEFID);
        case WM_ACTIVATE:
            onActivate(LOWORD(wParam) != WA_INACTIVE, HIWORD(wParam) != 0);
            return 0;
        case WM_SETFOCUS:  // e.g. restored from the taskbar: the control gets it back
            if (focus_ && !IsIconic(window_)) SetFocus(focus_);
            return 0;
        case WM_ERASEBKGND:
            paintBackground(reinterpret_cast<HDC>(wParam), window_);
            return 1;
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
        case WM_THEMECHANGED:
            chooseColours();
            return 0;
        case WM_CTLCOLOREDIT:
            return onCtlColorEdit(reinterpret_cast<HDC>(wParam));
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
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            HWND window = std::exchange(window_, nullptr);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return DefWindowProcW(window, message, wParam, lParam);
        }
        default:
            return DefWindowProcW(window_, message, wParam, lParam);
    }
}

bool MainWindow::onCreate() {
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const ControlSpec& control = kControls[i];
        controls_[i] = CreateWindowExW(
            control.exStyle, control.className, Widen(control.text).c_str(),
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | control.style, 0, 0, 0, 0, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance_, nullptr);
        if (!controls_[i]) return false;
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

namespace {

struct CheckJob {
    Win32Platform& platform;
    HWND window;
    std::string text1;
};

}  // namespace

// Look-ups and echoes may take seconds: they run on a worker while this
// thread keeps answering. The save and every box stay here.
void MainWindow::Command1_Click() {
    if (checking_) return;  // Enter, or a click queued before the controls were disabled
    HWND text1 = controls_[kText1];
    std::wstring typed(static_cast<std::size_t>(GetWindowTextLengthW(text1)) + 1, L'\0');
    const int length = GetWindowTextW(text1, typed.data(), static_cast<int>(typed.size()));
    typed.resize(static_cast<std::size_t>(length));
    auto job = std::make_unique<CheckJob>(CheckJob{platform_, window_, Narrow(typed)});
    setChecking(true);
    if (const UniqueHandle worker{CreateThread(nullptr, 0, RunCheck, job.get(), 0, nullptr)}) {
        job.release();
        return;
    }
    // No thread to be had: check here rather than not at all.
    onCheckDone(std::make_unique<ServerCheck>(CheckServer(platform_, job->text1)));
}

DWORD WINAPI MainWindow::RunCheck(void* param) {
    const std::unique_ptr<CheckJob> job(static_cast<CheckJob*>(param));
    auto check = std::make_unique<ServerCheck>(CheckServer(job->platform, job->text1));
    if (PostMessageW(job->window, kWmCheckDone, 0, reinterpret_cast<LPARAM>(check.get())))
        check.release();
    return 0;
}

void MainWindow::onCheckDone(std::unique_ptr<ServerCheck> check) {
    setChecking(false);
    const ClickOutcome outcome = FinishClick(platform_, *check);
    // A fatal socket failure was reported; nothing else of this click may run.
    if (outcome.endProcess) ExitProcess(1);
    if (outcome.newText1) SetWindowTextW(controls_[kText1], Widen(*outcome.newText1).c_str());
}

// While a check runs neither a click nor Enter may start another; Command2
// and the close box stay usable. A disabled control keeps no focus (keys
// would go nowhere), so the frame holds it meanwhile.
void MainWindow::setChecking(bool checking) {
    checking_ = checking;
    if (checking) {
        HWND focus = GetFocus();
        focusBeforeCheck_ = focus && IsChild(window_, focus) ? focus : focus_;
        focus_ = nullptr;
        if (focus == controls_[kCommand1] || focus == controls_[kText1]) SetFocus(window_);
    }
    EnableWindow(controls_[kCommand1], !checking);
    EnableWindow(controls_[kText1], !checking);
    if (!checking) {
        focus_ = focusBeforeCheck_;
        if (GetActiveWindow() == window_ && focus_) SetFocus(focus_);
    }
    refreshCursor();
}

// The system asks for the cursor only when the mouse moves: ask now for the
// control under a resting mouse.
void MainWindow::refreshCursor() {
    POINT point;
    if (!GetCursorPos(&point)) return;
    HWND under = WindowFromPoint(point);
    if (under != window_ && !IsChild(window_, under)) return;
    const LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                 MAKELPARAM(static_cast<WORD>(hit), WM_MOUSEMOVE));
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

    std::array<RECT, kControlCount> boxes;
    for (std::size_t i = 0; i < kControlCount; ++i) boxes[i] = ToPixels(kControls[i].twips, dpi);
    SIZE client{ToPixels(kClientTwips.cx, dpi), ToPixels(kClientTwips.cy, dpi)};
    const int below = placeLabel(boxes[kLabel1], boxes[kText1], client.cx);
    for (const std::size_t i : {kText1, kCommand1, kCommand2}) OffsetRect(&boxes[i], 0, below);
    client.cy += below;
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const RECT& rect = boxes[i];
        SetWindowPos(controls_[i], nullptr, rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const SIZE size = WindowSizeForClient(client, kStyle, kExStyle, dpi);
    SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    clipLabel();
    logoBitmap_ = logo_.Render(dpi);
    chooseColours();
    loadIcons(dpi);
}

// Widens label until its text fits on one line (wrapping only when even the
// client is too narrow). Returns how far Text1 and the buttons must move down
// so that every line shows above Text1: 0 unless the font is unusually large.
int MainWindow::placeLabel(RECT& label, const RECT& text1, int clientWidth) {
    HWND control = controls_[kLabel1];
    const std::wstring text = Widen(kControls[kLabel1].text);
    const SIZE line = MeasureText(control, font_.get(), text, 0);
    const LabelPlace place = PlaceLabel(line.cx, {label.left, label.right - label.left},
                                        {text1.left, text1.right - text1.left}, clientWidth);
    label.left = place.box.left;
    label.right = place.box.left + place.box.width;
    const int height =
        place.wraps ? MeasureText(control, font_.get(), text, place.box.width).cy : line.cy;
    label.bottom = std::max(label.bottom, label.top + height);
    return std::max(0, static_cast<int>(label.top + height - text1.top));
}

// Label1 precedes Text1 in the z-order, so by itself it would cover Text1's
// top edge; its region leaves that part out.
void MainWindow::clipLabel() {
    HWND label = controls_[kLabel1];
    RECT labelRect, text1Rect;
    GetWindowRect(label, &labelRect);
    GetWindowRect(controls_[kText1], &text1Rect);
    OffsetRect(&text1Rect, -labelRect.left, -labelRect.top);
    OwnedRegion region(CreateRectRgn(0, 0, labelRect.right - labelRect.left,
                                     labelRect.bottom - labelRect.top));
    if (!region) return;
    if (const OwnedRegion text1{CreateRectRgn(text1Rect.left, text1Rect.top, text1Rect.right,
                                              text1Rect.bottom)})
        CombineRgn(region.get(), region.get(), text1.get(), RGN_DIFF);
    // The window owns the region once it is set.
    if (SetWindowRgn(label, region.get(), TRUE)) region.release();
}

// The yellow box and the logo only while the system's text colour reads on
// them; otherwise the system's colours throughout. Called whenever the
// colours, the settings or the picture may have changed.
void MainWindow::chooseColours() {
    std::vector<Colour> grounds{ToColour(kText1Background)};
    if (logoBitmap_) {
        RECT label, text1;
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

void MainWindow::addToolTips() {
    HWND toolTip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
    if (!toolTip) return;  // no common controls: the window works without tips
    for (std::size_t i = 0; i < kControlCount; ++i) {
        if (!kControls[i].toolTip) continue;
        std::wstring tip = Widen(kControls[i].toolTip);
        TOOLINFOW tool{};
        // The version 2 size is understood with and without visual styles.
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(controls_[i]);
        tool.lpszText = tip.data();
        SendMessageW(toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void MainWindow::centreOnWorkArea() {
    RECT area{};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor))
        area = monitor.rcWork;
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT frame;
    GetWindowRect(window_, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

WindowAssets::WindowAssets() = default;

WindowAssets::~WindowAssets() {
    if (thread_) {
        SetEvent(noticeGone_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
    }
}

void WindowAssets::StartPreparing(HINSTANCE instance) {
    instance_ = instance;
    uiThread_ = GetCurrentThreadId();
    // user32 is delay-loaded: this thread, which needs it for the notice next,
    // loads it before the worker's first call could.
    LoadSystemLibrary(L"user32.dll");
    noticeGone_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    prepared_ = std::make_unique<PreparedAssets>();
    if (noticeGone_) thread_.reset(CreateThread(nullptr, 0, Prepare, this, 0, nullptr));
    if (!thread_) prepared_.reset();
}

namespace {

BOOL CALLBACK FindAny(HWND, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

// Loading COM and the codecs while the notice loads its own DLLs would delay
// the notice: start once its window exists, or once it is gone already (this
// only reads the other thread's window list).
void AwaitNotice(DWORD uiThread, HANDLE noticeGone) {
    for (int waited = 0; waited < 1000; waited += 10) {
        bool shown = false;
        EnumThreadWindows(uiThread, FindAny, reinterpret_cast<LPARAM>(&shown));
        if (shown || WaitForSingleObject(noticeGone, 10) == WAIT_OBJECT_0) return;
    }
}

}  // namespace

DWORD WINAPI WindowAssets::Prepare(void* self) {
    auto& assets = *static_cast<WindowAssets*>(self);
    AwaitNotice(assets.uiThread_, assets.noticeGone_.get());
    *assets.prepared_ = PrepareAssets(assets.instance_);
    // The controls' first paint loads it; here that costs the user nothing.
    LoadSystemLibrary(L"msimg32.dll");
    return 0;
}

std::unique_ptr<PreparedAssets> WindowAssets::Take() {
    if (!thread_) return nullptr;
    SetEvent(noticeGone_.get());
    // The calling thread shows no window yet, so nothing can wait on it meanwhile.
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
    return std::move(prepared_);
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
    if (!window.Create()) {
        const DWORD error = GetLastError();
        platform.ShowMessage(std::string(text::kWindowFailed) +
                                 (error ? "\r\n" + platform.ErrorText(error) : std::string()),
                             text::kCaption);
        return error ? static_cast<int>(error) : 1;
    }
    window.Show();
    return window.Run();
}

}  // namespace molra
