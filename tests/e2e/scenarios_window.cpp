// The main window of the real program, started with no argument in an empty
// folder: when it appears, its layout at 96 and 144 DPI, the picture behind
// it, keyboard order and typing, tool tips, icon, and how it ends.
#include <wincodec.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <initializer_list>

#include "driver/driver.h"

using namespace e2e;

namespace {

const std::string kLabel1Text = "IP Adresse des MOLRAvin Servers";
const std::string kCommand1Text = "IP ermitteln und speichern";
const std::string kCommand2Text =
    "Schlie\xC3\x9F"
    "en";
constexpr DWORD kText1Rgb = 0xFFFFC0;  // red, green, blue as the table gives them
constexpr WORD kIconGroup = 1;
constexpr WORD kLogoResource = 101;

// ---- geometry -------------------------------------------------------------------------

struct Box {
    long left, top, width, height;
    long right() const { return left + width; }
    long bottom() const { return top + height; }
    bool contains(long x, long y) const {
        return x >= left && x < right() && y >= top && y < bottom();
    }
};

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "(" << box.left << "," << box.top << " " << box.width << "x" << box.height << ")";
}

Box Scaled(const Box& box, double factor) {
    const auto scale = [factor](long v) { return static_cast<long>(v * factor + 0.5); };
    return {scale(box.left), scale(box.top), scale(box.width), scale(box.height)};
}

#define CHECK_NEAR(actual, expected) CheckNear(__FILE__, __LINE__, #actual, (actual), (expected))
void CheckNear(const char* file, int line, const char* what, const Box& actual,
               const Box& expected) {
    const auto within1 = [](long a, long b) { return std::labs(a - b) <= 1; };
    if (within1(actual.left, expected.left) && within1(actual.top, expected.top) &&
        within1(actual.width, expected.width) && within1(actual.height, expected.height))
        return;
    ReportFailure(file, line,
                  std::string(what) + " within 1 px\n    actual:   " + Describe(actual) +
                      "\n    expected: " + Describe(expected));
}

Box ClientBox(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return {0, 0, rect.right, rect.bottom};
}

// A control's outer rectangle in its parent's client coordinates.
Box BoxIn(HWND control, HWND parent) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

POINT ScreenPoint(HWND window, long x, long y) {
    POINT point{x, y};
    ClientToScreen(window, &point);
    return point;
}

// ---- waiting and input ------------------------------------------------------------------

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

