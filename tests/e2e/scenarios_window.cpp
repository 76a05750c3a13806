// The main window of the real program, started with no argument in an empty
// folder: when it appears, its layout at 96 and 144 DPI, the picture behind
// it, what a screen reader reads, contrast in two colour schemes, keyboard
// order and typing, tool tips, icon, and how it ends.
#include <oleacc.h>
#include <wincodec.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <map>

#include "driver/driver.h"
#include "expected_texts.h"

using namespace e2e;
using molra::expected::kCommand1;
using molra::expected::kCommand2;
using molra::expected::kLabel1;
using molra::expected::kTipCommand1;
using molra::expected::kTipCommand2;
using molra::expected::kTipText1;
using molra::expected::kWindowTitle;

namespace {

class Window : public Scenario {};

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

// For EXPECT_PRED_FORMAT2: every edge within 1 px.
::testing::AssertionResult WithinOnePixel(const char* actualExpression, const char*,
                                          const Box& actual, const Box& expected) {
    const auto within1 = [](long a, long b) { return std::labs(a - b) <= 1; };
    if (within1(actual.left, expected.left) && within1(actual.top, expected.top) &&
        within1(actual.width, expected.width) && within1(actual.height, expected.height))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << actualExpression << " within 1 px\n    actual:   " << actual
           << "\n    expected: " << expected;
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

void MoveMouse(POINT point) { SetCursorPos(point.x, point.y); }

// ---- the process's windows ----------------------------------------------------------------

std::vector<HWND> VisibleTopLevelWindows(DWORD pid) {
    std::vector<HWND> visible;
    for (HWND window : TopLevelWindowsOf(pid))
        if (IsWindowVisible(window)) visible.push_back(window);
    return visible;
}

HWND VisibleToolTip(DWORD pid) {
    for (HWND window : VisibleTopLevelWindows(pid))
        if (Lower(ClassName(window)) == "tooltips_class32") return window;
    return nullptr;
}

// The window's controls, found by kind and caption, as a user sees them.
struct Controls {
    HWND label1 = nullptr;
    HWND text1 = nullptr;
    HWND command1 = nullptr;
    HWND command2 = nullptr;
    std::vector<HWND> zOrder;

    explicit Controls(HWND window) { Find(window); }

private:
    // Apart from the constructor, where ASSERT_* cannot stand.
    void Find(HWND window) {
        zOrder = ChildWindows(window);
        for (HWND child : zOrder) {
            const std::string kind = Lower(ClassName(child));
            const std::string text = WindowText(child);
            if (kind == "static" && text == kLabel1) label1 = child;
            if (kind == "edit") text1 = child;
            if (kind == "button" && text == kCommand1) command1 = child;
            if (kind == "button" && text == kCommand2) command2 = child;
        }
        ASSERT_TRUE(label1 && text1 && command1 && command2);
        EXPECT_EQ(zOrder.size(), 4u);
    }
};

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
    EXPECT_EQ(visible.size(), 1u);
    EXPECT_TRUE(visible.size() != 1 || visible.front() == box.window);
    for (HWND window : TopLevelWindowsOf(shown.process.pid())) {
        DWORD_PTR answer = 0;
        EXPECT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &answer));
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

constexpr DWORD Rgb(DWORD pixel) { return pixel & 0xFFFFFF; }
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
    ProgramResources() { ExpectLoaded(); }
    ~ProgramResources() { FreeLibrary(module); }
    ProgramResources(const ProgramResources&) = delete;
    ProgramResources& operator=(const ProgramResources&) = delete;

private:
    // Apart from the constructor, where ASSERT_* cannot stand.
    void ExpectLoaded() const { ASSERT_TRUE(module != nullptr); }
};

// The program's icon as Windows renders it at size; the top byte of each
// pixel is 0xFF where the icon is opaque.
void IconPixels(int size, Pixels& pixels) {
    ProgramResources resources;
    HICON icon = static_cast<HICON>(
        LoadImageW(resources.module, MAKEINTRESOURCEW(kIconGroup), IMAGE_ICON, size, size, 0));
    ASSERT_TRUE(icon != nullptr);
    ICONINFO parts{};
    ASSERT_TRUE(GetIconInfo(icon, &parts));
    pixels = {size, size, std::vector<DWORD>(static_cast<std::size_t>(size * size))};
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
    ASSERT_EQ(rows, size);
}

