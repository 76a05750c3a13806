// Per-monitor DPI where Windows 10 offers it, the system DPI elsewhere.
#include "ui/win32/dpi_win.h"

#include "platform/win32/win32_platform.h"

namespace molra {

namespace {

// user32 is delay-loaded: asking only for an already loaded module could
// find none and freeze the table empty. Loading it here cannot.
template <typename Fn>
Fn User32Proc(const char* name) {
    return SystemProc<Fn>(L"user32.dll", name);
}

// All from Windows 10 1607; null before that.
struct DpiFunctions {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetDpiForSystemFn = UINT(WINAPI*)();
    using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    using EnableNonClientDpiScalingFn = BOOL(WINAPI*)(HWND);

    GetDpiForWindowFn getDpiForWindow = User32Proc<GetDpiForWindowFn>("GetDpiForWindow");
    GetDpiForSystemFn getDpiForSystem = User32Proc<GetDpiForSystemFn>("GetDpiForSystem");
    AdjustWindowRectExForDpiFn adjustWindowRectExForDpi =
        User32Proc<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    GetSystemMetricsForDpiFn getSystemMetricsForDpi =
        User32Proc<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    SystemParametersInfoForDpiFn systemParametersInfoForDpi =
        User32Proc<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
    EnableNonClientDpiScalingFn enableNonClientDpiScaling =
        User32Proc<EnableNonClientDpiScalingFn>("EnableNonClientDpiScaling");
};

const DpiFunctions& Functions() {
    static const DpiFunctions functions;
    return functions;
}

}  // namespace

void EnableFrameScaling(HWND window) {
    if (Functions().enableNonClientDpiScaling) Functions().enableNonClientDpiScaling(window);
}

UINT SystemDpi() {
    UINT dpi = 0;
    if (Functions().getDpiForSystem) {
        dpi = Functions().getDpiForSystem();
    } else if (HDC screen = GetDC(nullptr)) {
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
        ReleaseDC(nullptr, screen);
    }
    return dpi ? dpi : kDefaultDpi;
}

UINT WindowDpi(HWND window) {
    const UINT dpi = Functions().getDpiForWindow ? Functions().getDpiForWindow(window) : 0;
    return dpi ? dpi : SystemDpi();
}

SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
    RECT rect{0, 0, client.cx, client.cy};
    if (Functions().adjustWindowRectExForDpi)
        Functions().adjustWindowRectExForDpi(&rect, style, FALSE, exStyle, dpi);
    else
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

int SystemMetricForDpi(int index, UINT dpi) {
    if (Functions().getSystemMetricsForDpi) return Functions().getSystemMetricsForDpi(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

LOGFONTW MessageFontForDpi(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (Functions().systemParametersInfoForDpi &&
        Functions().systemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics,
                                               0, dpi))
        return metrics.lfMessageFont;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        // Before Windows 10 the metrics are those of the system DPI.
        LOGFONTW font = metrics.lfMessageFont;
        font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
        return font;
    }
    LOGFONTW font{};
    font.lfHeight = -MulDiv(8, static_cast<int>(dpi), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
    return font;
}

}  // namespace molra