void SendKey(WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

void TypeText(const std::wstring& text) {
    for (const wchar_t c : text) {
        INPUT input[2]{};
        for (INPUT& stroke : input) {
            stroke.type = INPUT_KEYBOARD;
            stroke.ki.wScan = c;
            stroke.ki.dwFlags = KEYEVENTF_UNICODE;
        }
        input[1].ki.dwFlags |= KEYEVENTF_KEYUP;
        SendInput(2, input, sizeof input[0]);
    }
}

// Real key strokes: the program's dialog handling reads the Shift state.
void PressKey(WORD key, WORD modifier = 0) {
    if (modifier) SendKey(modifier, false);
    SendKey(key, false);
    SendKey(key, true);
    if (modifier) SendKey(modifier, true);
}

void MoveMouse(POINT point) {
    SetCursorPos(point.x, point.y);
}

// ---- the process's windows ----------------------------------------------------------------

std::vector<HWND> VisibleTopLevelWindows(DWORD pid) {
    std::vector<HWND> visible;
    for (HWND window : TopLevelWindowsOf(pid))
        if (IsWindowVisible(window)) visible.push_back(window);
    return visible;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

HWND VisibleToolTip(DWORD pid) {
    for (HWND window : VisibleTopLevelWindows(pid))
        if (Lower(ClassName(window)) == "tooltips_class32") return window;
    return nullptr;
}

struct Controls {
    HWND label1 = nullptr;
    HWND text1 = nullptr;
    HWND command1 = nullptr;
    HWND command2 = nullptr;
    std::vector<HWND> zOrder;
};

// Found by kind and caption, as a user sees them.
Controls FindControls(HWND window) {
    Controls found;
    found.zOrder = ChildWindows(window);
    for (HWND child : found.zOrder) {
        const std::string kind = Lower(ClassName(child));
        const std::string text = WindowText(child);
        if (kind == "static" && text == kLabel1Text) found.label1 = child;
        if (kind == "edit") found.text1 = child;
        if (kind == "button" && text == kCommand1Text) found.command1 = child;
        if (kind == "button" && text == kCommand2Text) found.command2 = child;
    }
    REQUIRE(found.label1 && found.text1 && found.command1 && found.command2);
    CHECK_EQ(found.zOrder.size(), 4u);
    return found;
}

struct Shown {
    Process process;
    HWND window = nullptr;
};

// Start-up's notice first; no window of the process may be visible until OK.
// Meanwhile every window of the process must answer: whoever sends a message
// to all windows (a settings change, say) must not hang on one the program
// holds ready behind its notice.
Shown ShowWindowAfterNotice() {
    MoveMouse({0, 0});  // keep tool tips out of the pictures taken
    Shown shown{Launch(), nullptr};
    const MsgBox box = WaitForMessageBox(shown.process);
    SleepMs(300);
    const auto visible = VisibleTopLevelWindows(shown.process.pid());
    CHECK_EQ(visible.size(), 1u);
    CHECK(visible.size() != 1 || visible.front() == box.window);
    for (HWND window : TopLevelWindowsOf(shown.process.pid())) {
        DWORD_PTR answer = 0;
        CHECK(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &answer));
    }
    PressOk(box);
    shown.window = WaitForWindow(shown.process, kWindowTitle);
    return shown;
}

// ---- pictures -------------------------------------------------------------------------------

struct Pixels {
    long width = 0, height = 0;
    std::vector<DWORD> bgra;  // 0xAARRGGBB, top-down
    DWORD at(long x, long y) const { return bgra[static_cast<std::size_t>(y * width + x)]; }
};

constexpr DWORD Rgb(DWORD pixel) {
    return pixel & 0xFFFFFF;
}
constexpr long Brightness(DWORD pixel) {
    return static_cast<long>((pixel & 0xFF) + ((pixel >> 8) & 0xFF) + ((pixel >> 16) & 0xFF)) / 3;
}

BITMAPINFO TopDown32(long width, long height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// What the screen shows at box (screen coordinates).
Pixels Screenshot(const Box& box) {
    Pixels pixels{box.width, box.height, {}};
    pixels.bgra.resize(static_cast<std::size_t>(box.width * box.height));
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = TopDown32(box.width, box.height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, box.width, box.height, screen, box.left, box.top, SRCCOPY);
    GdiFlush();
    std::copy_n(static_cast<const DWORD*>(bits), pixels.bgra.size(), pixels.bgra.begin());
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

Pixels ClientScreenshot(HWND window) {
    const Box client = ClientBox(window);
    const POINT origin = ScreenPoint(window, 0, 0);
    return Screenshot({origin.x, origin.y, client.width, client.height});
}

// The program file's resources, read as data.
struct ProgramResources {
    HMODULE module = LoadLibraryExW(Widen(ProgramPath()).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ProgramResources() { REQUIRE(module != nullptr); }
    ~ProgramResources() { FreeLibrary(module); }
    ProgramResources(const ProgramResources&) = delete;
    ProgramResources& operator=(const ProgramResources&) = delete;
};

// The program's icon as Windows renders it at size; the top byte of each
// pixel is 0xFF where the icon is opaque.
Pixels IconPixels(int size) {
    ProgramResources resources;
    HICON icon = static_cast<HICON>(
        LoadImageW(resources.module, MAKEINTRESOURCEW(kIconGroup), IMAGE_ICON, size, size, 0));
    REQUIRE(icon != nullptr);
    ICONINFO parts{};
    REQUIRE(GetIconInfo(icon, &parts));
    Pixels pixels{size, size, std::vector<DWORD>(static_cast<std::size_t>(size * size))};
    BITMAPINFO info = TopDown32(size, size);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, parts.hbmColor, 0, static_cast<UINT>(size),
                               pixels.bgra.data(), &info, DIB_RGB_COLORS);
    // An image without alpha is opaque where its mask is black.
    if (std::none_of(pixels.bgra.begin(), pixels.bgra.end(), [](DWORD p) { return p >> 24; })) {
        std::vector<DWORD> mask(pixels.bgra.size());
        GetDIBits(screen, parts.hbmMask, 0, static_cast<UINT>(size), mask.data(), &info,
                  DIB_RGB_COLORS);
        for (std::size_t i = 0; i < mask.size(); ++i)
            if (Rgb(mask[i]) == 0) pixels.bgra[i] |= 0xFF000000;
    }
    ReleaseDC(nullptr, screen);
    DeleteObject(parts.hbmColor);
    DeleteObject(parts.hbmMask);
    DestroyIcon(icon);
    REQUIRE_EQ(rows, size);
    return pixels;
}

// The logo resource decoded by the same platform codec the program uses.
Pixels LogoPixels() {
    ProgramResources resources;
    HRSRC found = FindResourceW(resources.module, MAKEINTRESOURCEW(kLogoResource), RT_RCDATA);
    REQUIRE(found != nullptr);
    auto* bytes = static_cast<BYTE*>(LockResource(LoadResource(resources.module, found)));
    const DWORD size = SizeofResource(resources.module, found);

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    UINT width = 0, height = 0;
    const bool opened =
        SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   __uuidof(IWICImagingFactory),
                                   reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromMemory(bytes, size)) &&
        SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                                   &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height)) &&
        SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                                        nullptr, 0.0, WICBitmapPaletteTypeCustom));
    Pixels pixels{static_cast<long>(width), static_cast<long>(height),
                  std::vector<DWORD>(std::size_t{width} * height)};
    const bool copied =
        opened && SUCCEEDED(converter->CopyPixels(nullptr, width * 4, width * height * 4,
                                                  reinterpret_cast<BYTE*>(pixels.bgra.data())));
    for (IUnknown* object :
         std::initializer_list<IUnknown*>{converter, frame, decoder, stream, factory})
        if (object) object->Release();
    REQUIRE(copied);
    return pixels;
}

