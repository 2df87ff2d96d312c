// The settings thumbnail: its default ramp, reading the planar preview, and the centred
// square of the preview that becomes the thumbnail.
#include "image/thumbnails.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/settings_file/settings_file_test_support.h"

namespace mirel::testing {
namespace {

// A preview buffer whose pixel value is chosen by a function of (x, y, plane).
template <typename Value>
image::PreviewBuffer makePreview(int width, int height, int planes, Value value) {
    image::PreviewBuffer preview;
    image::setPreviewBufferSize(preview, {0, 0, height, width});
    EXPECT_TRUE(image::allocatePreviewPixels(preview, planes));
    for (int p = 0; p < planes; ++p)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                preview.pixels[std::size_t(p) * width * height + std::size_t(y) * width + x] =
                    std::uint8_t(value(x, y, p));
    return preview;
}

TEST(Thumbnail, ResetDrawsTheGreyRamp) {
    auto thumbnail = image::createThumbnailImage();
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->baseWidth, 128);
    EXPECT_EQ(thumbnail->lastLevel, 7);
    EXPECT_EQ(image::readRgba8(*thumbnail, 5, 0, 0), image::packRgba8(255, 255, 255, 255));
    EXPECT_EQ(image::readRgba8(*thumbnail, 5, 127, 0), image::packRgba8(128, 128, 128, 255));
    EXPECT_EQ(image::readRgba8(*thumbnail, 100, 27, 0), image::packRgba8(228, 228, 228, 255));

    image::TiledImage empty;
    image::resetThumbnail(empty);  // no tiles: nothing to do, nothing touched
    EXPECT_FALSE(image::hasTiles(empty));
}

TEST(Thumbnail, PreviewPixelsAreClampedAndGreyBelowThreePlanes) {
    const image::PreviewBuffer colour =
        makePreview(4, 3, 3, [](int x, int y, int p) { return 10 * x + y + 100 * p; });
    image::Rgba pixel = image::readPreviewPixel(colour, 2, 1);
    EXPECT_FLOAT_EQ(pixel.r, 21 / 255.0f);
    EXPECT_FLOAT_EQ(pixel.g, 121 / 255.0f);
    EXPECT_FLOAT_EQ(pixel.b, 221 / 255.0f);
    EXPECT_FLOAT_EQ(pixel.a, 1.0f);
    pixel = image::readPreviewPixel(colour, -7, 99);
    EXPECT_FLOAT_EQ(pixel.r, 2 / 255.0f);  // (0, 2)

    const image::PreviewBuffer grey = makePreview(4, 3, 1, [](int x, int, int) { return 60 * x; });
    pixel = image::readPreviewPixel(grey, 3, 0);
    EXPECT_FLOAT_EQ(pixel.r, 180 / 255.0f);
    EXPECT_FLOAT_EQ(pixel.g, pixel.r);
    EXPECT_FLOAT_EQ(pixel.b, pixel.r);
}

TEST(Thumbnail, A128HighPreviewIsCopiedPixelForPixelFromItsMiddle) {
    // 228 x 128: the square starts at column 228 / 2 - 64 = 50.
    const image::PreviewBuffer wide = makePreview(
        228, 128, 3, [](int x, int y, int p) { return p == 0 ? x : (p == 1 ? y : 255 - x); });
    auto thumbnail = image::createThumbnailImage();
    image::makeThumbnailFromPreview(*thumbnail, wide, true);
    for (int y : {0, 64, 127})
        for (int x : {0, 1, 77, 127}) {
            const Rgb8 pixel = rgbAt(*thumbnail, x, y);
            EXPECT_EQ(pixel.r, 50 + x) << x << "," << y;
            EXPECT_EQ(pixel.g, y);
            EXPECT_EQ(pixel.b, 255 - (50 + x));
        }

    // 128 x 228: rows 50 to 177.
    const image::PreviewBuffer tall = makePreview(128, 228, 1, [](int, int y, int) { return y; });
    image::makeThumbnailFromPreview(*thumbnail, tall, true);
    EXPECT_EQ(rgbAt(*thumbnail, 9, 0).r, 50);
    EXPECT_EQ(rgbAt(*thumbnail, 9, 127).g, 177);
}

TEST(Thumbnail, LargerAndSmallerPreviewsAreResampledFromTheirCentredSquare) {
    // Everything outside the centred square is black; inside it is one grey. Any black in
    // the thumbnail would mean the wrong square was taken.
    struct Case {
        int width, height, left, top, side;
    };
    for (const Case c :
         {Case{400, 300, 50, 0, 300}, Case{300, 400, 0, 50, 300}, Case{60, 40, 10, 0, 40}}) {
        SCOPED_TRACE(c.width);
        const image::PreviewBuffer preview =
            makePreview(c.width, c.height, 3, [&](int x, int y, int) {
                const bool inside =
                    x >= c.left && x < c.left + c.side && y >= c.top && y < c.top + c.side;
                return inside ? 200 : 0;
            });
        auto thumbnail = image::createThumbnailImage();
        image::makeThumbnailFromPreview(*thumbnail, preview, true);
        for (int y = 0; y < 128; y += 9)
            for (int x = 0; x < 128; x += 9)
                ASSERT_NEAR(rgbAt(*thumbnail, x, y).r, 200, 3) << x << "," << y;
        ASSERT_NEAR(rgbAt(*thumbnail, 127, 127).g, 200, 3);
    }
}

TEST(Thumbnail, NothingToMakeItFrom) {
    const image::PreviewBuffer preview = makePreview(200, 200, 3, [](int, int, int) { return 30; });
    auto thumbnail = image::createThumbnailImage();
    image::makeThumbnailFromPreview(*thumbnail, preview, true);
    ASSERT_EQ(rgbAt(*thumbnail, 5, 0).r, 30);

    // A host that cannot deliver pixels: the thumbnail stays as it is, not even reset.
    image::makeThumbnailFromPreview(*thumbnail, preview, false);
    EXPECT_EQ(rgbAt(*thumbnail, 5, 0).r, 30);

    // An empty preview: the reset happens, nothing else.
    image::makeThumbnailFromPreview(*thumbnail, image::PreviewBuffer{}, true);
    EXPECT_EQ(rgbAt(*thumbnail, 5, 0).r, 255);
    EXPECT_EQ(rgbAt(*thumbnail, 5, 127).r, 128);

    // A thumbnail without tiles is left alone.
    image::TiledImage empty;
    image::makeThumbnailFromPreview(empty, preview, true);
    EXPECT_FALSE(image::hasTiles(empty));
}

}  // namespace
}  // namespace mirel::testing
