// ole32 and the codecs are loaded here, when the window is about to appear,
// and never on the launch path.
#include "ui/win32/logo_win.h"

#include "platform/win32/win32_platform.h"

namespace molra {

namespace {

// Defined here rather than taken from an import library, which would name
// the DLL in the program's import table. Factory 1 exists from Windows 7 on.
constexpr CLSID kClsidWicImagingFactory1 = {
    0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
constexpr GUID kPixelFormat32bppBGR = {
    0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0e}};

using CoInitializeExFn = HRESULT(WINAPI*)(void*, DWORD);
using CoUninitializeFn = void(WINAPI*)();
using CoCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**);

}  // namespace

bool ComApartment::Enter() {
    auto initialize = SystemProc<CoInitializeExFn>(L"ole32.dll", "CoInitializeEx");
    // S_FALSE (already entered) must be balanced too.
    entered_ = initialize &&
               SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    return entered_;
}

ComApartment::~ComApartment() {
    if (!entered_) return;
    if (auto uninitialize = SystemProc<CoUninitializeFn>(L"ole32.dll", "CoUninitialize"))
        uninitialize();
}

bool Logo::Load(HINSTANCE instance, WORD resourceId) {
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(resourceId), RT_RCDATA);
    HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    auto* bytes = static_cast<BYTE*>(loaded ? LockResource(loaded) : nullptr);
    const DWORD size = resource ? SizeofResource(instance, resource) : 0;
    if (!bytes || size == 0 || !apartment_.Enter()) return false;

    auto create = SystemProc<CoCreateInstanceFn>(L"ole32.dll", "CoCreateInstance");
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    const bool decoded =
        create &&
        SUCCEEDED(create(kClsidWicImagingFactory1, nullptr, CLSCTX_INPROC_SERVER,
                         __uuidof(IWICImagingFactory), reinterpret_cast<void**>(factory_.put()))) &&
        SUCCEEDED(factory_->CreateStream(stream.put())) &&
        SUCCEEDED(stream->InitializeFromMemory(bytes, size)) &&
        SUCCEEDED(factory_->CreateDecoderFromStream(
            stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())) &&
        SUCCEEDED(decoder->GetFrame(0, frame.put())) &&
        SUCCEEDED(factory_->CreateFormatConverter(converter.put())) &&
        SUCCEEDED(converter->Initialize(frame.get(), kPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                                        nullptr, 0.0, WICBitmapPaletteTypeCustom)) &&
        // Decode once; every DPI is scaled from these pixels.
        SUCCEEDED(factory_->CreateBitmapFromSource(converter.get(), WICBitmapCacheOnLoad,
                                                   picture_.put()));
    if (!decoded) picture_.reset();
    return decoded;
}

OwnedBitmap Logo::Render(UINT dpi) const {
    UINT width = 0;
    UINT height = 0;
    if (!picture_ || FAILED(picture_->GetSize(&width, &height))) return {};
    const int scaledWidth = MulDiv(static_cast<int>(width), static_cast<int>(dpi), 96);
    const int scaledHeight = MulDiv(static_cast<int>(height), static_cast<int>(dpi), 96);
    if (scaledWidth <= 0 || scaledHeight <= 0) return {};

    IWICBitmapSource* source = picture_.get();
    ComPtr<IWICBitmapScaler> scaler;
    if (static_cast<UINT>(scaledWidth) != width || static_cast<UINT>(scaledHeight) != height) {
        // Fant averages the source pixels: smooth when shrinking, sharp when enlarging.
        if (FAILED(factory_->CreateBitmapScaler(scaler.put())) ||
            FAILED(scaler->Initialize(picture_.get(), static_cast<UINT>(scaledWidth),
                                      static_cast<UINT>(scaledHeight),
                                      WICBitmapInterpolationModeFant)))
            return {};
        source = scaler.get();
    }

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = scaledWidth;
    info.bmiHeader.biHeight = -scaledHeight;  // top-down, as WIC delivers the rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    OwnedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return {};
    const UINT stride = static_cast<UINT>(scaledWidth) * 4;
    if (FAILED(source->CopyPixels(nullptr, stride, stride * static_cast<UINT>(scaledHeight),
                                  static_cast<BYTE*>(bits))))
        return {};
    return bitmap;
}

}  // namespace molra
