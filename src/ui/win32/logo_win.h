// The logo picture behind the window's controls: decoded once from the
// program's resources by the Windows Imaging Component, then rendered for
// each DPI.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <utility>
#include <vector>

#include "platform/win32/owners_win.h"

namespace molra {

// The decoded picture: 32-bit BGR, top-down rows without padding.
struct LogoPixels {
    UINT width = 0;
    UINT height = 0;
    std::vector<BYTE> bgr;
};

// In the multithreaded COM apartment, entered and left within the call, so
// it may run on any thread and gives it no window. False when COM, the codec or the resource is
// missing; the window then shows a plain background.
bool DecodeLogo(HINSTANCE instance, WORD resourceId, LogoPixels& pixels);

class Logo {
public:
    void Set(LogoPixels pixels) { pixels_ = std::move(pixels); }
    // The picture at dpi (unscaled at 96) as a 32-bit DIB section; null
    // when nothing was decoded or scaling failed.
    OwnedBitmap Render(UINT dpi);

private:
    bool createFactory();

    LogoPixels pixels_;
    // Only for scaling, on the window's thread.
    ComApartment apartment_;  // declared before the factory: released last
    ComPtr<IWICImagingFactory> factory_;
};

}  // namespace molra
