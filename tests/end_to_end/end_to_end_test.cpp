// The effect from end to end: the real plug-in applied by the host program's
// code to the sample photograph, in every kind of picture the host offers.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <utility>

#include "tests/end_to_end/end_to_end_support.h"
#include "tests/support/host_program.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

using host_app::Picture;

// With the default settings the horizon lies at half the height; the rows
// well above it show the picture, the rows well below it water.
struct Bands {
    std::int32_t dryBottom, wetTop, height;
};
Bands bandsOf(const Picture& picture) {
    return {picture.height * 2 / 5, picture.height * 3 / 5, picture.height};
}

TEST(EndToEnd, TheWaterReplacesThePictureBelowTheHorizonOnly) {
    useOwnTemporaryFolder();
    const Picture& original = samplePicture(4);  // 400 x 266
    Picture picture = original;
    ASSERT_EQ(runFilter(picture, replayOptions()), 0);
    const Bands bands = bandsOf(picture);
    EXPECT_EQ(differenceOf(picture, original, 0, bands.dryBottom).largest, 0.0);
    const Difference wet = differenceOf(picture, original, bands.wetTop, bands.height);
    EXPECT_GT(wet.mean, 0.05);
}

TEST(EndToEnd, TheUnselectedPartIsLeftUntouched) {
    useOwnTemporaryFolder();
    const Picture& original = samplePicture(8);
    Picture mask;
    std::string error;
    ASSERT_TRUE(host_app::allocatePicture(mask, original.width, original.height, 1, 8, error));
    const std::int32_t half = original.width / 2;
    for (std::int32_t y = 0; y < mask.height; ++y)
        for (std::int32_t x = 0; x < half; ++x) host_app::setSampleValue(mask, x, y, 0, 255.0f);
    Picture picture = original;
    ASSERT_EQ(runFilter(picture, replayOptions(), &mask), 0);
    const Bands bands = bandsOf(picture);
    EXPECT_EQ(differenceOf(picture, original, 0, bands.height, half).largest, 0.0);
    EXPECT_GT(differenceOf(picture, original, bands.wetTop, bands.height, 0, half).mean, 0.05);
}

// A paint program hands the filter the selection's bounds: the water within them is
// the water of the cut-out picture (but where a wave reflects from beyond the bounds,
// which the cut-out has only as its repeated edge), and the rest stays as it was.
TEST(EndToEnd, AFilterRectangleRendersAsTheCutOutPictureWould) {
    useOwnTemporaryFolder();
    const Picture& original = samplePicture(8);
    const IntRect rect{20, 30, 120, 170};
    Picture cutOut;
    std::string error;
    ASSERT_TRUE(host_app::allocatePicture(cutOut, rect.width(), rect.height(), original.channels, 8,
                                          error));
    std::vector<std::uint8_t> row(std::size_t(rect.width()) * original.channels);
    for (std::int32_t y = rect.top; y < rect.bottom; ++y) {
        original.readPixels(rect.left, y, rect.width(), row.data());
        cutOut.writePixels(0, y - rect.top, rect.width(), row.data());
    }
    ASSERT_EQ(runFilter(cutOut, replayOptions()), 0);

    Picture picture = original;
    hostkit::FilterHost host(mirelPlugin(), picture, replayOptions());
    ASSERT_TRUE(host.setFilterRect(rect));
    EXPECT_FALSE(host.setFilterRect({0, 500, 10, 600}));  // outside the picture
    ASSERT_EQ(host.run(true), 0);
    Picture within;
    ASSERT_TRUE(host_app::allocatePicture(within, rect.width(), rect.height(), original.channels, 8,
                                          error));
    for (std::int32_t y = rect.top; y < rect.bottom; ++y) {
        picture.readPixels(rect.left, y, rect.width(), row.data());
        within.writePixels(0, y - rect.top, rect.width(), row.data());
    }
    EXPECT_LT(differenceOf(within, cutOut, 0, rect.height()).mean, 1.0 / 255.0);
    EXPECT_GT(
        differenceOf(picture, original, rect.bottom - 20, rect.bottom, rect.left, rect.right).mean,
        0.05);
    EXPECT_EQ(differenceOf(picture, original, 0, rect.top).largest, 0.0);
    EXPECT_EQ(differenceOf(picture, original, rect.top, original.height, rect.right).largest, 0.0);
    EXPECT_EQ(differenceOf(picture, original, rect.top, original.height, 0, rect.left).largest,
              0.0);
}