// ---- settings that must not outlive the scenario ---------------------------------------------

struct LogPixels {
    explicit LogPixels(DWORD dpi) {
        SetRegDword(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels", dpi);
    }
    ~LogPixels() { DeleteRegValue(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels"); }
    LogPixels(const LogPixels&) = delete;
    LogPixels& operator=(const LogPixels&) = delete;
};

// ---- checks shared by the DPI scenarios --------------------------------------------------------

// The table's pixels at 96 DPI, in client coordinates.
const Box kLabel1At96{65, 40, 144, 25};
const Box kText1At96{65, 56, 145, 25};
const Box kCommand1At96{65, 88, 145, 41};
const Box kCommand2At96{65, 136, 145, 41};
const Box kClientAt96{0, 0, 274, 206};

void CheckLayout(HWND window, const Controls& controls, double scale) {
    CHECK_NEAR(ClientBox(window), Scaled(kClientAt96, scale));
    CHECK_NEAR(BoxIn(controls.label1, window), Scaled(kLabel1At96, scale));
    CHECK_NEAR(BoxIn(controls.text1, window), Scaled(kText1At96, scale));
    CHECK_NEAR(BoxIn(controls.command1, window), Scaled(kCommand1At96, scale));
    CHECK_NEAR(BoxIn(controls.command2, window), Scaled(kCommand2At96, scale));
}

void CheckCentredOnWorkArea(HWND window) {
    RECT area{}, frame{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(window, &frame);
    const long width = frame.right - frame.left;
    const long height = frame.bottom - frame.top;
    CHECK_NEAR((Box{frame.left, frame.top, width, height}),
               (Box{area.left + (area.right - area.left - width) / 2,
                    area.top + (area.bottom - area.top - height) / 2, width, height}));
}

// Read from the screen, right of where any text or caret would be.
void CheckText1Background(HWND text1) {
    RECT inside{};
    GetClientRect(text1, &inside);
    const POINT point = ScreenPoint(text1, inside.right - 3, inside.bottom / 2);
    const Pixels pixel = Screenshot({point.x, point.y, 1, 1});
    CHECK_EQ(Rgb(pixel.at(0, 0)), kText1Rgb);
}

void EndByClose(Shown& shown) {
    PostClose(shown.window);
    CHECK_EQ(shown.process.WaitExit(), 0u);
}

}  // namespace

SCENARIO(window_after_notice_only) {
    Shown shown = ShowWindowAfterNotice();
    CHECK_EQ(GetForegroundWindow(), shown.window);
    CHECK_EQ(WindowText(shown.window), kWindowTitle);
    CHECK_EQ(Lower(ClassName(shown.window)), "molravin");
    const LONG style = GetWindowLongW(shown.window, GWL_STYLE);
    Trace trace("frame style " + std::to_string(style));
    CHECK((style & WS_CAPTION) == WS_CAPTION);
    CHECK(style & WS_SYSMENU);
    CHECK(style & WS_MINIMIZEBOX);
    CHECK(!(style & WS_MAXIMIZEBOX));
    CHECK(!(style & WS_THICKFRAME));
    CHECK(!GetMenu(shown.window));
    CHECK(!(style & (WS_HSCROLL | WS_VSCROLL)));
    CheckCentredOnWorkArea(shown.window);
    EndByClose(shown);
}

SCENARIO(window_layout_at_96_dpi) {
    Shown shown = ShowWindowAfterNotice();
    const Controls controls = FindControls(shown.window);
    CheckLayout(shown.window, controls, 1.0);
    CHECK_EQ(WindowText(controls.text1), "");
    const LONG text1Style = GetWindowLongW(controls.text1, GWL_STYLE);
    CHECK(text1Style & ES_AUTOHSCROLL);
    CHECK(!(text1Style & ES_MULTILINE));
    // No length limit: the edit control's largest.
    CHECK(SendMessageW(controls.text1, EM_GETLIMITTEXT, 0, 0) >= 0x7FFFFFFE);
    CHECK_EQ(GetWindowLongW(controls.command1, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    CHECK_EQ(GetWindowLongW(controls.command2, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    // Escape would press a button with this id; Command2 has no keyboard role.
    CHECK(GetDlgCtrlID(controls.command2) != IDCANCEL);
    // Text1 is drawn over the label where they overlap: higher in the z order.
    const auto& z = controls.zOrder;
    CHECK(std::find(z.begin(), z.end(), controls.text1) <
          std::find(z.begin(), z.end(), controls.label1));
    CheckText1Background(controls.text1);
    EndByClose(shown);
}

// At 96 DPI the logo lies unscaled at the client's top-left, everywhere the
// controls leave free, and shows through around the label's text.
SCENARIO(window_logo_at_96_dpi) {
    const Pixels logo = LogoPixels();
    CHECK_EQ(logo.width, 274);
    CHECK_EQ(logo.height, 207);
    Shown shown = ShowWindowAfterNotice();
    const Controls controls = FindControls(shown.window);
    REQUIRE(WaitFor([&] { return !VisibleToolTip(shown.process.pid()); }));
    const Pixels screen = ClientScreenshot(shown.window);
    REQUIRE(screen.width <= logo.width && screen.height <= logo.height);

    const Box label = BoxIn(controls.label1, shown.window);
    const Box covered[] = {BoxIn(controls.text1, shown.window),
                           BoxIn(controls.command1, shown.window),
                           BoxIn(controls.command2, shown.window)};
    // Inside the label a pixel is the picture's or the text's ink: darker
    // than the picture. A filled background would be neither.
    long free = 0, freeSame = 0, inLabel = 0, inLabelOther = 0;
    for (long y = 0; y < screen.height; ++y) {
        for (long x = 0; x < screen.width; ++x) {
            if (std::any_of(std::begin(covered), std::end(covered),
                            [&](const Box& box) { return box.contains(x, y); }))
                continue;
            const DWORD shownPixel = Rgb(screen.at(x, y));
            const DWORD logoPixel = Rgb(logo.at(x, y));
            if (!label.contains(x, y)) {
                ++free;
                freeSame += shownPixel == logoPixel;
            } else {
                ++inLabel;
                inLabelOther +=
                    shownPixel != logoPixel && Brightness(shownPixel) + 40 > Brightness(logoPixel);
            }
        }
    }
    Trace trace("free pixels " + std::to_string(freeSame) + "/" + std::to_string(free) +
                " as the logo; label pixels neither logo nor ink " + std::to_string(inLabelOther) +
                "/" + std::to_string(inLabel));
    CHECK_EQ(freeSame, free);
    CHECK(inLabelOther * 20 <= inLabel);
    EndByClose(shown);
}

SCENARIO(window_scales_at_144_dpi) {
    LogPixels dpi(144);
    Shown shown = ShowWindowAfterNotice();
    const Controls controls = FindControls(shown.window);
    CHECK_EQ(ClientBox(shown.window).width, 411);
    CHECK_EQ(ClientBox(shown.window).height, 309);
    CheckLayout(shown.window, controls, 1.5);
    CheckCentredOnWorkArea(shown.window);
    CheckText1Background(controls.text1);

    // The picture grows with the window: it matches the logo enlarged by
    // 1.5 far better than the logo drawn unscaled.
    const Pixels logo = LogoPixels();
    REQUIRE(WaitFor([&] { return !VisibleToolTip(shown.process.pid()); }));
    const Pixels screen = ClientScreenshot(shown.window);
    const Box label = BoxIn(controls.label1, shown.window);
    const Box column{label.left, 0, BoxIn(controls.text1, shown.window).right() - label.left + 1,
                     screen.height};
    const auto distance = [](DWORD a, DWORD b) {
        long sum = 0;
        for (int shift = 0; shift < 24; shift += 8)
            sum += std::labs(static_cast<long>((a >> shift) & 0xFF) -
                             static_cast<long>((b >> shift) & 0xFF));
        return sum;
    };
    long scaledError = 0, unscaledError = 0, counted = 0;
    for (long y = 0; y < screen.height; ++y) {
        for (long x = 0; x < screen.width; ++x) {
            if (column.contains(x, y)) continue;  // the controls' column
            const DWORD shownPixel = screen.at(x, y);
            scaledError += distance(shownPixel, logo.at(x * 2 / 3, y * 2 / 3));
            unscaledError +=
                distance(shownPixel, x < logo.width && y < logo.height ? logo.at(x, y) : 0xFFFFFF);
            ++counted;
        }
    }
    Trace trace("mean error scaled " + std::to_string(scaledError / counted) + ", unscaled " +
                std::to_string(unscaledError / counted));
    CHECK(scaledError * 3 < unscaledError);
    EndByClose(shown);
}

SCENARIO(window_keyboard) {
    Shown shown = ShowWindowAfterNotice();
    const Controls controls = FindControls(shown.window);
    REQUIRE(WaitFor([&] { return FocusOf(shown.window) != nullptr; }));
    CHECK(FocusOf(shown.window) == controls.command1);
    REQUIRE(GetForegroundWindow() == shown.window);

    struct Step {
        const char* label;
        WORD modifier;
        HWND expected;
    };
    const Step steps[] = {
        {"Tab to Text1", 0, controls.text1},
        {"Tab to Command2", 0, controls.command2},
        {"Tab past the label to Command1", 0, controls.command1},
        {"Shift+Tab to Command2", VK_SHIFT, controls.command2},
        {"Shift+Tab to Text1", VK_SHIFT, controls.text1},
        {"Shift+Tab to Command1", VK_SHIFT, controls.command1},
    };
    for (const Step& step : steps) {
        Trace trace(step.label);
        PressKey(VK_TAB, step.modifier);
        CHECK(WaitFor([&] { return FocusOf(shown.window) == step.expected; }, 3000));
    }

    // Typing fills Text1 and nothing else: no other control changes, no file appears.
    PressKey(VK_TAB);
    REQUIRE(WaitFor([&] { return FocusOf(shown.window) == controls.text1; }, 3000));
    TypeText(L"10.0.0.1");
    CHECK(WaitFor([&] { return WindowText(controls.text1) == "10.0.0.1"; }, 3000));
    CHECK_EQ(WindowText(controls.label1), kLabel1Text);
    CHECK_EQ(WindowText(controls.command1), kCommand1Text);
    CHECK_EQ(WindowText(controls.command2), kCommand2Text);
    CHECK_EQ(ChildWindows(shown.window).size(), 4u);
    SleepMs(300);
    CHECK_EQ(ListFolder(WorkDir()).size(), 0u);
    EndByClose(shown);
}

SCENARIO(window_tool_tips) {
    Shown shown = ShowWindowAfterNotice();
    const Controls controls = FindControls(shown.window);
    const DWORD pid = shown.process.pid();
    struct Row {
        const char* label;
        HWND control;
        std::string tip;
    };
    const Row rows[] = {
        {"Text1", controls.text1, "IP der Molra Anlage hier eingeben."},
        {"Command1", controls.command1, "IP der Molra Maschine ermitteln"},
        {"Command2", controls.command2,
         "Speichern und Schlie\xC3\x9F"
         "en"},
    };
    for (const Row& row : rows) {
        Trace trace(row.label);
        const Box box = BoxIn(row.control, shown.window);
        MoveMouse(ScreenPoint(shown.window, box.left + box.width / 2, box.top + box.height / 2));
        HWND tip = nullptr;
        CHECK(WaitFor([&] {
            tip = VisibleToolTip(pid);
            return tip && !WindowText(tip).empty();
        }));
        if (tip) CHECK_EQ(WindowText(tip), row.tip);
        MoveMouse({0, 0});
        CHECK(WaitFor([&] { return !VisibleToolTip(pid); }));
    }
    // The label's own part, above Text1, shows no tip however long the mouse rests.
    const Box label = BoxIn(controls.label1, shown.window);
    MoveMouse(ScreenPoint(shown.window, label.left + label.width / 2, label.top + 4));
    SleepMs(2000);
    CHECK(VisibleToolTip(pid) == nullptr);
    MoveMouse({0, 0});
    EndByClose(shown);
}

// Wine answers neither WM_GETICON nor the class icon for another process's
// window, so the icon is checked where the frame draws it: the small icon at
// the left of the caption must be the program's own, pixel for pixel where
// it is opaque.
SCENARIO(window_icon_in_caption) {
    const int size = GetSystemMetrics(SM_CXSMICON);
    const Pixels icon = IconPixels(size);
    std::vector<std::pair<long, long>> opaque;
    for (long y = 0; y < size; ++y)
        for (long x = 0; x < size; ++x)
            if ((icon.at(x, y) >> 24) == 0xFF) opaque.emplace_back(x, y);
    REQUIRE(opaque.size() >= static_cast<std::size_t>(size * size / 4));

    Shown shown = ShowWindowAfterNotice();
    RECT frame{};
    GetWindowRect(shown.window, &frame);
    const POINT client = ScreenPoint(shown.window, 0, 0);
    const Pixels caption = Screenshot({frame.left, frame.top, 3 * size, client.y - frame.top});
    REQUIRE(caption.height >= size);
    bool found = false;
    for (long top = 0; top + size <= caption.height && !found; ++top) {
        for (long left = 0; left + size <= caption.width && !found; ++left) {
            found = std::all_of(opaque.begin(), opaque.end(), [&](const auto& at) {
                return Rgb(caption.at(left + at.first, top + at.second)) ==
                       Rgb(icon.at(at.first, at.second));
            });
        }
    }
    CHECK(found);
    EndByClose(shown);
}

SCENARIO(window_ends_program) {
    struct Row {
        const char* label;
        std::function<void(HWND window, const Controls&)> end;
    };
    const Row rows[] = {
        {"Command2", [](HWND, const Controls& c) { ClickButton(c.command2); }},
        {"WM_CLOSE", [](HWND window, const Controls&) { PostClose(window); }},
        {"SC_CLOSE",
         [](HWND window, const Controls&) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Alt+F4", [](HWND, const Controls&) { PressKey(VK_F4, VK_MENU); }},
    };
    for (const Row& row : rows) {
        Trace trace(row.label);
        Shown shown = ShowWindowAfterNotice();
        const Controls controls = FindControls(shown.window);
        row.end(shown.window, controls);
        CHECK_EQ(shown.process.WaitExit(5000), 0u);
        shown.process.WaitAllExited();
    }
}
