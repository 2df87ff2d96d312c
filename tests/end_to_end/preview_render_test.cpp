// Preview renders through the render entry, with the real host's record: the
// buffer's size at a zoom level, the run-time fields put back afterwards, pixels
// that show the picture above the horizon, and the thumbnail made without the marks.
#include "host/preview_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/host_exchange.h"
#include "host/plugin_main.h"
#include "host/render_entry.h"
#include "image/thumbnails.h"
#include "platform/pi/rects.h"
#include "tests/end_to_end/end_to_end_support.h"

namespace mirel::testing {
namespace {

using host_app::Picture;

TEST(PreviewRender, AtZoomThreeAPictureOf200By100GivesA66By33Buffer) {
    Picture picture = samplePicture(8);
    picture = convertPicture(picture, 3, 8);
    // Cut to 200 x 100.
    Picture cut;
    std::string error;
    ASSERT_TRUE(host_app::allocatePicture(cut, 200, 100, 3, 8, error));
    for (std::int32_t y = 0; y < 100; ++y)
        for (std::int32_t x = 0; x < 200; ++x)
            for (int c = 0; c < 3; ++c)
                host_app::setSampleValue(cut, x, y, c, host_app::sampleValue(picture, x, y, c));
    InProcessRun run(cut);
    setPreviewSize(run.context(), 1);
    EXPECT_EQ(run.context().session.preview.bufferWidth, 200);
    EXPECT_EQ(run.context().session.preview.bufferHeight, 100);
    setPreviewSize(run.context(), 3);
    EXPECT_EQ(run.context().session.preview.bufferWidth, 66);
    EXPECT_EQ(run.context().session.preview.bufferHeight, 33);
}

TEST(PreviewRender, LeavesZoomPanDestinationAndRequestAsTheyWere) {
    useOwnTemporaryFolder();
    Picture picture = samplePicture(4);  // 400 x 266
    InProcessRun run(picture);
    ParameterBlock& params = run.params();
    params.zoomLevel = 3;
    params.panX = 30;
    params.panY = 6;
    params.renderDestination = kDestinationHostOutput;
    const SettingsRecord settings = params.settings;
    const IntRect in = inRectOf(run.record());

    ASSERT_EQ(renderPreview(run.context()), 0);
    EXPECT_EQ(params.zoomLevel, 3);
    EXPECT_EQ(params.panX, 30);
    EXPECT_EQ(params.panY, 6);
    EXPECT_EQ(params.renderDestination, kDestinationHostOutput);
    EXPECT_EQ(params.currentPass, kNoPassRunning);
    EXPECT_EQ(std::memcmp(&params.settings, &settings, sizeof settings), 0);
    EXPECT_EQ(inRectOf(run.record()), in);

    const image::PreviewBuffer& preview = run.context().session.preview;
    ASSERT_EQ(preview.bufferWidth, 133);
    ASSERT_EQ(preview.bufferHeight, 88);
    ASSERT_NE(preview.pixels, nullptr);
    // Above the horizon the preview is the picture every third pixel, offset by the pan.
    double sum = 0.0;
    int count = 0;
    for (std::int32_t y = 0; y < 30; ++y) {
        for (std::int32_t x = 0; x < 120; ++x) {
            for (int c = 0; c < 3; ++c) {
                const float shown =
                    preview.pixels[c * preview.planeSize + y * preview.bufferWidth + x];
                const float picked = host_app::sampleValue(picture, 3 * x + 30, 3 * y + 6, c);
                sum += std::fabs(shown - picked);
                ++count;
            }
        }
    }
    EXPECT_LT(sum / count, 12.0);
}

TEST(PreviewRender, TheDragBackgroundIsTheHostsReducedPictureAtThePan) {
    Picture picture = samplePicture(4);
    InProcessRun run(picture);
    run.params().zoomLevel = 3;
    run.params().panX = 30;
    run.params().panY = 6;
    const IntRect in = inRectOf(run.record());
    ASSERT_EQ(readPreviewBackground(run.context()), 0);
    const image::PreviewBuffer& preview = run.context().session.preview;
    ASSERT_EQ(preview.bufferWidth, 133);
    for (std::int32_t y = 0; y < 80; y += 7)
        for (std::int32_t x = 0; x < 120; x += 5)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(preview.pixels[c * preview.planeSize + y * preview.bufferWidth + x],
                          host_app::sampleValue(picture, 3 * x + 30, 3 * y + 6, c));
    EXPECT_EQ(inRectOf(run.record()), in);
}

TEST(PreviewRender, TheSourceIsLoadedOncePerRun) {
    useOwnTemporaryFolder();
    Picture picture = samplePicture(8);
    InProcessRun run(picture);
    run.params().zoomLevel = 2;
    ASSERT_EQ(renderPreview(run.context()), 0);
    const image::TiledImage* source = run.context().session.sourceImage.get();
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->contentState, image::kContentPyramidBuilt);
    ASSERT_EQ(renderPreview(run.context()), 0);
    EXPECT_EQ(run.context().session.sourceImage.get(), source);
}

TEST(PreviewRender, TheThumbnailHasNoneOfThePreviewsMarksAndThePaneKeepsThem) {
    useOwnTemporaryFolder();
    Picture picture = samplePicture(4);
    InProcessRun run(picture);
    FilterContext& ctx = run.context();
    run.params().hostCanPreview = 1;
    run.params().zoomLevel = 3;
    ASSERT_EQ(renderPreview(ctx), 0);
    const image::PreviewBuffer& preview = ctx.session.preview;
    const std::vector<std::uint8_t> shown(preview.pixels.get(),
                                          preview.pixels.get() + preview.allocatedBytes);
    const auto fromShown = image::createThumbnailImage();
    image::makeThumbnailFromPreview(*fromShown, preview, true);

    image::TiledImage& thumbnail = *ctx.session.thumbnailImage;
    makeThumbnailFromCleanPreview(ctx, thumbnail);
    ASSERT_EQ(preview.allocatedBytes, std::int64_t(shown.size()));
    EXPECT_TRUE(std::equal(shown.begin(), shown.end(), preview.pixels.get()));

    ctx.session.previewOverlays = false;
    ASSERT_EQ(renderPreview(ctx), 0);
    const auto clean = image::createThumbnailImage();
    image::makeThumbnailFromPreview(*clean, preview, true);
    int marked = 0;
    for (std::int32_t y = 0; y < clean->baseHeight; ++y) {
        for (std::int32_t x = 0; x < clean->baseWidth; ++x) {
            ASSERT_EQ(image::readRgba8(thumbnail, x, y, 0), image::readRgba8(*clean, x, y, 0));
            if (image::readRgba8(*fromShown, x, y, 0) != image::readRgba8(*clean, x, y, 0))
                ++marked;
        }
    }
    EXPECT_GT(marked, 0) << "the shown preview carries no marks to leave out";
}

TEST(PreviewRender, APictureThatCannotBeHeldEndsWith999AndLeavesTheFieldsAlone) {
    useOwnTemporaryFolder();
    Picture picture = samplePicture(8);
    InProcessRun run(picture);
    // A host whose filter rectangle is empty: no source image can be made for it.
    setInRect(run.record(), IntRect{});
    run.record().filterRect = pi::Rect{};
    run.params().zoomLevel = 2;
    EXPECT_EQ(renderPreview(run.context()), kResultSourceImageFailed);
    EXPECT_EQ(run.context().session.sourceImage.get(), nullptr);
    EXPECT_EQ(run.params().zoomLevel, 2);
    EXPECT_EQ(run.params().renderDestination, kDestinationHostOutput);
}

}  // namespace
}  // namespace mirel::testing
