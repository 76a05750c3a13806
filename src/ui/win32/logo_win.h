// The logo picture behind the window's controls: decoded once from the
// program's resources by the Windows Imaging Component, then rendered for
// each DPI.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include "ui/win32/owners_win.h"

namespace molra {

// COM for this thread, for as long as the object lives.
class ComApartment {
public:
    ComApartment() = default;
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment();
    bool Enter();

private:
    bool entered_ = false;
};

class Logo {
public:
    // False when COM, the codec or the resource is missing; the window then
    // shows a plain background.
    bool Load(HINSTANCE instance, WORD resourceId);
    // The picture at dpi (unscaled at 96) as a 32-bit DIB section; null
    // when nothing was loaded or scaling failed.
    OwnedBitmap Render(UINT dpi) const;

private:
    ComApartment apartment_;  // declared first: released last
    ComPtr<IWICImagingFactory> factory_;
    ComPtr<IWICBitmap> picture_;
};

}  // namespace molra
