// The command line's exports through the real host program: `apply -o x.psd`
// and `gallery FOLDER -o page.html`.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "apps/mirel/image_file.h"
#include "tests/end_to_end/end_to_end_support.h"
#include "tests/export/psd_reader.h"
#include "tests/support/host_program.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

std::string plugin() {
    return std::getenv("MIREL_PLUGIN");
}

TEST(CommandLineExport, APsdOutputHoldsTheResultAsItsLayer) {
    const std::string folder = scratchFolder();
    const std::string sample = folder + "sample.png";
    std::string error;
    ASSERT_TRUE(host_app::writePicture(sample, samplePicture(8), error)) << error;
    // Each run in a temporary folder of its own: a run starts from the last one's settings.
    for (const char* output : {"w.png", "w.psd"}) {
        const std::string tmp = folder + output + ".tmp";
        ASSERT_TRUE(std::filesystem::create_directories(tmp));
        const ProgramOutcome run = runProgram(
            plugin(),
            "apply " + quoted(sample) + " -o " + quoted(folder + output) + " --set glue=screen",
            "TMPDIR=" + quoted(tmp) + " ");
        ASSERT_EQ(run.exitCode, 0) << run.output;
    }

    host_app::Picture png;
    ASSERT_TRUE(host_app::readPicture(folder + "w.png", png, error)) << error;
    PsdDocument doc;
    ASSERT_TRUE(readPsd(readWholeFile(folder + "w.psd"), doc, error)) << error;
    ASSERT_EQ(doc.width, std::uint32_t(png.width));
    ASSERT_EQ(doc.height, std::uint32_t(png.height));
    EXPECT_EQ(doc.layers.at(0).name, "layer 1");
    std::int64_t differing = 0;
    for (std::int32_t y = 0; y < png.height; ++y)
        for (std::int32_t x = 0; x < png.width; ++x)
            for (int c = 0; c < 3; ++c)
                differing += doc.layerSample(c + 1, x, y) != host_app::sampleValue(png, x, y, c);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(doc.layerSample(0, 0, 0), 255u);  // opaque: the picture has no transparency
}

TEST(CommandLineExport, AGalleryPageShowsAFoldersPresets) {
    const std::string folder = scratchFolder();
    const std::string presets = folder + "presets/";
    ASSERT_TRUE(std::filesystem::create_directories(presets));
    for (const char* name : {"calm.q8r", "Storm.Q8R"})
        ASSERT_EQ(runProgram(plugin(), "save-settings " + quoted(presets + name)).exitCode, 0);

    const ProgramOutcome page =
        runProgram(plugin(), "gallery " + quoted(presets) + " -o " + quoted(folder + "page.html"));
    ASSERT_EQ(page.exitCode, 0) << page.output;
    EXPECT_TRUE(fileExists(folder + "page.html"));
    EXPECT_EQ(folderEntries(folder + "web_images"),
              (std::vector<std::string>{"Storm.jpg", "calm.jpg"}));

    const ProgramOutcome missing = runProgram(
        plugin(), "gallery " + quoted(folder + "nowhere") + " -o " + quoted(folder + "other.html"));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_FALSE(fileExists(folder + "other.html"));
}

}  // namespace
}  // namespace mirel::testing
