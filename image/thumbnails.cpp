// Making the settings thumbnail from the preview, and its default content.
#include "image/thumbnails.h"

#include <algorithm>

#include "image/pyramid.h"

namespace mirel::image {

namespace {

constexpr float kByteMax = 255.0f;
constexpr int kRgbPlanes = 3;

// The preview has at least this many bytes for the planes it claims.
bool previewIsReadable(const PreviewBuffer& preview) {
    if (preview.pixels == nullptr || preview.bufferWidth <= 0 || preview.bufferHeight <= 0 ||
        preview.planeCount <= 0)
        return false;
    return std::int64_t{preview.planeSize} >=
           std::int64_t{preview.bufferWidth} * preview.bufferHeight;
}

}  // namespace

std::unique_ptr<TiledImage> createThumbnailImage() {
    std::unique_ptr<TiledImage> thumbnail =
        create(kThumbnailImageSide, kThumbnailImageSide, SampleFormat::Rgba8);
    if (!thumbnail) return nullptr;
    resetThumbnail(*thumbnail);
    buildPyramid(*thumbnail);
    return thumbnail;
}

void resetThumbnail(TiledImage& thumbnail) {
    if (!hasTiles(thumbnail)) return;
    // White at the top to grey 128 at the bottom of a 128-row image.
    for (int y = 0; y < thumbnail.baseHeight; ++y) {
        const std::uint32_t grey = static_cast<std::uint32_t>(std::max(0, 255 - y));
        for (int x = 0; x < thumbnail.baseWidth; ++x) {
            if (thumbnail.format == SampleFormat::Rgba8) {
                writeRgba8(thumbnail, x, y, 0, grey, grey, grey, 255u);
            } else {
                const float g = static_cast<float>(grey) / kByteMax;
                writePixel(thumbnail, x, y, 0, Rgba{g, g, g, 1.0f});
            }
        }
    }
}

Rgba readPreviewPixel(const PreviewBuffer& preview, std::int32_t x, std::int32_t y) {
    if (!previewIsReadable(preview)) return Rgba{0.0f, 0.0f, 0.0f, 1.0f};
    x = clampCoord(x, preview.bufferWidth - 1);
    y = clampCoord(y, preview.bufferHeight - 1);
    const std::size_t at = std::size_t(y) * std::size_t(preview.bufferWidth) + std::size_t(x);
    const std::size_t plane = static_cast<std::size_t>(preview.planeSize);
    if (preview.planeCount < kRgbPlanes) {
        const float grey = preview.pixels[at] / kByteMax;
        return Rgba{grey, grey, grey, 1.0f};
    }
    const std::uint8_t* pixels = preview.pixels.get();
    return Rgba{pixels[at] / kByteMax, pixels[plane + at] / kByteMax,
                pixels[2 * plane + at] / kByteMax, 1.0f};
}

void makeThumbnailFromPreview(TiledImage& thumbnail, const PreviewBuffer& preview,
                              bool hostHasAdvanceState) {
    if (!hasTiles(thumbnail) || !hostHasAdvanceState) return;
    resetThumbnail(thumbnail);
    if (!previewIsReadable(preview)) return;

    const std::int32_t width = preview.bufferWidth;
    const std::int32_t height = preview.bufferHeight;
    const std::int32_t side = std::min(width, height);
    std::unique_ptr<TiledImage> square = create(side, side, SampleFormat::Rgba8);
    if (!square) return;
    // The square sits in the middle; each halving is an integer division, so an odd
    // leftover goes to the right or bottom.
    const std::int32_t left = width / 2 - side / 2;
    const std::int32_t top = height / 2 - side / 2;
    for (std::int32_t i = 0; i < side; ++i)
        for (std::int32_t j = 0; j < side; ++j)
            writePixel(*square, j, i, 0, readPreviewPixel(preview, left + j, top + i));
    buildPyramid(*square);
    copyImage(*square, thumbnail);
}

}  // namespace mirel::image