// The logo resource decoded by the same platform codec the program uses.
void LogoPixels(Pixels& pixels) {
    ProgramResources resources;
    HRSRC found = FindResourceW(resources.module, MAKEINTRESOURCEW(kLogoResource), RT_RCDATA);
    ASSERT_TRUE(found != nullptr);
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
    pixels = {static_cast<long>(width), static_cast<long>(height),
              std::vector<DWORD>(std::size_t{width} * height)};
    const bool copied =
        opened && SUCCEEDED(converter->CopyPixels(nullptr, width * 4, width * height * 4,
                                                  reinterpret_cast<BYTE*>(pixels.bgra.data())));
    for (IUnknown* object :
         std::initializer_list<IUnknown*>{converter, frame, decoder, stream, factory})
        if (object) object->Release();
    ASSERT_TRUE(copied);
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

// The label keeps its top edge and height; when its text needs more room it
// is widened, centred on the column of Text1 and the buttons.
void CheckLayout(HWND window, const Controls& controls, double scale) {
    EXPECT_PRED_FORMAT2(WithinOnePixel, ClientBox(window), Scaled(kClientAt96, scale));
    const Box label = BoxIn(controls.label1, window);
    const Box table = Scaled(kLabel1At96, scale);
    const Box column = Scaled(kText1At96, scale);
    EXPECT_TRUE(label.width + 1 >= table.width);
    EXPECT_PRED_FORMAT2(WithinOnePixel, label,
                        (Box{(2 * column.left + column.width - label.width) / 2, table.top,
                             label.width, table.height}));
    EXPECT_PRED_FORMAT2(WithinOnePixel, BoxIn(controls.text1, window), Scaled(kText1At96, scale));
    EXPECT_PRED_FORMAT2(WithinOnePixel, BoxIn(controls.command1, window),
                        Scaled(kCommand1At96, scale));
    EXPECT_PRED_FORMAT2(WithinOnePixel, BoxIn(controls.command2, window),
                        Scaled(kCommand2At96, scale));
}

void CheckCentredOnWorkArea(HWND window) {
    RECT area{}, frame{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(window, &frame);
    const long width = frame.right - frame.left;
    const long height = frame.bottom - frame.top;
    EXPECT_PRED_FORMAT2(WithinOnePixel, (Box{frame.left, frame.top, width, height}),
                        (Box{area.left + (area.right - area.left - width) / 2,
                             area.top + (area.bottom - area.top - height) / 2, width, height}));
}

// Read from the screen, right of where any text or caret would be.
void CheckText1Background(HWND text1) {
    RECT inside{};
    GetClientRect(text1, &inside);
    const POINT point = ScreenPoint(text1, inside.right - 3, inside.bottom / 2);
    const Pixels pixel = Screenshot({point.x, point.y, 1, 1});
    EXPECT_EQ(Rgb(pixel.at(0, 0)), kText1Rgb);
}

// ---- legibility -------------------------------------------------------------------------------

// WCAG 2.x, written out here rather than taken from the program.
double Luminance(DWORD pixel) {
    const auto linear = [](DWORD channel) {
        const double value = channel / 255.0;
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear((pixel >> 16) & 0xFF) + 0.7152 * linear((pixel >> 8) & 0xFF) +
           0.0722 * linear(pixel & 0xFF);
}

double Contrast(DWORD a, DWORD b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Text seen on screen inside box: the commonest colour is taken as its
// ground, the colour that stands out most from it as its ink; ink is every
// pixel at least half-way there (in contrast), and inkBox holds them all.
struct Legibility {
    DWORD ground = 0, ink = 0;
    double contrast = 1.0;
    Box inkBox{0, 0, 0, 0};
};

std::ostream& operator<<(std::ostream& out, const Legibility& seen) {
    char line[96];
    std::snprintf(line, sizeof line, "%06lX on %06lX: %.2f:1", Rgb(seen.ink), Rgb(seen.ground),
                  seen.contrast);
    return out << line << ", ink " << seen.inkBox;
}

void MeasureText(const Pixels& screen, const Box& box, Legibility& seen) {
    std::map<DWORD, long> counts;
    for (long y = box.top; y < box.bottom(); ++y)
        for (long x = box.left; x < box.right(); ++x) ++counts[Rgb(screen.at(x, y))];
    ASSERT_TRUE(!counts.empty());
    seen = {};
    seen.ground = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                      return a.second < b.second;
                  })->first;
    for (const auto& [colour, count] : counts) {
        if (Contrast(colour, seen.ground) > seen.contrast) {
            seen.contrast = Contrast(colour, seen.ground);
            seen.ink = colour;
        }
    }
    long left = box.right(), top = box.bottom(), right = box.left, bottom = box.top;
    for (long y = box.top; y < box.bottom(); ++y) {
        for (long x = box.left; x < box.right(); ++x) {
            if (seen.contrast < 1.5 ||
                Contrast(Rgb(screen.at(x, y)), seen.ground) < (1 + seen.contrast) / 2)
                continue;
            left = std::min(left, x), right = std::max(right, x + 1);
            top = std::min(top, y), bottom = std::max(bottom, y + 1);
        }
    }
    if (right > left) seen.inkBox = {left, top, right - left, bottom - top};
}

// Where the label shows: its box above Text1.
Box LabelArea(HWND window, const Controls& controls) {
    const Box label = BoxIn(controls.label1, window);
    return {label.left, label.top, label.width,
            std::min(label.bottom(), BoxIn(controls.text1, window).top) - label.top};
}

// Inside Text1's border.
Box Text1Area(HWND window, const Controls& controls) {
    RECT inside{};
    GetClientRect(controls.text1, &inside);
    POINT origin{0, 0};
    MapWindowPoints(controls.text1, window, &origin, 1);
    return {origin.x, origin.y, inside.right, inside.bottom};
}

// The label's text in one line of the system's message font at dpi, as
// measured here: the width the whole text needs on screen.
void LabelTextWidth(UINT dpi, long& width) {
    using ForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    const auto forDpi = reinterpret_cast<ForDpiFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, 96));
    LOGFONTW logFont = metrics.lfMessageFont;
    logFont.lfHeight = MulDiv(logFont.lfHeight, static_cast<int>(dpi), 96);
    HFONT font = CreateFontIndirectW(&logFont);
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, font);
    const std::wstring text = Widen(kLabel1);
    SIZE size{};
    GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    DeleteObject(font);
    width = size.cx;
}

