// The dialog's preview buffer: geometry, pixel store and the bitmap bytes.
#include "image/preview.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace mirel::image {

PreviewRect previewRectFor(std::int32_t top, std::int32_t left, std::int32_t bottom,
                           std::int32_t right, std::int32_t zoom, std::int32_t paneWidth,
                           std::int32_t paneHeight) {
    const std::int32_t z = std::max(zoom, 1);
    // Each coordinate is divided before the difference is taken, so a
    // 200-pixel picture at zoom 3 is 66 preview pixels wide.
    PreviewRect rect{top / z, left / z, bottom / z, right / z};
    const std::int32_t areaWidth = std::max(paneWidth, 0);
    const std::int32_t areaHeight = std::max(paneHeight, 0);
    if (std::int64_t(rect.right) - rect.left > areaWidth) rect.right = rect.left + areaWidth;
    if (std::int64_t(rect.bottom) - rect.top > areaHeight) rect.bottom = rect.top + areaHeight;
    return rect;
}

std::int32_t fitZoomFor(std::int32_t width, std::int32_t height, std::int32_t paneWidth,
                        std::int32_t paneHeight) {
    if (width < 1 || height < 1) return 1;
    const std::int64_t across = std::max(1, std::min(width, paneWidth));
    const std::int64_t down = std::max(1, std::min(height, paneHeight));
    const std::int64_t zoomX = (width + across - 1) / across;
    const std::int64_t zoomY = (height + down - 1) / down;
    return std::int32_t(std::max(zoomX, zoomY));
}

void setPreviewBufferSize(PreviewBuffer& buffer, const PreviewRect& rect) {
    buffer.bufferWidth = std::max(0, rect.width());
    buffer.bufferHeight = std::max(0, rect.height());
    // The pane bounds both sides, but a caller may pass any rectangle.
    const std::int64_t size = std::int64_t(buffer.bufferWidth) * buffer.bufferHeight;
    if (size > INT32_MAX) {
        buffer.bufferWidth = buffer.bufferHeight = 0;
        buffer.planeSize = 0;
        return;
    }
    buffer.planeSize = std::int32_t(size);
}

void freePreviewPixels(PreviewBuffer& buffer) {
    buffer.pixels.reset();
    buffer.allocatedBytes = 0;
}

bool allocatePreviewPixels(PreviewBuffer& buffer, std::int32_t planeCount) {
    freePreviewPixels(buffer);
    buffer.planeCount = std::max(planeCount, 1);
    const std::int64_t bytes = std::int64_t(buffer.planeCount) * buffer.planeSize;
    if (bytes <= 0) return false;
    buffer.pixels.reset(new (std::nothrow) std::uint8_t[std::size_t(bytes)]());
    if (!buffer.pixels) return false;
    buffer.allocatedBytes = bytes;
    return true;
}

namespace {

// Truncation toward zero of a 0..1 component; anything outside (or NaN) is
// held to the byte's range rather than wrapped.
std::uint8_t toByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return std::uint8_t(value * 255.0f);
}

bool hasPixels(const PreviewBuffer& buffer) {
    return buffer.pixels && buffer.bufferWidth > 0 && buffer.bufferHeight > 0 &&
           buffer.planeCount > 0 &&
           buffer.allocatedBytes >=
               std::int64_t(std::min(buffer.planeCount, 3)) * buffer.planeSize &&
           std::int64_t(buffer.planeSize) == std::int64_t(buffer.bufferWidth) * buffer.bufferHeight;
}

}  // namespace

void writePreviewPixel(PreviewBuffer& buffer, std::int32_t x, std::int32_t y, const Rgba& rgba) {
    if (!hasPixels(buffer)) return;
    const std::int64_t px = std::clamp(x, 0, buffer.bufferWidth - 1);
    const std::int64_t py = std::clamp(y, 0, buffer.bufferHeight - 1);
    std::uint8_t* at = buffer.pixels.get() + py * buffer.bufferWidth + px;
    if (buffer.planeCount < 3) {
        *at = toByte(rgba.g);
        return;
    }
    at[0] = toByte(rgba.r);
    at[buffer.planeSize] = toByte(rgba.g);
    at[2 * std::int64_t(buffer.planeSize)] = toByte(rgba.b);
}

bool previewBitmap(const PreviewBuffer& buffer, ScreenBitmap& bitmap) {
    if (!hasPixels(buffer)) return false;
    const std::int32_t width = buffer.bufferWidth;
    const std::int32_t height = buffer.bufferHeight;
    bitmap.header = BitmapInfoHeader{};
    bitmap.header.width = width;
    bitmap.header.height = -height;
    bitmap.rowBytes = (std::int64_t(width) * 3 + 3) & ~std::int64_t(3);
    try {
        bitmap.bits.assign(std::size_t(bitmap.rowBytes * height), 0);
    } catch (const std::bad_alloc&) {
        bitmap.bits.clear();
        return false;
    }
    const std::uint8_t* red = buffer.pixels.get();
    const bool grey = buffer.planeCount < 3;
    const std::uint8_t* green = grey ? red : red + buffer.planeSize;
    const std::uint8_t* blue = grey ? red : red + 2 * std::int64_t(buffer.planeSize);
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.bits.data() + bitmap.rowBytes * y;
        const std::int64_t offset = std::int64_t(y) * width;
        for (std::int32_t x = 0; x < width; ++x) {
            row[3 * x] = blue[offset + x];
            row[3 * x + 1] = green[offset + x];
            row[3 * x + 2] = red[offset + x];
        }
    }
    return true;
}

}  // namespace mirel::image
