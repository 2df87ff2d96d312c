// Decoding the picture files among the resources with the Windows Imaging
// Component (the system's decoders for BMP, ICO and PNG, over COM); the hot
// spot of a cursor is read from the file's own directory.
#include <windows.h>
// (after windows.h, which it builds on)
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gui/icon_file.h"
#include "platform/gui/image.h"
#include "platform/gui/win32/win32_runtime.h"

namespace mirel::gui {

using win32::ComScope;

namespace {

// Holds one COM interface and releases it.
template <typename T>
class ComRef {
  public:
    ComRef() = default;
    ~ComRef() {
        if (pointer_) pointer_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T* operator->() const { return pointer_; }
    T* get() const { return pointer_; }
    T** put() { return &pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

  private:
    T* pointer_ = nullptr;
};

bool decodeWithImagingComponent(const std::uint8_t* data, std::size_t size, bool isIconFile,
                                Image& out, UINT& chosenFrame) {
    ComRef<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put()))))
        return false;
    ComRef<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), DWORD(size))))
        return false;
    ComRef<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                                WICDecodeMetadataCacheOnDemand, decoder.put())))
        return false;
    UINT frames = 0;
    if (FAILED(decoder->GetFrameCount(&frames)) || frames == 0) return false;
    // Of several pictures the largest is taken; its density makes it as
    // large as the smallest on screen.
    UINT best = 0, bestWidth = 0, bestHeight = 0, smallestWidth = 0;
    for (UINT i = 0; i < frames; ++i) {
        ComRef<IWICBitmapFrameDecode> frame;
        UINT width = 0, height = 0;
        if (FAILED(decoder->GetFrame(i, frame.put())) || FAILED(frame->GetSize(&width, &height)))
            continue;
        if (smallestWidth == 0 || width < smallestWidth) smallestWidth = width;
        if (std::uint64_t(width) * height > std::uint64_t(bestWidth) * bestHeight) {
            best = i;
            bestWidth = width;
            bestHeight = height;
        }
    }
    if (bestWidth == 0 || bestHeight == 0 || bestWidth > 32768 || bestHeight > 32768) return false;
    ComRef<IWICBitmapFrameDecode> frame;
    ComRef<IWICFormatConverter> converter;
    if (FAILED(decoder->GetFrame(best, frame.put())) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;
    const UINT stride = bestWidth * 4;
    std::vector<std::uint8_t> bgra(std::size_t(stride) * bestHeight);
    if (FAILED(converter->CopyPixels(nullptr, stride, UINT(bgra.size()), bgra.data())))
        return false;
    out.width = int(bestWidth);
    out.height = int(bestHeight);
    out.density = isIconFile && smallestWidth > 0 ? double(bestWidth) / smallestWidth : 1.0;
    out.rgba.resize(bgra.size());
    for (std::size_t i = 0; i + 3 < bgra.size(); i += 4) {
        out.rgba[i] = bgra[i + 2];
        out.rgba[i + 1] = bgra[i + 1];
        out.rgba[i + 2] = bgra[i];
        out.rgba[i + 3] = bgra[i + 3];
    }
    chosenFrame = best;
    return true;
}

}  // namespace

bool decodeImage(std::span<const std::uint8_t> bytes, Image& out, Point* hotSpot) {
    out = Image{};
    if (hotSpot) *hotSpot = {};
    if (bytes.empty() || bytes.size() > std::size_t(INT32_MAX)) return false;
    const IconFileType iconType = iconFileType(bytes);
    const std::uint8_t* data = bytes.data();
    std::vector<std::uint8_t> asIcon;
    if (iconType == IconFileType::Cursor) {
        asIcon = cursorAsIcon(bytes);
        data = asIcon.data();
    }
    const ComScope com;
    if (!com.ready()) return false;
    UINT frame = 0;
    if (!decodeWithImagingComponent(data, bytes.size(), iconType != IconFileType::None, out,
                                    frame)) {
        out = Image{};
        return false;
    }
    if (hotSpot && iconType == IconFileType::Cursor)
        *hotSpot = cursorHotSpot(bytes, int(frame), out.width, out.density);
    return true;
}

}  // namespace mirel::gui