// The whole label text shows on one line: its ink is about as wide as the
// text (a cut after "MOLRAvin" leaves three quarters) and ends inside the box.
void CheckWholeLabel(HWND window, const Controls& controls, UINT dpi) {
    ASSERT_TRUE(
        WaitFor([&] { return !VisibleToolTip(GetWindowThreadProcessId(window, nullptr)); }));
    const Pixels screen = ClientScreenshot(window);
    const Box area = LabelArea(window, controls);
    Legibility seen;
    MeasureText(screen, area, seen);
    long needed = 0;
    LabelTextWidth(dpi, needed);
    std::printf("label at %u DPI: text %ld px, box %ld px, ink %s\n", dpi, needed, area.width,
                ::testing::PrintToString(seen.inkBox).c_str());
    std::fflush(stdout);
    SCOPED_TRACE("label area " + ::testing::PrintToString(area) + ", ink " +
                 ::testing::PrintToString(seen.inkBox) + ", text " + std::to_string(needed) +
                 " px");
    EXPECT_TRUE(seen.inkBox.width * 10 >= needed * 9);
    EXPECT_TRUE(seen.inkBox.right() < area.right());
    EXPECT_TRUE(area.width >= needed - 2);
}

// What oleacc tells a screen reader; "" when it has no name.
std::string AccessibleName(HWND window, LONG object) {
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(object), IID_IAccessible,
                                          reinterpret_cast<void**>(&accessible))))
        return "";
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    std::string result;
    if (SUCCEEDED(accessible->get_accName(self, &name)) && name) result = Narrow(name);
    SysFreeString(name);
    accessible->Release();
    return result;
}

