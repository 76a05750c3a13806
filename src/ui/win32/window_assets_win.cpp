// The window's pictures, prepared off the window's thread.
#include "ui/win32/window_assets_win.h"

#include <utility>

#include "platform/win32/system_calls_win.h"
#include "resource_ids.h"
#include "ui/win32/dpi_win.h"

namespace molra {

namespace {

ClassIcons LoadClassIcons(HINSTANCE instance) {
    return {static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MOLRAVIN), IMAGE_ICON, 0,
                                          0, LR_DEFAULTSIZE | LR_SHARED)),
            static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MOLRAVIN), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXSMICON),
                                          GetSystemMetrics(SM_CYSMICON), LR_SHARED))};
}

}  // namespace

Icons LoadIcons(HINSTANCE instance, UINT dpi) {
    const auto load = [&](int widthMetric, int heightMetric) {
        return OwnedIcon(static_cast<HICON>(LoadImageW(
            instance, MAKEINTRESOURCEW(IDI_MOLRAVIN), IMAGE_ICON,
            SystemMetricForDpi(widthMetric, dpi), SystemMetricForDpi(heightMetric, dpi), 0)));
    };
    return {dpi, load(SM_CXICON, SM_CYICON), load(SM_CXSMICON, SM_CYSMICON)};
}

PreparedAssets PrepareAssets(HINSTANCE instance) {
    PreparedAssets assets;
    assets.logoDecoded = DecodeLogo(instance, IDR_LOGO, assets.logo);
    assets.classIcons = LoadClassIcons(instance);
    assets.icons = LoadIcons(instance, SystemDpi());
    return assets;
}

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

BOOL CALLBACK FindAny(HWND /*window*/, LPARAM found) {
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

}  // namespace molra