// A selection of half strength gives half the effect on every tile, the last
// one too: the host must not mask the last tile's output a second time when
// the filter puts its request back at the end.
TEST(EndToEnd, AHalfSelectionBlendsEveryTileOnce) {
    useOwnTemporaryFolder();
    const Picture& original = samplePicture(8);  // 200 x 133: twelve tiles
    // Both runs start from the settings a first run confirmed (the cache keeps
    // some values at a coarser step than the defaults).
    Picture full = original;
    ASSERT_EQ(runFilter(full, replayOptions()), 0);
    full = original;
    ASSERT_EQ(runFilter(full, replayOptions()), 0);
    Picture mask;
    std::string error;
    ASSERT_TRUE(host_app::allocatePicture(mask, original.width, original.height, 1, 8, error));
    for (std::int32_t y = 0; y < mask.height; ++y)
        for (std::int32_t x = 0; x < mask.width; ++x)
            host_app::setSampleValue(mask, x, y, 0, 128.0f);
    Picture half = original;
    ASSERT_EQ(runFilter(half, replayOptions(), &mask), 0);
    int wrong = 0;
    for (std::int32_t y = 0; y < original.height; ++y)
        for (std::int32_t x = 0; x < original.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const float before = host_app::sampleValue(original, x, y, c);
                const float after = host_app::sampleValue(full, x, y, c);
                const float expected = before + (after - before) * (128.0f / 255.0f);
                // Two truncations to 8 bits: of the whole effect and of the blend.
                wrong += std::abs(host_app::sampleValue(half, x, y, c) - expected) > 2.0f;
            }
    EXPECT_EQ(wrong, 0);
}

TEST(EndToEnd, ATransparentLayerKeepsItsTransparency) {
    useOwnTemporaryFolder();
    Picture original = convertPicture(samplePicture(8), 4, 8);
    const std::int32_t clearRight = original.width / 4;
    for (std::int32_t y = 0; y < original.height; ++y)
        for (std::int32_t x = 0; x < clearRight; ++x)
            host_app::setSampleValue(original, x, y, 3, 0.0f);
    const Bands bands = bandsOf(original);

    // Editable transparency: the clear part of the picture stays clear.
    Picture editable = original;
    ASSERT_EQ(runFilter(editable, replayOptions()), 0);
    double opaque = 0.0;
    int count = 0;
    for (std::int32_t y = 0; y < bands.dryBottom; ++y) {
        EXPECT_LT(host_app::sampleValue(editable, clearRight / 2, y, 3), 8.0f) << y;
        for (std::int32_t x = clearRight + 10; x < original.width; ++x, ++count)
            opaque += host_app::normalisedSample(editable, x, y, 3);
    }
    EXPECT_GT(opaque / count, 0.995);
    EXPECT_GT(differenceOf(editable, original, bands.wetTop, bands.height, clearRight + 20).mean,
              0.03);

    // Preserved transparency: alpha is the host's and comes back as it was.
    hostkit::HostOptions preserve = replayOptions();
    preserve.preserveTransparency = true;
    Picture preserved = original;
    ASSERT_EQ(runFilter(preserved, preserve), 0);
    for (std::int32_t y = 0; y < original.height; ++y)
        for (std::int32_t x = 0; x < original.width; x += 7)
            ASSERT_EQ(host_app::sampleValue(preserved, x, y, 3),
                      host_app::sampleValue(original, x, y, 3));
}

TEST(EndToEnd, EveryDepthAndGreyRenders) {
    useOwnTemporaryFolder();
    const int kinds[][2] = {{3, 8}, {1, 8}, {3, 16}, {1, 16}, {3, 32}, {1, 32}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(std::to_string(kind[0]) + " channels, " + std::to_string(kind[1]) + " bits");
        const Picture original = convertPicture(samplePicture(8), kind[0], kind[1]);
        Picture picture = original;
        ASSERT_EQ(runFilter(picture, replayOptions()), 0);
        const Bands bands = bandsOf(picture);
        EXPECT_EQ(differenceOf(picture, original, 0, bands.dryBottom).largest, 0.0);
        EXPECT_GT(differenceOf(picture, original, bands.wetTop, bands.height).mean, 0.03);
    }
}

