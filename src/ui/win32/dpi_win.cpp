// Per-monitor DPI where Windows 10 offers it, the system DPI elsewhere.
#include "ui/win32/dpi_win.h"

#include "platform/win32/owners_win.h"
#include "platform/win32/system_calls_win.h"

namespace molra {

void EnableFrameScaling(HWND window) {
    if (User32().EnableNonClientDpiScaling) User32().EnableNonClientDpiScaling(window);
}

UINT SystemDpi() {
    UINT dpi = 0;
    if (User32().GetDpiForSystem) {
        dpi = User32().GetDpiForSystem();
    } else if (const WindowDC screen(nullptr); screen) {
        dpi = static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSX));
    }
    return dpi ? dpi : kDefaultDpi;
}

UINT WindowDpi(HWND window) {
    const UINT dpi = User32().GetDpiForWindow ? User32().GetDpiForWindow(window) : 0;
    return dpi ? dpi : SystemDpi();
}

SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
    RECT rect{0, 0, client.cx, client.cy};
    if (User32().AdjustWindowRectExForDpi)
        User32().AdjustWindowRectExForDpi(&rect, style, FALSE, exStyle, dpi);
    else
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

int SystemMetricForDpi(int index, UINT dpi) {
    if (User32().GetSystemMetricsForDpi) return User32().GetSystemMetricsForDpi(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

LOGFONTW MessageFontForDpi(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (User32().SystemParametersInfoForDpi &&
        User32().SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0,
                                            dpi))
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
