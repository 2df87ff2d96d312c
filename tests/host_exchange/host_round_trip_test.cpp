// Whole runs of the host program over real picture files with the test
// filter: every pixel goes to the plug-in through advanceState and back.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/host_exchange/exchange_test_support.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

using host_app::Picture;

struct Kind {
    const char* inputExtension;
    int channels;
    int bits;
    const char* outputExtension;
};

std::string describe(const Kind& kind) {
    return std::string(kind.inputExtension) + " " + std::to_string(kind.channels) + "ch " +
           std::to_string(kind.bits) + "-bit -> " + kind.outputExtension;
}

Picture readBack(const std::string& path) {
    Picture picture;
    std::string error;
    EXPECT_TRUE(host_app::readPicture(path, picture, error)) << error;
    return picture;
}

// Applies the test filter to `input` and reads the result.
Picture applyTestFilter(const std::string& input, const std::string& output,
                        const std::string& options = "", const std::string& mode = "") {
    const ProgramOutcome outcome = runProgram(
        identityFilterPath(), "apply " + quoted(input) + " -o " + quoted(output) + " " + options,
        mode.empty() ? "" : "MIREL_TEST_FILTER=" + mode + " ");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_TRUE(outcome.output.empty()) << outcome.output;  // no progress bar off a terminal
    return readBack(output);
}

TEST(RoundTrip, EveryKindOfFileComesBackUnchanged) {
    const Kind kinds[] = {
        {"png", 1, 8, "png"},  {"png", 2, 8, "png"},  {"png", 3, 8, "png"},  {"png", 4, 8, "png"},
        {"png", 1, 16, "png"}, {"png", 4, 16, "png"}, {"jpg", 1, 8, "png"},  {"jpg", 3, 8, "tif"},
        {"tif", 3, 8, "tif"},  {"tif", 2, 16, "tif"}, {"tif", 3, 16, "png"}, {"tif", 1, 32, "tif"},
        {"tif", 4, 32, "tif"}, {"png", 3, 8, "jpg"},
    };
    const std::string folder = scratchFolder();
    int index = 0;
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(describe(kind));
        const std::string stem = folder + "k" + std::to_string(index++);
        const std::string input = stem + "." + kind.inputExtension;
        const std::string output = stem + "-out." + kind.outputExtension;
        // 130 rows so that the filter's bands of 64 rows meet twice.
        const Picture made = patternPicture(70, 130, kind.channels, kind.bits);
        std::string error;
        ASSERT_TRUE(host_app::writePicture(input, made, error)) << error;
        const Picture original = readBack(input);  // a JPEG input is what its decoder gives
        const Picture result = applyTestFilter(input, output);
        ASSERT_EQ(result.width, original.width);
        ASSERT_EQ(result.height, original.height);
        EXPECT_EQ(result.channels, original.channels);
        EXPECT_EQ(result.bitsPerChannel, original.bitsPerChannel);
        if (std::string(kind.outputExtension) == "jpg") continue;  // JPEG itself is lossy
        EXPECT_TRUE(result.pixels == original.pixels);
    }
}

// ---- 16-bit files at their own scale ---------------------------------------------

void writeGrey16Png(const std::string& path, const std::vector<std::uint16_t>& values, int side) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        FAIL() << "libpng could not write " << path;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, side, side, 16, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(std::size_t(side) * 2);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const std::uint16_t v = values[std::size_t(y) * side + x];
            row[2 * x] = png_byte(v >> 8);
            row[2 * x + 1] = png_byte(v & 0xff);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

std::vector<std::uint16_t> readGrey16Png(const std::string& path) {
    std::vector<std::uint16_t> values;
    // volatile: the pointer must keep its value across libpng's longjmp.
    FILE* volatile file = std::fopen(path.c_str(), "rb");
    if (!file) return values;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return {};
    }
    png_init_io(png, file);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (png_get_bit_depth(png, info) == 16 &&
        png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY) {
        png_bytepp rows = png_get_rows(png, info);
        for (png_uint_32 y = 0; y < height; ++y)
            for (png_uint_32 x = 0; x < width; ++x)
                values.push_back(std::uint16_t(rows[y][2 * x] << 8 | rows[y][2 * x + 1]));
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return values;
}

