// The reflection copy of a picture: covered pixels take visible ones, straight or
// tilted lines, a covered part deeper than the visible one, and the copy kept
// until the picture changes.
#include "image/reflection_source.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mirel::image {
namespace {

void onThisThread(std::int32_t, const BandRect& rect, const BandBody& body) {
    body(rect);
}

// Each pixel holds its own column in red and its row in green.
std::unique_ptr<TiledImage> addressPicture(int width, int height) {
    auto picture = create(width, height, SampleFormat::Rgba8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) writeRgba8(*picture, x, y, 0, x, y, 0, 255);
    buildPyramid(*picture, onThisThread);
    return picture;
}

void whereFrom(const TiledImage& copy, int x, int y, int& sx, int& sy) {
    const std::uint32_t word = readRgba8(copy, x, y, 0);
    sx = static_cast<int>(word >> 24);
    sy = static_cast<int>((word >> 16) & 255u);
}

TEST(ReflectionSource, CoveredPixelsTakeTheirMirrorImagesFromTheVisiblePart) {
    auto picture = addressPicture(40, 30);
    const double tilt = std::sqrt(0.6 * 0.6 + 0.8 * 0.8);
    const MirrorLine lines[] = {
        {0.0, 1.0, 12.3},                // level, the covered part the smaller one
        {0.0, 1.0, 5.0},                 // level, the covered part five times deeper
        {-0.6 / tilt, 0.8 / tilt, 3.0},  // tilted
    };
    for (const MirrorLine& line : lines) {
        SCOPED_TRACE(line.offset);
        const TiledImage& copy = reflectionSource(*picture, line, onThisThread);
        ASSERT_NE(&copy, picture.get());
        EXPECT_EQ(copy.contentState, kContentPyramidBuilt);
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 40; ++x) {
                int sx = 0, sy = 0;
                whereFrom(copy, x, y, sx, sy);
                if (coveredByLine(line, x, y)) {
                    ASSERT_FALSE(coveredByLine(line, sx, sy)) << x << "," << y;
                } else {
                    ASSERT_EQ(sx, x);
                    ASSERT_EQ(sy, y);
                }
            }
        }
    }
    // Row 13 lies 1.2 below the line at 12.3; its mirror image is row 11.
    int sx = 0, sy = 0;
    whereFrom(reflectionSource(*picture, lines[0], onThisThread), 7, 13, sx, sy);
    EXPECT_EQ(sx, 7);
    EXPECT_EQ(sy, 11);
}

// Copied in bands on the worker pool, every pixel of every level comes out as
// on one thread.
TEST(ReflectionSource, ThePoolCopiesEveryPixelAsOneThreadDoes) {
    auto alone = addressPicture(200, 150), pooled = addressPicture(200, 150);
    const double tilt = std::sqrt(0.3 * 0.3 + 0.9 * 0.9);
    const MirrorLine line{-0.3 / tilt, 0.9 / tilt, 60.0};
    const TiledImage& a = reflectionSource(*alone, line, onThisThread);
    const TiledImage& b = reflectionSource(*pooled, line, poolJobRunner(3));
    ASSERT_NE(&b, pooled.get());
    for (int k = 0; k <= a.lastLevel; ++k)
        for (int y = 0; y < a.levelHeight[k]; ++y)
            for (int x = 0; x < a.levelWidth[k]; ++x)
                ASSERT_EQ(readRgba8(a, x, y, k), readRgba8(b, x, y, k))
                    << x << "," << y << "," << k;
}

// A picture whose every level shows where a stale row was left: values from a hash.
std::unique_ptr<TiledImage> noisePicture(int width, int height) {
    auto picture = create(width, height, SampleFormat::Rgba8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t h = (std::uint32_t(x) * 73856093u) ^ (std::uint32_t(y) * 19349663u);
            writeRgba8(*picture, x, y, 0, h & 255u, (h >> 8) & 255u, (h >> 16) & 255u, 255);
        }
    buildPyramid(*picture, onThisThread);
    return picture;
}

TEST(ReflectionSource, AMovedLineGivesTheCopyAFreshBuildWouldGive) {
    const double tilt = std::sqrt(0.2 * 0.2 + 0.95 * 0.95);
    // Down, up, up again to the top rows, tilted, and back to a level line.
    const MirrorLine lines[] = {{0.0, 1.0, 90.5},
                                {0.0, 1.0, 120.0},
                                {0.0, 1.0, 40.25},
                                {0.0, 1.0, 2.0},
                                {0.2 / tilt, 0.95 / tilt, 70.0},
                                {0.0, 1.0, 101.0}};
    auto moved = noisePicture(300, 211);
    for (const MirrorLine& line : lines) {
        const TiledImage& kept = reflectionSource(*moved, line, poolJobRunner(2));
        auto fresh = noisePicture(300, 211);
        const TiledImage& built = reflectionSource(*fresh, line, onThisThread);
        ASSERT_NE(&kept, moved.get());
        for (int k = 0; k <= kept.lastLevel; ++k)
            for (int y = 0; y < kept.levelHeight[k]; ++y)
                for (int x = 0; x < kept.levelWidth[k]; ++x)
                    ASSERT_EQ(readRgba8(kept, x, y, k), readRgba8(built, x, y, k))
                        << "line at " << line.offset << ": " << x << "," << y << " of level " << k;
    }
}

TEST(ReflectionSource, IsKeptForItsLineUntilThePictureChanges) {
    auto picture = addressPicture(40, 30);
    const MirrorLine line{0.0, 1.0, 12.3};
    const TiledImage* first = &reflectionSource(*picture, line, onThisThread);
    EXPECT_EQ(&reflectionSource(*picture, line, onThisThread), first);

    // A write to level 0 ends with the pyramid; the copy follows the new pixels.
    writeRgba8(*picture, 7, 11, 0, 99, 98, 0, 255);
    buildPyramid(*picture, onThisThread);
    int sx = 0, sy = 0;
    whereFrom(reflectionSource(*picture, line, onThisThread), 7, 13, sx, sy);
    EXPECT_EQ(sx, 99);
    EXPECT_EQ(sy, 98);

    // Nothing covered: the picture is its own reflection.
    EXPECT_EQ(&reflectionSource(*picture, MirrorLine{0.0, 1.0, 30.0}, onThisThread), picture.get());
}

}  // namespace
}  // namespace mirel::image