TEST(EndToEnd, ProgressStartsAtTwoPercentThenCountsInThousandths) {
    useOwnTemporaryFolder();
    Picture picture = samplePicture(8);
    hostkit::FilterHost host(mirelPlugin(), picture, replayOptions());
    ASSERT_EQ(host.run(true), 0);
    const auto& log = host.progressLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), std::make_pair(2, 100));
    for (std::size_t i = 1; i < log.size(); ++i) {
        EXPECT_EQ(log[i].second, 1000);
        EXPECT_GE(log[i].first, 1);
        EXPECT_LE(log[i].first, 1001);
    }
}

TEST(EndToEnd, ACancelInTheHostEndsTheApplyWithUserCanceled) {
    useOwnTemporaryFolder();
    hostkit::HostOptions options = replayOptions();
    options.abortAfterPolls = 3;
    const Picture& original = samplePicture(4);
    Picture picture = original;
    hostkit::FilterHost host(mirelPlugin(), picture, options);
    EXPECT_EQ(host.run(true), -128);
    // The host stopped being asked once it said yes.
    EXPECT_EQ(host.abortPolls(), 4);
}

TEST(EndToEnd, AHostErrorDuringTheApplyIsTheResultAndThePictureStaysAsItWas) {
    useOwnTemporaryFolder();
    hostkit::HostOptions options = replayOptions();
    options.advanceStateError = -36;  // an I/O error of the host
    const Picture& original = samplePicture(8);
    Picture picture = original;
    EXPECT_EQ(runFilter(picture, options), -36);
    EXPECT_EQ(picture.pixels, original.pixels);
}

// Runs the host program; returns its exit status (-1 when a signal ended it).
int runHost(const std::string& arguments, const std::string& environment = "") {
    return runProgram(pluginPath(), arguments, environment).exitCode;
}

#if !defined(_WIN32)
TEST(EndToEnd, CtrlCGivesExitOneAndNoOutput) {
    const std::string folder = useOwnTemporaryFolder();
    const std::string output = folder + "water.png";
    const std::string input = sourceDir() + "/examples/aitzgorri_1600.jpg";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Ignored until the program installs its own handler, so that an
        // interrupt that comes too early is lost rather than fatal.
        signal(SIGINT, SIG_IGN);
        execl(hostPath().c_str(), hostPath().c_str(), "--plugin", pluginPath().c_str(), "apply",
              input.c_str(), "-o", output.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Interrupt, as a user pressing Ctrl-C would, until the program ends.
    int status = 0;
    pid_t ended = 0;
    for (int attempt = 0; attempt < 600 && ended == 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(child, SIGINT);
        ended = waitpid(child, &status, WNOHANG);
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        ended = waitpid(child, &status, 0);
    }
    ASSERT_EQ(ended, child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_FALSE(std::filesystem::exists(output));
}
#endif

TEST(EndToEnd, OneAndTwoThreadsGiveTheSameBytes) {
    const std::string folder = useOwnTemporaryFolder();
    const std::string input = folder + "sample.png";
    std::string error;
    ASSERT_TRUE(host_app::writePicture(input, samplePicture(8), error)) << error;
    for (const char* style : {"1", "2"}) {
        SCOPED_TRACE(std::string("water style ") + style);
        const std::string set = std::string(" --set 'water style=") + style + "'";
        const std::string one = folder + "one_" + style + ".png";
        const std::string two = folder + "two_" + style + ".png";
        ASSERT_EQ(runHost("apply '" + input + "' -o '" + one + "'" + set, "MIREL_THREADS=1 "), 0);
        ASSERT_EQ(runHost("apply '" + input + "' -o '" + two + "'" + set, "MIREL_THREADS=2 "), 0);
        Picture first, second;
        ASSERT_TRUE(host_app::readPicture(one, first, error)) << error;
        ASSERT_TRUE(host_app::readPicture(two, second, error)) << error;
        EXPECT_EQ(first.pixels, second.pixels);
    }
}

}  // namespace
}  // namespace mirel::testing
