// ole32 and the codecs are loaded here, once the window is sure to appear,
// and never on the launch path.
#include "ui/win32/logo_win.h"

#include "platform/win32/system_calls_win.h"

namespace molra {

namespace {

// Defined here rather than taken from an import library, which would name
// the DLL in the program's import table. Factory 1 exists from Windows 7 on.
constexpr CLSID kClsidWicImagingFactory1 = {
    0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
constexpr GUID kPixelFormat32bppBGR = {
    0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0e}};

ComPtr<IWICImagingFactory> CreateFactory() {
    ComPtr<IWICImagingFactory> factory;
    const auto create = Ole32().CoCreateInstance;
    if (!create ||
        FAILED(create(kClsidWicImagingFactory1, nullptr, CLSCTX_INPROC_SERVER,
                      __uuidof(IWICImagingFactory), reinterpret_cast<void**>(factory.put()))))
        factory.reset();
    return factory;
}

// Every object is released before the caller leaves the apartment.
bool Decode(const BYTE* bytes, DWORD size, LogoPixels& pixels) {
    ComPtr<IWICImagingFactory> factory = CreateFactory();
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    UINT width = 0;
    UINT height = 0;
    if (!factory || FAILED(factory->CreateStream(stream.put())) ||
        // WIC only reads the bytes, but takes them non-const.
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast)
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes), size)) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                                WICDecodeMetadataCacheOnDemand, decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), kPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 ||
        width > 0x4000 || height > 0x4000)
        return false;
    std::vector<BYTE> bgr(static_cast<std::size_t>(width) * height * 4);
    if (FAILED(
            converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(bgr.size()), bgr.data())))
        return false;
    pixels = {width, height, std::move(bgr)};
    return true;
}

}  // namespace

bool DecodeLogo(HINSTANCE instance, WORD resourceId, LogoPixels& pixels) {
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(resourceId), RT_RCDATA);
    HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    const auto* bytes = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
    const DWORD size = resource ? SizeofResource(instance, resource) : 0;
    // The multithreaded apartment: a single-threaded one may give a worker
    // thread a hidden window of its own.
    ComApartment apartment;
    return bytes && size != 0 && apartment.Enter(COINIT_MULTITHREADED) &&
           Decode(bytes, size, pixels);
}

bool Logo::createFactory() {
    if (!factory_ && apartment_.Enter(COINIT_APARTMENTTHREADED)) factory_ = CreateFactory();
    return static_cast<bool>(factory_);
}

OwnedBitmap Logo::Render(UINT dpi) {
    const UINT width = pixels_.width;
    const UINT height = pixels_.height;
    if (pixels_.bgr.empty()) return {};
    const int scaledWidth = MulDiv(static_cast<int>(width), static_cast<int>(dpi), 96);
    const int scaledHeight = MulDiv(static_cast<int>(height), static_cast<int>(dpi), 96);
    if (scaledWidth <= 0 || scaledHeight <= 0) return {};

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
    if (static_cast<UINT>(scaledWidth) == width && static_cast<UINT>(scaledHeight) == height) {
        // At 96 DPI no COM is needed on this thread.
        CopyMemory(bits, pixels_.bgr.data(), pixels_.bgr.size());
        return bitmap;
    }

    // Fant averages the source pixels: smooth when shrinking, sharp when enlarging.
    const UINT stride = width * 4;
    const UINT scaledStride = static_cast<UINT>(scaledWidth) * 4;
    ComPtr<IWICBitmap> picture;
    ComPtr<IWICBitmapScaler> scaler;
    if (!createFactory() ||
        FAILED(factory_->CreateBitmapFromMemory(width, height, kPixelFormat32bppBGR, stride,
                                                static_cast<UINT>(pixels_.bgr.size()),
                                                pixels_.bgr.data(), picture.put())) ||
        FAILED(factory_->CreateBitmapScaler(scaler.put())) ||
        FAILED(scaler->Initialize(picture.get(), static_cast<UINT>(scaledWidth),
                                  static_cast<UINT>(scaledHeight),
                                  WICBitmapInterpolationModeFant)) ||
        FAILED(scaler->CopyPixels(nullptr, scaledStride,
                                  scaledStride * static_cast<UINT>(scaledHeight),
                                  static_cast<BYTE*>(bits))))
        return {};
    return bitmap;
}

}  // namespace molra
