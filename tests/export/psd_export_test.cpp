// Exports through the plug-in's own render entry, with the host program's real
// host over a picture: the document read back, the layer against the final
// apply of the same settings, chosen sizes, and what is left alone on failure.
#include "export/psd_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "host/plugin_main.h"
#include "host/render_entry.h"
#include "render/output_modes.h"
#include "tests/end_to_end/end_to_end_support.h"
#include "tests/export/psd_reader.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

using host_app::Picture;

PsdDocument readBack(const std::string& path) {
    PsdDocument doc;
    std::string error;
    EXPECT_TRUE(readPsd(readWholeFile(path), doc, error)) << error;
    return doc;
}

std::vector<std::string> keywordsOf(const PsdDocument& doc) {
    std::vector<std::string> words;
    const PsdResource* iptc = doc.resource(1028);
    if (!iptc) return words;
    for (const IptcDataset& d : parseIptcBlock(iptc->data.data(), iptc->data.size()))
        if (d.number == kIptcKeywords) words.push_back(d.data);
    return words;
}

// On a picture of one grey, the first row from the top whose red in the
// middle column is not that of the top row: where the water begins.
std::uint32_t firstWaterRow(const PsdDocument& doc) {
    const std::uint32_t sky = doc.layerSample(1, doc.width / 2, 0);
    for (std::uint32_t y = 0; y < doc.height; ++y)
        if (doc.layerSample(1, doc.width / 2, y) != sky) return y;
    return doc.height;
}

TEST(PsdExport, AtThePictureSizeTheLayerIsTheFinalApply) {
    const std::string folder = useOwnTemporaryFolder();
    Picture picture = convertPicture(samplePicture(10), 4, 8);  // 160 x 106
    // A translucent band, so that the layer's transparency is the picture's too.
    for (std::int32_t y = 0; y < picture.height; ++y)
        for (std::int32_t x = 0; x < 40; ++x) host_app::setSampleValue(picture, x, y, 3, 100);
    const Picture original = picture;
    InProcessRun run(picture);
    ParameterBlock& params = run.params();
    params.zoomLevel = 3;
    params.panX = 30;
    params.panY = 6;
    const SettingsRecord settings = params.settings;

    std::vector<std::int32_t> progress;
    PsdExportOptions options;
    options.progress = [&](std::int32_t permille) {
        progress.push_back(permille);
        return true;
    };
    const std::string path = folder + "water.psd";
    ASSERT_EQ(exportPsd(run.context(), options, path), 0);
    EXPECT_EQ(params.zoomLevel, 3);
    EXPECT_EQ(params.panX, 30);
    EXPECT_EQ(params.panY, 6);
    EXPECT_EQ(params.renderDestination, kDestinationHostOutput);
    EXPECT_EQ(params.currentPass, kNoPassRunning);
    EXPECT_EQ(std::memcmp(&params.settings, &settings, sizeof settings), 0);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1000);

    const PsdDocument doc = readBack(path);
    ASSERT_EQ(doc.width, 160u);
    ASSERT_EQ(doc.height, 106u);
    EXPECT_EQ(doc.depth, 8);
    EXPECT_EQ(doc.layers.at(0).name, "layer 1");
    EXPECT_EQ(keywordsOf(doc), std::vector<std::string>{"Mirel"});  // normal mode adds none

    // The final apply of the same settings on the same picture.
    params.zoomLevel = 1;
    params.panX = params.panY = 0;
    ASSERT_EQ(applyToHost(run.context()), 0);
    run.record().advanceState();  // the host takes the last tile
    std::int64_t differing = 0, changed = 0;
    for (std::int32_t y = 0; y < picture.height; ++y) {
        for (std::int32_t x = 0; x < picture.width; ++x) {
            const std::uint8_t* applied = host_app::pixelAddress(picture, x, y);
            const std::uint8_t* before = host_app::pixelAddress(original, x, y);
            const std::uint32_t layer[4] = {doc.layerSample(1, x, y), doc.layerSample(2, x, y),
                                            doc.layerSample(3, x, y), doc.layerSample(0, x, y)};
            for (int c = 0; c < 4; ++c) {
                differing += layer[c] != applied[c];
                changed += applied[c] != before[c];
            }
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(changed, 0);  // the apply did put water on the picture
}

TEST(PsdExport, AChosenSizeDrawsTheWaterAtThatSize) {
    const std::string folder = useOwnTemporaryFolder();
    Picture picture;
    std::string error;
    ASSERT_TRUE(host_app::allocatePicture(picture, 160, 106, 3, 16, error)) << error;
    for (std::int32_t y = 0; y < picture.height; ++y)
        for (std::int32_t x = 0; x < picture.width; ++x)
            for (int c = 0; c < 3; ++c) host_app::setSampleValue(picture, x, y, c, 16384);
    picture.iccProfile.assign(300, 0x5A);
    InProcessRun run(picture);
    run.params().settings.outputMode = 6;  // darken: the water, darker than the grey, shows

    PsdExportOptions own;
    ASSERT_EQ(exportPsd(run.context(), own, folder + "own.psd"), 0);
    PsdExportOptions doubled;
    doubled.width = 2 * picture.width;
    doubled.height = 2 * picture.height;
    ASSERT_EQ(exportPsd(run.context(), doubled, folder + "doubled.psd"), 0);

    const PsdDocument small = readBack(folder + "own.psd");
    const PsdDocument large = readBack(folder + "doubled.psd");
    ASSERT_EQ(large.width, 320u);
    ASSERT_EQ(large.height, 212u);
    EXPECT_EQ(large.depth, 16);
    EXPECT_EQ(large.channels, 4);
    ASSERT_NE(large.resource(1039), nullptr);
    EXPECT_EQ(large.resource(1039)->data, picture.iccProfile);
    EXPECT_EQ(keywordsOf(large),
              (std::vector<std::string>{"Mirel", std::string(render::outputModeName(6))}));
    // The horizon stays at its place in the picture, whatever the size.
    const std::uint32_t smallHorizon = firstWaterRow(small);
    ASSERT_GT(smallHorizon, 10u);
    ASSERT_LT(smallHorizon, small.height - 10);
    EXPECT_NEAR(double(firstWaterRow(large)), 2.0 * smallHorizon, 2.0);
}

TEST(PsdExport, FailuresWriteNothing) {
    const std::string folder = useOwnTemporaryFolder();
    Picture picture = convertPicture(samplePicture(20), 3, 8);
    InProcessRun run(picture);

    PsdExportOptions tooLarge;
    tooLarge.width = 40000;
    tooLarge.height = 100;
    EXPECT_EQ(exportPsd(run.context(), tooLarge, folder + "large.psd"), psd::kPsdUnsupported);
    EXPECT_EQ(exportPsd(run.context(), {}, folder + "missing/water.psd"), psd::kPsdWriteFailed);

    PsdExportOptions cancelled;
    cancelled.progress = [](std::int32_t) { return false; };
    EXPECT_EQ(exportPsd(run.context(), cancelled, folder + "cancelled.psd"), pi::kUserCanceledErr);
    EXPECT_EQ(run.params().renderDestination, kDestinationHostOutput);

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{});
}

}  // namespace
}  // namespace mirel::testing
