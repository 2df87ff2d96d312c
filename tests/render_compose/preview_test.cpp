// The preview buffer: its geometry at a zoom level, the pixel store and the
// bytes of the bitmap the pane draws.
#include "image/preview.h"

#include <gtest/gtest.h>

namespace mirel::image {
namespace {

TEST(PreviewGeometry, EachCoordinateIsDividedBeforeTheSizeIsTaken) {
    const PreviewRect full = previewRectFor(0, 0, 100, 200, 1, 646, 492);
    EXPECT_EQ(full, (PreviewRect{0, 0, 100, 200}));
    const PreviewRect third = previewRectFor(0, 0, 100, 200, 3, 646, 492);
    EXPECT_EQ(third.width(), 66);
    EXPECT_EQ(third.height(), 33);
    // An offset filter rectangle: every edge is divided on its own.
    const PreviewRect offset = previewRectFor(10, 101, 110, 302, 3, 646, 492);
    EXPECT_EQ(offset, (PreviewRect{3, 33, 36, 100}));
    // A zoom below 1 counts as 1.
    EXPECT_EQ(previewRectFor(0, 0, 100, 200, 0, 646, 492), full);
}

TEST(PreviewGeometry, ThePreviewNeverShowsMoreThanThePane) {
    const PreviewRect rect = previewRectFor(0, 0, 2000, 3000, 2, 646, 492);
    EXPECT_EQ(rect, (PreviewRect{0, 0, 492, 646}));
    EXPECT_EQ(fitZoomFor(1600, 1065, 646, 492), 3);
    EXPECT_EQ(fitZoomFor(200, 100, 646, 492), 1);
    EXPECT_EQ(fitZoomFor(12000, 100, 646, 492), 19);
}

TEST(PreviewBufferStore, PixelsGoToTheirPlanesClampedIntoTheBuffer) {
    PreviewBuffer buffer;
    setPreviewBufferSize(buffer, {0, 0, 2, 3});
    ASSERT_TRUE(allocatePreviewPixels(buffer, 3));
    EXPECT_EQ(buffer.planeSize, 6);
    writePreviewPixel(buffer, 1, 1, {1.0f, 0.5f, 0.999f, 1.0f});
    const std::uint8_t* p = buffer.pixels.get();
    EXPECT_EQ(p[4], 255);
    EXPECT_EQ(p[6 + 4], 127);  // truncated, not rounded
    EXPECT_EQ(p[12 + 4], 254);
    // Positions past the edge land on the edge pixel.
    writePreviewPixel(buffer, 7, -3, {0.2f, 0.2f, 0.2f, 1.0f});
    EXPECT_EQ(p[2], 51);

    PreviewBuffer grey;
    setPreviewBufferSize(grey, {0, 0, 1, 1});
    ASSERT_TRUE(allocatePreviewPixels(grey, 1));
    writePreviewPixel(grey, 0, 0, {0.0f, 0.6f, 1.0f, 1.0f});
    EXPECT_EQ(grey.pixels[0], 153);  // the green component
}

TEST(PreviewBufferStore, AnEmptyOrUnallocatedBufferStoresAndDrawsNothing) {
    PreviewBuffer buffer;
    setPreviewBufferSize(buffer, {5, 5, 2, 9});  // inverted: height 0
    EXPECT_EQ(buffer.bufferHeight, 0);
    EXPECT_FALSE(allocatePreviewPixels(buffer, 3));
    writePreviewPixel(buffer, 0, 0, {1.0f, 1.0f, 1.0f, 1.0f});
    ScreenBitmap bitmap;
    EXPECT_FALSE(previewBitmap(buffer, bitmap));
    // A buffer resized after allocation is not drawn from memory it does not have.
    setPreviewBufferSize(buffer, {0, 0, 2, 2});
    ASSERT_TRUE(allocatePreviewPixels(buffer, 3));
    setPreviewBufferSize(buffer, {0, 0, 400, 400});
    writePreviewPixel(buffer, 300, 300, {1.0f, 1.0f, 1.0f, 1.0f});
    EXPECT_FALSE(previewBitmap(buffer, bitmap));
}

TEST(PreviewBitmap, RowsAreBlueGreenRedPaddedToFourBytes) {
    PreviewBuffer buffer;
    setPreviewBufferSize(buffer, {0, 0, 2, 5});  // 15 bytes of pixels a row
    ASSERT_TRUE(allocatePreviewPixels(buffer, 3));
    writePreviewPixel(
        buffer, 4, 1,
        {10.0f / 255.0f + 1e-4f, 20.0f / 255.0f + 1e-4f, 30.0f / 255.0f + 1e-4f, 1.0f});
    ScreenBitmap bitmap;
    ASSERT_TRUE(previewBitmap(buffer, bitmap));
    EXPECT_EQ(bitmap.header.size, 40u);
    EXPECT_EQ(bitmap.header.width, 5);
    EXPECT_EQ(bitmap.header.height, -2);
    EXPECT_EQ(bitmap.header.bitCount, 24);
    EXPECT_EQ(bitmap.header.xPelsPerMeter, 10);
    EXPECT_EQ(bitmap.rowBytes, 16);
    ASSERT_EQ(bitmap.bits.size(), 32u);
    EXPECT_EQ(bitmap.bits[16 + 12], 30);
    EXPECT_EQ(bitmap.bits[16 + 13], 20);
    EXPECT_EQ(bitmap.bits[16 + 14], 10);
    EXPECT_EQ(bitmap.bits[15], 0);  // padding
}

TEST(PreviewBitmap, AGreyBufferIsDrawnWithEqualChannels) {
    PreviewBuffer buffer;
    setPreviewBufferSize(buffer, {0, 0, 1, 2});
    ASSERT_TRUE(allocatePreviewPixels(buffer, 1));
    writePreviewPixel(buffer, 1, 0, {0.0f, 0.5f, 0.0f, 1.0f});
    ScreenBitmap bitmap;
    ASSERT_TRUE(previewBitmap(buffer, bitmap));
    EXPECT_EQ(bitmap.rowBytes, 8);
    EXPECT_EQ(bitmap.bits[3], 127);
    EXPECT_EQ(bitmap.bits[4], 127);
    EXPECT_EQ(bitmap.bits[5], 127);
}

}  // namespace
}  // namespace mirel::image