TEST(RoundTrip, EverySixteenBitValueMovesByAtMostOneStep) {
    const std::string folder = scratchFolder();
    const int side = 256;  // 65536 pixels: every 16-bit value once
    std::vector<std::uint16_t> values(std::size_t(side) * side);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::uint16_t(i);
    writeGrey16Png(folder + "all.png", values, side);
    applyTestFilter(folder + "all.png", folder + "all-out.png");
    const std::vector<std::uint16_t> back = readGrey16Png(folder + "all-out.png");
    ASSERT_EQ(back.size(), values.size());
    int moved = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_LE(std::abs(int(back[i]) - int(values[i])), 1) << i;
        moved += back[i] != values[i];
        // A file value that the interface scale holds exactly comes back exactly.
        const std::uint16_t exact =
            host_app::interfaceToFile16(host_app::fileToInterface16(values[i]));
        if (exact == values[i]) {
            ASSERT_EQ(back[i], values[i]) << i;
        }
    }
    EXPECT_GT(moved, 0);  // the scales differ, so some values must move
}

// ---- What the plug-in is offered ------------------------------------------------------

TEST(RoundTrip, TheICCProfileIsKeptForTheOutput) {
    const std::string folder = scratchFolder();
    Picture made = patternPicture(20, 10, 3, 8);
    for (int i = 0; i < 300; ++i) made.iccProfile.push_back(std::uint8_t(i * 13));
    std::string error;
    ASSERT_TRUE(host_app::writePicture(folder + "in.tif", made, error)) << error;
    ASSERT_EQ(readBack(folder + "in.tif").iccProfile, made.iccProfile);
    const Picture result = applyTestFilter(folder + "in.tif", folder + "out.tif");
    EXPECT_EQ(result.iccProfile, made.iccProfile);
}

TEST(RoundTrip, PreservedTransparencyKeepsAlphaAndTheMaskLimitsTheChange) {
    const std::string folder = scratchFolder();
    const Picture made = patternPicture(40, 70, 4, 8);
    std::string error;
    ASSERT_TRUE(host_app::writePicture(folder + "in.png", made, error)) << error;

    // Editable transparency: the inverting filter inverts alpha too.
    const Picture edited = applyTestFilter(folder + "in.png", folder + "edited.png", "", "invert");
    // Preserved: colour changes, alpha stays.
    const Picture kept = applyTestFilter(folder + "in.png", folder + "kept.png",
                                         "--preserve-transparency", "invert");
    for (std::int32_t y = 0; y < made.height; y += 7) {
        for (std::int32_t x = 0; x < made.width; x += 3) {
            const float red = host_app::sampleValue(made, x, y, 0);
            const float alpha = host_app::sampleValue(made, x, y, 3);
            // Results are truncated, so an inverted value may come out one lower.
            ASSERT_NEAR(host_app::sampleValue(edited, x, y, 0), 255.0f - red, 1.0f);
            ASSERT_NEAR(host_app::sampleValue(edited, x, y, 3), 255.0f - alpha, 1.0f);
            ASSERT_NEAR(host_app::sampleValue(kept, x, y, 0), 255.0f - red, 1.0f);
            ASSERT_EQ(host_app::sampleValue(kept, x, y, 3), alpha);
        }
    }

    // A selection of the right half: the left half is untouched.
    Picture mask;
    ASSERT_TRUE(host_app::allocatePicture(mask, 40, 70, 1, 8, error));
    for (std::int32_t y = 0; y < 70; ++y)
        for (std::int32_t x = 20; x < 40; ++x) host_app::setSampleValue(mask, x, y, 0, 255.0f);
    ASSERT_TRUE(host_app::writePicture(folder + "mask.png", mask, error)) << error;
    const Picture masked = applyTestFilter(folder + "in.png", folder + "masked.png",
                                           "--mask " + quoted(folder + "mask.png"), "invert");
    for (std::int32_t y = 0; y < made.height; y += 5) {
        ASSERT_EQ(host_app::sampleValue(masked, 3, y, 1), host_app::sampleValue(made, 3, y, 1));
        ASSERT_NEAR(host_app::sampleValue(masked, 30, y, 1),
                    255.0f - host_app::sampleValue(made, 30, y, 1), 1.0f);
    }
}

}  // namespace
}  // namespace mirel::testing