// The window with its frame as a PNG, for the read-me.
void SavePicture(HWND window, const std::string& path) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const Pixels pixels =
        Screenshot({frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top});
    const UINT stride = static_cast<UINT>(pixels.width * 3 + 3) / 4 * 4;
    std::vector<BYTE> bgr(stride * static_cast<std::size_t>(pixels.height));
    for (long y = 0; y < pixels.height; ++y)
        for (long x = 0; x < pixels.width; ++x)
            for (int c = 0; c < 3; ++c)
                bgr[y * stride + x * 3 + c] = static_cast<BYTE>(pixels.at(x, y) >> (8 * c));
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* picture = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    const bool saved =
        SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   __uuidof(IWICImagingFactory),
                                   reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromFilename(Widen(path).c_str(), GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&picture, nullptr)) &&
        SUCCEEDED(picture->Initialize(nullptr)) &&
        SUCCEEDED(
            picture->SetSize(static_cast<UINT>(pixels.width), static_cast<UINT>(pixels.height))) &&
        SUCCEEDED(picture->SetPixelFormat(&format)) && format == GUID_WICPixelFormat24bppBGR &&
        SUCCEEDED(picture->WritePixels(static_cast<UINT>(pixels.height), stride,
                                       static_cast<UINT>(bgr.size()), bgr.data())) &&
        SUCCEEDED(picture->Commit()) && SUCCEEDED(encoder->Commit());
    for (IUnknown* object : std::initializer_list<IUnknown*>{picture, encoder, stream, factory})
        if (object) object->Release();
    EXPECT_TRUE(saved);
}

void EndByClose(Shown& shown) {
    PostClose(shown.window);
    EXPECT_EQ(shown.process.WaitExit(), 0u);
}

}  // namespace

TEST_F(Window, window_after_notice_only) {
    Shown shown = ShowWindowAfterNotice();
    EXPECT_EQ(GetForegroundWindow(), shown.window);
    EXPECT_EQ(WindowText(shown.window), kWindowTitle);
    EXPECT_EQ(Lower(ClassName(shown.window)), "molravin");
    const LONG style = GetWindowLongW(shown.window, GWL_STYLE);
    SCOPED_TRACE("frame style " + std::to_string(style));
    EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(!(style & WS_MAXIMIZEBOX));
    EXPECT_TRUE(!(style & WS_THICKFRAME));
    EXPECT_TRUE(!GetMenu(shown.window));
    EXPECT_TRUE(!(style & (WS_HSCROLL | WS_VSCROLL)));
    CheckCentredOnWorkArea(shown.window);
    EndByClose(shown);
}

