// Hosts that give less than ours: through a host that leaves parts of the
// interface out (no 32-bit rectangles, no sampling, no padding, handle sizes of
// 0, empty property and resource suites, failing colour services) the filter
// gives the same pixels as through the full host, and never asks such a host
// for what it lacks (the host fails a request outside the picture).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/host/host_profile.h"
#include "host/preview_render.h"
#include "tests/end_to_end/end_to_end_support.h"

namespace mirel::testing {
namespace {

using host_app::Picture;
using hostkit::Descriptor;
using hostkit::HostOptions;
using pi::fourCC;

HostOptions profiled(const std::string& profile) {
    HostOptions options = replayOptions();
    std::string error;
    EXPECT_TRUE(hostkit::applyHostProfile(profile, options, error)) << error;
    return options;
}

Descriptor styleSettings(int style) {
    Descriptor settings;
    settings.put(hostkit::integerItem(fourCC("0022"), style));
    return settings;
}

// The picture rendered through the full host and through `options`, both from the
// defaults with the given style; the results must be the same bits.
void expectSamePixels(const Picture& picture, const HostOptions& options, int style,
                      const Picture* mask = nullptr) {
    useOwnTemporaryFolder();
    Picture full = picture;
    ASSERT_EQ(runFilter(full, styleSettings(style), replayOptions(), mask), 0);
    useOwnTemporaryFolder();
    Picture less = picture;
    ASSERT_EQ(runFilter(less, styleSettings(style), options, mask), 0);
    EXPECT_EQ(less.pixels, full.pixels);
    EXPECT_NE(less.pixels, picture.pixels) << "the filter drew nothing";
}

TEST(MinimalHost, EveryKindOfPictureRendersAsThroughTheFullHost) {
    const Picture& rgb8 = samplePicture(8);  // 200 x 133: tiles cut at both edges
    const Picture mask = gradientMask(rgb8);
    const HostOptions minimal = profiled("minimal");
    struct Case {
        const char* name;
        Picture picture;
        const Picture* mask;
    };
    // Strips narrower than a source tile and wider than one: the filter reads the
    // source 512 columns at a time and pads what lies beyond the picture itself.
    const std::vector<Case> cases = {{"rgb8", rgb8, nullptr},
                                     {"rgb16", convertPicture(rgb8, 3, 16), nullptr},
                                     {"rgb32", convertPicture(rgb8, 3, 32), nullptr},
                                     {"grey8", convertPicture(rgb8, 1, 8), nullptr},
                                     {"rgba8", convertPicture(rgb8, 4, 8), nullptr},
                                     {"rgb8 masked", rgb8, &mask},
                                     {"wide strip", stripOf(rgb8, 1500, 5), nullptr},
                                     {"tall strip", stripOf(rgb8, 3, 300), nullptr}};
    for (const Case& c : cases) {
        for (int style = 1; style <= 2; ++style) {
            SCOPED_TRACE(std::string(c.name) + ", style " + std::to_string(style));
            expectSamePixels(c.picture, minimal, style, c.mask);
        }
    }
}

TEST(MinimalHost, EachMissingPartAloneGivesTheSamePixels) {
    const Picture picture = stripOf(samplePicture(8), 700, 90);
    for (const char* part : hostkit::kMinimalProfileParts) {
        SCOPED_TRACE(part);
        expectSamePixels(picture, profiled(part), 2);
    }
}

// Without 32-bit rectangles a host describes pictures up to 32767 pixels a side.
TEST(MinimalHost, TheWidestPictureWithoutBigDocumentRectangles) {
    const Picture picture = stripOf(samplePicture(8), 32767, 2);
    expectSamePixels(picture, profiled("no-big-document,no-padding"), 1);
}

// The preview through a host that cannot pad or sample: zoomed out, with tiles
// and the drag background that reach past the picture's edges, it shows what
// the full host shows.
TEST(MinimalHost, PreviewsPastThePicturesEdgesAsThroughTheFullHost) {
    Picture picture = samplePicture(4);  // 400 x 266
    const auto preview = [&](const HostOptions& options, bool background) {
        useOwnTemporaryFolder();
        Picture copy = picture;
        InProcessRun run(copy, options);
        run.params().zoomLevel = 2;
        run.params().panX = 390;  // the pane reaches past the right and bottom edges
        run.params().panY = 250;
        EXPECT_EQ(background ? readPreviewBackground(run.context()) : renderPreview(run.context()),
                  0);
        const image::PreviewBuffer& buffer = run.context().session.preview;
        return std::vector<std::uint8_t>(
            buffer.pixels.get(), buffer.pixels.get() + buffer.planeSize * buffer.planeCount);
    };
    for (const bool background : {false, true}) {
        SCOPED_TRACE(background ? "background" : "render");
        const std::vector<std::uint8_t> full = preview(replayOptions(), background);
        ASSERT_FALSE(full.empty());
        for (const char* profile : {"no-padding", "no-sampling", "minimal"}) {
            const std::vector<std::uint8_t> less = preview(profiled(profile), background);
            ASSERT_EQ(less.size(), full.size()) << profile;
            std::size_t differing = 0, first = less.size();
            for (std::size_t i = 0; i < less.size(); ++i)
                if (less[i] != full[i] && differing++ == 0) first = i;
            EXPECT_EQ(differing, 0u) << profile << ": first at byte " << first;
        }
    }
}

TEST(MinimalHost, ProfilesByNameAndTheirMistakes) {
    HostOptions options = replayOptions();
    std::string error;
    ASSERT_TRUE(hostkit::applyHostProfile("minimal", options, error));
    EXPECT_FALSE(options.offerBigDocument);
    EXPECT_FALSE(options.sampleInput);
    EXPECT_FALSE(options.supportPadding);
    EXPECT_FALSE(options.reportHandleSizes);
    EXPECT_TRUE(options.offerEmptySuites && options.offerFailingColorServices);
    EXPECT_TRUE(hostkit::profileOffersScripting(options)) << "minimal keeps scripting";
    ASSERT_TRUE(hostkit::applyHostProfile("no-padding,scripting-v0", options, error));
    EXPECT_FALSE(hostkit::profileOffersScripting(options));
    HostOptions full = replayOptions();
    ASSERT_TRUE(hostkit::applyHostProfile("full", full, error));
    EXPECT_TRUE(full.supportPadding && full.sampleInput && full.offerBigDocument);
    EXPECT_FALSE(hostkit::applyHostProfile("minimal,no-such-thing", options, error));
    EXPECT_NE(error.find("\"no-such-thing\""), std::string::npos) << error;
    EXPECT_FALSE(hostkit::applyHostProfile("", options, error));
}

}  // namespace
}  // namespace mirel::testing
