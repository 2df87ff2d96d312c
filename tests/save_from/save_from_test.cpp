// save-settings --from as a user runs it: the file carries a JPEG thumbnail of the
// effect on the picture (the picture above the water, water below), and a picture
// that cannot be read costs one line and writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "apps/mirel/image_file.h"
#include "settings/settings_file.h"
#include "tests/support/host_program.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

using host_app::Picture;

using Outcome = ProgramOutcome;

// Runs the host program in `folder`, with the plug-in's temporary folder there too.
Outcome runHost(const std::string& folder, const std::string& arguments) {
    return runProgram(pluginPath(), arguments, "TMPDIR=" + quoted(folder) + " ", folder);
}

bool exists(const std::string& path) {
    return fileExists(path);
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr int kWidth = 96;
constexpr int kHeight = 64;

// Smooth in every channel so that the thumbnail's resampling keeps it: red across,
// green down, blue in waves across. Water reflects rows, which turns the green ramp over.
float sampleAt(int x, int y, int c) {
    switch (c) {
        case 0:
            return float(x * 255 / (kWidth - 1));
        case 1:
            return float(y * 255 / (kHeight - 1));
        default:
            return float(std::lround(128.0 + 100.0 * std::sin(x / 7.0)));
    }
}

std::string writePicture(const std::string& folder) {
    Picture picture;
    std::string error;
    EXPECT_TRUE(host_app::allocatePicture(picture, kWidth, kHeight, 3, 8, error)) << error;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c)
                host_app::setSampleValue(picture, x, y, c, sampleAt(x, y, c));
    EXPECT_TRUE(host_app::writePicture(folder + "in.png", picture, error)) << error;
    return folder + "in.png";
}

struct Difference {
    double mean = 0.0;
    double largest = 0.0;
};

// Difference per sample between thumbnail rows [from, to) and the picture's pixels
// they show: the preview is the whole 96 x 64 picture, its centred 64 x 64 square
// (columns 16 to 79) is enlarged twice to 128 x 128.
Difference differenceFromPicture(const Picture& thumbnail, int from, int to) {
    Difference difference;
    int count = 0;
    for (int y = from; y < to; ++y) {
        for (int x = 0; x < 128; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double d = std::fabs(host_app::sampleValue(thumbnail, x, y, c) -
                                           sampleAt(16 + x / 2, y / 2, c));
                difference.mean += d;
                difference.largest = std::max(difference.largest, d);
                ++count;
            }
        }
    }
    difference.mean /= count;
    return difference;
}

TEST(SaveSettingsFrom, TheThumbnailShowsThePictureAboveAndWaterBelow) {
    const std::string folder = scratchFolder();
    writePicture(folder);
    Outcome outcome =
        runHost(folder, "save-settings look.q8r --from in.png --set 'horizon float=50'");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(outcome.output, "");

    // The settings come first, then the thumbnail as a JPEG stream.
    const std::string bytes = readBytes(folder + "look.q8r");
    ASSERT_GT(bytes.size(), kSettingsFileBytesWithoutThumbnail);
    EXPECT_NE(bytes.find("\xFF\xD8\xFF", kSettingsFileBytesWithoutThumbnail - 8),
              std::string::npos);

    outcome = runHost(folder, "info look.q8r --thumbnail thumb.png");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("thumbnail: yes"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("horizon float      '0019'  50"), std::string::npos)
        << outcome.output;
    Picture thumbnail;
    std::string error;
    ASSERT_TRUE(host_app::readPicture(folder + "thumb.png", thumbnail, error)) << error;
    ASSERT_EQ(thumbnail.width, 128);
    ASSERT_EQ(thumbnail.height, 128);

    const Difference above = differenceFromPicture(thumbnail, 0, 32);
    EXPECT_LT(above.mean, 10.0) << "the top of the thumbnail is not the picture";
    // The cross at the ripple centre, drawn there in the dialog's preview, is not.
    EXPECT_LT(above.largest, 40.0) << "the thumbnail carries the preview's marks";
    EXPECT_GT(differenceFromPicture(thumbnail, 100, 128).mean, 30.0)
        << "the bottom of the thumbnail shows no water";
}

TEST(SaveSettingsFrom, TheSettingsDecideTheThumbnail) {
    // Two looks at the same picture differ in their thumbnails' water, not in their sky.
    const std::string folder = scratchFolder();
    writePicture(folder);
    ASSERT_EQ(
        runHost(folder, "save-settings a.q8r --from in.png --set 'horizon float=50'").exitCode, 0);
    ASSERT_EQ(runHost(folder,
                      "save-settings b.q8r --from in.png --set 'horizon float=50' "
                      "--set 'water red=255' --set 'water green=0' --set 'water blue=0'")
                  .exitCode,
              0);
    ASSERT_EQ(runHost(folder, "info a.q8r --thumbnail a.png").exitCode, 0);
    ASSERT_EQ(runHost(folder, "info b.q8r --thumbnail b.png").exitCode, 0);
    Picture a, b;
    std::string error;
    ASSERT_TRUE(host_app::readPicture(folder + "a.png", a, error)) << error;
    ASSERT_TRUE(host_app::readPicture(folder + "b.png", b, error)) << error;
    double top = 0.0, bottom = 0.0;
    for (int x = 0; x < 128; ++x) {
        for (int c = 0; c < 3; ++c) {
            top += std::fabs(host_app::sampleValue(a, x, 8, c) - host_app::sampleValue(b, x, 8, c));
            bottom += std::fabs(host_app::sampleValue(a, x, 120, c) -
                                host_app::sampleValue(b, x, 120, c));
        }
    }
    EXPECT_LT(top / 384, 3.0);
    EXPECT_GT(bottom / 384, 10.0);
}

TEST(SaveSettingsFrom, APictureThatCannotBeReadIsOneLineAndNoFile) {
    const std::string folder = scratchFolder();
    std::ofstream(folder + "notes.png") << "not a picture";
    for (const std::string picture : {"missing.png", "notes.png"}) {
        const Outcome outcome = runHost(folder, "save-settings out.q8r --from " + picture);
        EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
        EXPECT_EQ(outcome.output.rfind("mirel: ", 0), 0u) << outcome.output;
        EXPECT_EQ(outcome.output.find('\n'), outcome.output.size() - 1) << outcome.output;
        EXPECT_NE(outcome.output.find(picture), std::string::npos) << outcome.output;
        EXPECT_NE(outcome.output.find("out.q8r was not written"), std::string::npos)
            << outcome.output;
        EXPECT_FALSE(exists(folder + "out.q8r"));
    }

    // A file that was there stays as it was.
    ASSERT_EQ(runHost(folder, "save-settings out.q8r --set spin=45").exitCode, 0);
    const std::string before = readBytes(folder + "out.q8r");
    EXPECT_EQ(runHost(folder, "save-settings out.q8r --from missing.png").exitCode, 2);
    EXPECT_EQ(readBytes(folder + "out.q8r"), before);
}

}  // namespace
}  // namespace mirel::testing
