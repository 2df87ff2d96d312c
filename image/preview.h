// The dialog's preview buffer: its geometry at a zoom level, the planar 8-bit
// pixels a preview render stores, and the 24-bit bitmap bytes the pane draws.
#pragma once

#include <cstdint>
#include <memory>

#include "image/tiled_image.h"

namespace mirel::image {

// The pane's image area in pixels; the preview never shows more than this.
constexpr std::int32_t kPreviewPaneWidth = 646;
constexpr std::int32_t kPreviewPaneHeight = 492;

// A rectangle of preview pixels (top, left, bottom, right; bottom and right exclusive).
struct PreviewRect {
    std::int32_t top = 0, left = 0, bottom = 0, right = 0;
    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool operator==(const PreviewRect&) const = default;
};

// The part of a filter rectangle (in picture pixels) a preview at zoom L shows:
// each coordinate divided by L, then cut to the pane's size from the top-left.
// A zoom below 1 counts as 1; a pane side below 0 as 0.
PreviewRect previewRectFor(std::int32_t top, std::int32_t left, std::int32_t bottom,
                           std::int32_t right, std::int32_t zoom, std::int32_t paneWidth,
                           std::int32_t paneHeight);

// The smallest zoom at which a picture of width x height fits the pane.
std::int32_t fitZoomFor(std::int32_t width, std::int32_t height, std::int32_t paneWidth,
                        std::int32_t paneHeight);

struct PixelsFree {
    void operator()(std::uint8_t* p) const noexcept { delete[] p; }
};

// Planar 8-bit samples: sample (x, y) of plane p lies at
// p x planeSize + y x bufferWidth + x. Only the first three planes are used.
struct PreviewBuffer {
    std::unique_ptr<std::uint8_t[], PixelsFree> pixels;
    std::int32_t bufferWidth = 0;
    std::int32_t bufferHeight = 0;
    std::int32_t planeSize = 0;  // bufferWidth x bufferHeight
    std::int32_t planeCount = 0;
    std::int64_t allocatedBytes = 0;
};

// Sets the buffer's size for `rect` (negative sides become 0). The pixels are
// kept; allocatePreviewPixels makes them fit.
void setPreviewBufferSize(PreviewBuffer& buffer, const PreviewRect& rect);

// Frees the old pixels and allocates planeCount x planeSize zeroed bytes
// (planeCount below 1 counts as 1). False, with no pixels, when the memory
// cannot be had or the buffer is empty.
bool allocatePreviewPixels(PreviewBuffer& buffer, std::int32_t planeCount);

void freePreviewPixels(PreviewBuffer& buffer);

// Stores a composed pixel (components 0..1, truncated toward zero). x and y are
// clamped into the buffer; with fewer than three planes the one plane gets the
// green component. Nothing happens without pixels.
void writePreviewPixel(PreviewBuffer& buffer, std::int32_t x, std::int32_t y, const Rgba& rgba);

// The buffer as a 24-bit top-down bitmap: blue, green, red from planes 2, 1, 0
// (one plane goes into all three), rows padded with zeros to 4 bytes. False
// when the buffer has no pixels or is empty (nothing is to be drawn then).
bool previewBitmap(const PreviewBuffer& buffer, ScreenBitmap& bitmap);

}  // namespace mirel::image