TEST_F(Window, window_layout_at_96_dpi) {
    Shown shown = ShowWindowAfterNotice();
    const Controls controls(shown.window);
    CheckLayout(shown.window, controls, 1.0);
    EXPECT_EQ(WindowText(controls.text1), "");
    const LONG text1Style = GetWindowLongW(controls.text1, GWL_STYLE);
    EXPECT_TRUE(text1Style & ES_AUTOHSCROLL);
    EXPECT_TRUE(!(text1Style & ES_MULTILINE));
    // No length limit: the edit control's largest.
    EXPECT_TRUE(SendMessageW(controls.text1, EM_GETLIMITTEXT, 0, 0) >= 0x7FFFFFFE);
    EXPECT_EQ(GetWindowLongW(controls.command1, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(GetWindowLongW(controls.command2, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    // Escape would press a button with this id; Command2 has no keyboard role.
    EXPECT_TRUE(GetDlgCtrlID(controls.command2) != IDCANCEL);
    CheckText1Background(controls.text1);

    // The label stands just before Text1 in the z order, where Windows looks
    // for an edit box's name (Wine looks at any static before it), yet Text1
    // is drawn over it where they overlap: its top rows show its own colour.
    EXPECT_TRUE(GetWindow(controls.text1, GW_HWNDPREV) == controls.label1);
    const Box text1 = Text1Area(shown.window, controls);
    const Pixels overlap =
        Screenshot({ScreenPoint(shown.window, text1.left, text1.top).x,
                    ScreenPoint(shown.window, text1.left, text1.top).y, text1.width, 4});
    long yellow = 0;
    for (const DWORD pixel : overlap.bgra) yellow += Rgb(pixel) == kText1Rgb;
    EXPECT_EQ(yellow, overlap.width * overlap.height);

    // What a screen reader reads, through oleacc as another process sees it.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(AccessibleName(shown.window, OBJID_CLIENT), kWindowTitle);
    EXPECT_EQ(AccessibleName(controls.text1, OBJID_CLIENT), kLabel1);
    EXPECT_EQ(AccessibleName(controls.label1, OBJID_CLIENT), kLabel1);
    EXPECT_EQ(AccessibleName(controls.command1, OBJID_CLIENT), kCommand1);
    EXPECT_EQ(AccessibleName(controls.command2, OBJID_CLIENT), kCommand2);

    CheckWholeLabel(shown.window, controls, 96);
    EndByClose(shown);
}

// At 96 DPI the logo lies unscaled at the client's top-left, everywhere the
// controls leave free, and shows through around the label's text.
TEST_F(Window, window_logo_at_96_dpi) {
    Pixels logo;
    LogoPixels(logo);
    EXPECT_EQ(logo.width, 274);
    EXPECT_EQ(logo.height, 207);
    Shown shown = ShowWindowAfterNotice();
    const Controls controls(shown.window);
    ASSERT_TRUE(WaitFor([&] { return !VisibleToolTip(shown.process.pid()); }));
    const Pixels screen = ClientScreenshot(shown.window);
    ASSERT_TRUE(screen.width <= logo.width && screen.height <= logo.height);

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
    SCOPED_TRACE("free pixels " + std::to_string(freeSame) + "/" + std::to_string(free) +
                 " as the logo; label pixels neither logo nor ink " + std::to_string(inLabelOther) +
                 "/" + std::to_string(inLabel));
    EXPECT_EQ(freeSame, free);
    EXPECT_TRUE(inLabelOther * 20 <= inLabel);
    EndByClose(shown);
}

TEST_F(Window, window_scales_at_144_dpi) {
    LogPixels dpi(144);
    Shown shown = ShowWindowAfterNotice();
    const Controls controls(shown.window);
    EXPECT_EQ(ClientBox(shown.window).width, 411);
    EXPECT_EQ(ClientBox(shown.window).height, 309);
    CheckLayout(shown.window, controls, 1.5);
    CheckCentredOnWorkArea(shown.window);
    CheckText1Background(controls.text1);
    CheckWholeLabel(shown.window, controls, 144);

    // The picture grows with the window: it matches the logo enlarged by
    // 1.5 far better than the logo drawn unscaled.
    Pixels logo;
    LogoPixels(logo);
    ASSERT_TRUE(WaitFor([&] { return !VisibleToolTip(shown.process.pid()); }));
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
    SCOPED_TRACE("mean error scaled " + std::to_string(scaledError / counted) + ", unscaled " +
                 std::to_string(unscaledError / counted));
    EXPECT_TRUE(scaledError * 3 < unscaledError);
    EndByClose(shown);
}

TEST_F(Window, window_keyboard) {
    Shown shown = ShowWindowAfterNotice();
    const Controls controls(shown.window);
    ASSERT_TRUE(WaitFor([&] { return FocusOf(shown.window) != nullptr; }));
    EXPECT_TRUE(FocusOf(shown.window) == controls.command1);
    ASSERT_TRUE(GetForegroundWindow() == shown.window);

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
        SCOPED_TRACE(step.label);
        PressKey(VK_TAB, step.modifier);
        EXPECT_TRUE(WaitFor([&] { return FocusOf(shown.window) == step.expected; }, 3000));
    }

    // Typing fills Text1 and nothing else: no other control changes, no file appears.
    PressKey(VK_TAB);
    ASSERT_TRUE(WaitFor([&] { return FocusOf(shown.window) == controls.text1; }, 3000));
    TypeText(L"10.0.0.1");
    EXPECT_TRUE(WaitFor([&] { return WindowText(controls.text1) == "10.0.0.1"; }, 3000));
    EXPECT_EQ(WindowText(controls.label1), kLabel1);
    EXPECT_EQ(WindowText(controls.command1), kCommand1);
    EXPECT_EQ(WindowText(controls.command2), kCommand2);
    EXPECT_EQ(ChildWindows(shown.window).size(), 4u);
    SleepMs(300);
    EXPECT_EQ(ListFolder(WorkDir()).size(), 0u);
    EndByClose(shown);
}

TEST_F(Window, window_tool_tips) {
    Shown shown = ShowWindowAfterNotice();
    const Controls controls(shown.window);
    const DWORD pid = shown.process.pid();
    struct Row {
        const char* label;
        HWND control;
        std::string tip;
    };
    const Row rows[] = {
        {"Text1", controls.text1, kTipText1},
        {"Command1", controls.command1, kTipCommand1},
        {"Command2", controls.command2, kTipCommand2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const Box box = BoxIn(row.control, shown.window);
        MoveMouse(ScreenPoint(shown.window, box.left + box.width / 2, box.top + box.height / 2));
        HWND tip = nullptr;
        EXPECT_TRUE(WaitFor([&] {
            tip = VisibleToolTip(pid);
            return tip && !WindowText(tip).empty();
        }));
        if (tip) {
            EXPECT_EQ(WindowText(tip), row.tip);
        }
        MoveMouse({0, 0});
        EXPECT_TRUE(WaitFor([&] { return !VisibleToolTip(pid); }));
    }
    // The label's own part, above Text1, shows no tip however long the mouse rests.
    const Box label = BoxIn(controls.label1, shown.window);
    MoveMouse(ScreenPoint(shown.window, label.left + label.width / 2, label.top + 4));
    SleepMs(2000);
    EXPECT_TRUE(VisibleToolTip(pid) == nullptr);
    MoveMouse({0, 0});
    EndByClose(shown);
}

// Wine answers neither WM_GETICON nor the class icon for another process's
// window, so the icon is checked where the frame draws it: the small icon at
// the left of the caption must be the program's own, pixel for pixel where
// it is opaque.
TEST_F(Window, window_icon_in_caption) {
    const int size = GetSystemMetrics(SM_CXSMICON);
    Pixels icon;
    IconPixels(size, icon);
    std::vector<std::pair<long, long>> opaque;
    for (long y = 0; y < size; ++y)
        for (long x = 0; x < size; ++x)
            if ((icon.at(x, y) >> 24) == 0xFF) opaque.emplace_back(x, y);
    ASSERT_TRUE(opaque.size() >= static_cast<std::size_t>(size * size / 4));

    Shown shown = ShowWindowAfterNotice();
    RECT frame{};
    GetWindowRect(shown.window, &frame);
    const POINT client = ScreenPoint(shown.window, 0, 0);
    const Pixels caption = Screenshot({frame.left, frame.top, 3 * size, client.y - frame.top});
    ASSERT_TRUE(caption.height >= size);
    bool found = false;
    for (long top = 0; top + size <= caption.height && !found; ++top) {
        for (long left = 0; left + size <= caption.width && !found; ++left) {
            found = std::all_of(opaque.begin(), opaque.end(), [&](const auto& at) {
                return Rgb(caption.at(left + at.first, top + at.second)) ==
                       Rgb(icon.at(at.first, at.second));
            });
        }
    }
    EXPECT_TRUE(found);
    EndByClose(shown);
}

TEST_F(Window, window_ends_program) {
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
        SCOPED_TRACE(row.label);
        Shown shown = ShowWindowAfterNotice();
        const Controls controls(shown.window);
        row.end(shown.window, controls);
        EXPECT_EQ(shown.process.WaitExit(5000), 0u);
        shown.process.WaitAllExited();
    }

    // While the notice is up nothing may end the program silently with 0:
    // closing every window of the process closes the notice, and the window
    // follows; a quit ends the program, but not as a success.
    {
        SCOPED_TRACE("WM_CLOSE to every window of the process during the notice");
        Process process = Launch();
        WaitForMessageBox(process);
        for (HWND window : TopLevelWindowsOf(process.pid())) PostClose(window);
        SleepMs(300);
        if (const auto box = FindMessageBox(process)) PressOk(*box);  // a box may not close
        PostClose(WaitForWindow(process, kWindowTitle));
        EXPECT_EQ(process.WaitExit(5000), 0u);
    }
    {
        SCOPED_TRACE("WM_QUIT during the notice");
        Process process = Launch();
        const MsgBox box = WaitForMessageBox(process);
        PostThreadMessageW(GetWindowThreadProcessId(box.window, nullptr), WM_QUIT, 0, 0);
        EXPECT_EQ(process.WaitExit(5000), DWORD{ERROR_CANCELLED});
    }
}

// Readable in the default scheme and in a white-on-black one like Windows'
// high contrast black. Wine never reports high contrast, so the scheme is
// given as system colours, set before the program starts. Each row leaves a
// picture of the window for the read-me in C:\e2e\logs.
TEST_F(Window, window_contrast_schemes) {
    const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0), purple = RGB(128, 0, 128);
    const std::map<int, COLORREF> whiteOnBlack = {
        // clang-format off
        {COLOR_WINDOW, black},         {COLOR_WINDOWTEXT, white},  {COLOR_BTNFACE, black},
        {COLOR_BTNTEXT, white},        {COLOR_BTNHIGHLIGHT, white}, {COLOR_BTNSHADOW, RGB(128, 128, 128)},
        {COLOR_HIGHLIGHT, purple},     {COLOR_HIGHLIGHTTEXT, white}, {COLOR_GRAYTEXT, RGB(0, 255, 0)},
        {COLOR_INFOBK, black},         {COLOR_INFOTEXT, white},    {COLOR_ACTIVECAPTION, purple},
        {COLOR_GRADIENTACTIVECAPTION, purple}, {COLOR_CAPTIONTEXT, white},
        // clang-format on
    };
    struct Row {
        const char* label;
        bool whiteOnBlack;
        const char* picture;
    };
    const Row rows[] = {
        {"default scheme", false, "window.png"},
        {"white on black", true, "window-contrast.png"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        if (row.whiteOnBlack) SetSystemColours(whiteOnBlack);
        Shown shown = ShowWindowAfterNotice();
        const Controls controls(shown.window);
        // Typed text; then the focus moves on, so that no caret is measured.
        PressKey(VK_TAB);
        ASSERT_TRUE(WaitFor([&] { return FocusOf(shown.window) == controls.text1; }, 3000));
        TypeText(L"192.168.2.1");
        ASSERT_TRUE(WaitFor([&] { return WindowText(controls.text1) == "192.168.2.1"; }, 3000));
        PressKey(VK_TAB);
        ASSERT_TRUE(WaitFor([&] { return FocusOf(shown.window) == controls.command2; }, 3000));
        ASSERT_TRUE(WaitFor([&] { return !VisibleToolTip(shown.process.pid()); }));
        SleepMs(200);

        const Pixels screen = ClientScreenshot(shown.window);
        Legibility label, typed;
        MeasureText(screen, LabelArea(shown.window, controls), label);
        MeasureText(screen, Text1Area(shown.window, controls), typed);
        std::printf("%s: label %s; typed text %s\n", row.label,
                    ::testing::PrintToString(label).c_str(),
                    ::testing::PrintToString(typed).c_str());
        std::fflush(stdout);
        EXPECT_TRUE(label.contrast >= 4.5);
        EXPECT_TRUE(typed.contrast >= 4.5);
        if (row.whiteOnBlack) {
            // The system's colours throughout: no logo, no yellow box.
            const Box covered[] = {BoxIn(controls.text1, shown.window),
                                   BoxIn(controls.command1, shown.window),
                                   BoxIn(controls.command2, shown.window)};
            long other = 0;
            for (long y = 0; y < screen.height; ++y)
                for (long x = 0; x < screen.width; ++x)
                    other += Rgb(screen.at(x, y)) != 0 &&
                             !LabelArea(shown.window, controls).contains(x, y) &&
                             std::none_of(std::begin(covered), std::end(covered),
                                          [&](const Box& box) { return box.contains(x, y); });
            EXPECT_EQ(other, 0);
            EXPECT_EQ(Rgb(typed.ground), 0u);
        } else {
            EXPECT_EQ(Rgb(typed.ground), kText1Rgb);
        }
        SavePicture(shown.window, "C:\\e2e\\logs\\" + std::string(row.picture));
        EndByClose(shown);
        RestoreSystemColours();
    }
}
