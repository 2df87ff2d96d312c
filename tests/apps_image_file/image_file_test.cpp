// The host's image files: round trips through real PNG, JPEG and TIFF files,
// the 16-bit scale mapping, conversions on reading, and what happens to
// damaged input and failed writes.
#include "apps/mirel/image_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/mirel/image_codecs.h"
#include "platform/os/os.h"
#include "tests/apps_image_file/test_pictures.h"
#include "tests/support/scratch.h"

namespace mirel::host_app {
namespace {

using testing::makeIccProfile;
using testing::makeTestPicture;
using testing::maxDifference;
using testing::readBytes;
using testing::scratchFolder;
using testing::writeBytes;

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

Picture roundTrip(const Picture& picture, const std::string& path) {
    std::string error;
    EXPECT_TRUE(writePicture(path, picture, error)) << error;
    Picture back;
    EXPECT_TRUE(readPicture(path, back, error)) << error;
    return back;
}

double meanDifference(const Picture& a, const Picture& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) sum += std::abs(a.pixels[i] - b.pixels[i]);
    return sum / static_cast<double>(a.pixels.size());
}

// --- The 16-bit scale -------------------------------------------------------

TEST(ImageFileScale16, KnownValuesMapBothWays) {
    EXPECT_EQ(fileToInterface16(0), 0);
    EXPECT_EQ(fileToInterface16(1), 1);  // 0.50001 rounds up
    EXPECT_EQ(fileToInterface16(32767), 16384);
    EXPECT_EQ(fileToInterface16(32768), 16384);
    EXPECT_EQ(fileToInterface16(65535), 32768);
    EXPECT_EQ(interfaceToFile16(0), 0);
    EXPECT_EQ(interfaceToFile16(1), 2);
    EXPECT_EQ(interfaceToFile16(16384), 32768);  // the one exact half, rounded up
    EXPECT_EQ(interfaceToFile16(32767), 65533);
    EXPECT_EQ(interfaceToFile16(32768), 65535);
    EXPECT_EQ(interfaceToFile16(40000), 65535);  // out of scale saturates
}

TEST(ImageFileScale16, FullSweepRoundTripsAndStaysMonotone) {
    for (std::uint32_t v = 0; v <= kInterface16Max; ++v) {
        const auto value = static_cast<std::uint16_t>(v);
        ASSERT_EQ(fileToInterface16(interfaceToFile16(value)), value) << v;
    }
    std::uint16_t previous = 0;
    for (std::uint32_t v = 0; v <= kFile16Max; ++v) {
        const auto value = static_cast<std::uint16_t>(v);
        const std::uint16_t mapped = fileToInterface16(value);
        ASSERT_GE(mapped, previous) << v;
        ASSERT_LE(std::abs(static_cast<int>(interfaceToFile16(mapped)) - static_cast<int>(v)), 1)
            << v;
        const double exact = v * 32768.0 / 65535.0;
        ASSERT_LE(std::abs(mapped - exact), 0.5) << v;
        previous = mapped;
    }
}

TEST(ImageFileScale16, EveryFileValueSurvivesAPngRoundTripWithinOneStep) {
    const std::string folder = scratchFolder();
    std::vector<std::uint16_t> values(65536);
    for (std::uint32_t v = 0; v < values.size(); ++v) values[v] = static_cast<std::uint16_t>(v);
    testing::writeGrey16Png(folder + "all.png", 256, 256, values);
    Picture picture;
    std::string error;
    ASSERT_TRUE(readPicture(folder + "all.png", picture, error)) << error;
    ASSERT_EQ(picture.bitsPerChannel, 16);
    for (std::uint32_t v = 0; v < 65536; ++v) {
        ASSERT_EQ(sampleValue(picture, v % 256, v / 256, 0), fileToInterface16(values[v])) << v;
    }
    ASSERT_TRUE(writePicture(folder + "again.png", picture, error)) << error;
    const std::vector<std::uint16_t> back = testing::readGrey16Png(folder + "again.png");
    ASSERT_EQ(back.size(), values.size());
    for (std::uint32_t v = 0; v < 65536; ++v) {
        ASSERT_LE(std::abs(static_cast<int>(back[v]) - static_cast<int>(v)), 1) << v;
    }
}

// --- Round trips ----------------------------------------------------------------

TEST(ImageFileRoundTrip, PngAndTiffKeepEveryIntegerKindExactly) {
    const std::string folder = scratchFolder();
    for (const char* extension : {".png", ".tif"}) {
        for (int bits : {8, 16}) {
            for (int channels = 1; channels <= 4; ++channels) {
                SCOPED_TRACE(std::string(extension) + " " + std::to_string(channels) + " x " +
                             std::to_string(bits));
                // Odd sizes catch stride and strip-boundary mistakes.
                const Picture picture = makeTestPicture(37, 23, channels, bits);
                const Picture back = roundTrip(picture, folder + "p" + std::to_string(channels) +
                                                            "_" + std::to_string(bits) + extension);
                EXPECT_EQ(maxDifference(picture, back), 0.0);
            }
        }
    }
}

// Large PNGs are deflated in bands on several threads and joined into one
// stream; libpng checks the joined stream and its checksum on reading. The
// file's bytes do not depend on the number of threads.
TEST(ImageFileRoundTrip, PngDeflatedInBandsOnSeveralThreadsReadsBackExactly) {
    const std::string folder = scratchFolder();
    const Picture deep = makeTestPicture(700, 801, 4, 16);      // 4.5 MB: three bands
    const Picture shallow = makeTestPicture(1001, 1100, 3, 8);  // 3.3 MB: two bands
    std::vector<std::uint8_t> files[2][2];
    for (int run = 0; run < 2; ++run) {
        mirel::os::setEnvironmentVariable("MIREL_THREADS", run == 0 ? "1" : "5");
        SCOPED_TRACE(std::string(run == 0 ? "1" : "5") + " threads");
        EXPECT_EQ(maxDifference(deep, roundTrip(deep, folder + "deep.png")), 0.0);
        EXPECT_EQ(maxDifference(shallow, roundTrip(shallow, folder + "shallow.png")), 0.0);
        files[run][0] = readBytes(folder + "deep.png");
        files[run][1] = readBytes(folder + "shallow.png");
    }
    mirel::os::unsetEnvironmentVariable("MIREL_THREADS");
    EXPECT_TRUE(files[0][0] == files[1][0]);
    EXPECT_TRUE(files[0][1] == files[1][1]);
}

TEST(ImageFileRoundTrip, FloatTiffKeepsEveryBitIncludingOutOfRangeValues) {
    const std::string folder = scratchFolder();
    for (int channels = 1; channels <= 4; ++channels) {
        Picture picture = makeTestPicture(19, 11, channels, 32);
        setSampleValue(picture, 1, 0, 0, -0.25f);
        setSampleValue(picture, 2, 0, 0, 1.5f);
        const Picture back = roundTrip(picture, folder + "f" + std::to_string(channels) + ".tiff");
        EXPECT_EQ(back.bitsPerChannel, 32);
        EXPECT_EQ(back.pixels, picture.pixels) << channels << " channels";
    }
}

TEST(ImageFileRoundTrip, JpegKeepsSizeAndApproximateValues) {
    const std::string folder = scratchFolder();
    for (int channels : {1, 3}) {
        const Picture picture = makeTestPicture(64, 40, channels, 8);
        const Picture back = roundTrip(picture, folder + "j" + std::to_string(channels) + ".jpg");
        ASSERT_EQ(back.width, 64);
        ASSERT_EQ(back.height, 40);
        ASSERT_EQ(back.channels, channels);
        ASSERT_EQ(back.bitsPerChannel, 8);
        EXPECT_LT(meanDifference(picture, back), 4.0);
        EXPECT_LT(maxDifference(picture, back), 48.0);
    }
}

TEST(ImageFileRoundTrip, IccProfileTravelsThroughEveryFormat) {
    const std::string folder = scratchFolder();
    struct Case {
        const char* name;
        int channels;
        int bits;
    };
    for (const Case& c :
         {Case{"grey.png", 1, 8}, Case{"rgba16.png", 4, 16}, Case{"rgb.jpg", 3, 8},
          Case{"grey.jpeg", 1, 8}, Case{"rgbaf.tif", 4, 32}, Case{"grey16.tif", 2, 16}}) {
        SCOPED_TRACE(c.name);
        Picture picture = makeTestPicture(12, 9, c.channels, c.bits);
        picture.iccProfile = makeIccProfile(c.channels <= 2 ? "GRAY" : "RGB ", 3);
        const Picture back = roundTrip(picture, folder + c.name);
        EXPECT_EQ(back.iccProfile, picture.iccProfile);
    }
    // JPEG splits profiles over several APP2 markers; a large one must come
    // back whole and in order.
    Picture picture = makeTestPicture(8, 8, 3, 8);
    picture.iccProfile = makeIccProfile("RGB ", 9);
    picture.iccProfile.resize(150000);
    for (std::size_t i = 132; i < picture.iccProfile.size(); ++i) {
        picture.iccProfile[i] = static_cast<std::uint8_t>(i * 7);
    }
    EXPECT_EQ(roundTrip(picture, folder + "big.jpg").iccProfile, picture.iccProfile);
    EXPECT_EQ(roundTrip(picture, folder + "big.tif").iccProfile, picture.iccProfile);
}

TEST(ImageFileRoundTrip, FormatFollowsContentNotName) {
    const std::string folder = scratchFolder();
    const Picture picture = makeTestPicture(10, 10, 3, 8);
    std::string error;
    ASSERT_TRUE(writePicture(folder + "really.png", picture, error)) << error;
    std::filesystem::copy_file(folder + "really.png", folder + "named.jpg");
    Picture back;
    ASSERT_TRUE(readPicture(folder + "named.jpg", back, error)) << error;
    EXPECT_EQ(back.pixels, picture.pixels);
    // Upper-case extensions name the format just as well.
    ASSERT_TRUE(writePicture(folder + "UPPER.TIF", picture, error)) << error;
    ASSERT_TRUE(readPicture(folder + "UPPER.TIF", back, error)) << error;
    EXPECT_EQ(back.pixels, picture.pixels);
}

// --- Conversions on reading ------------------------------------------------------

TEST(ImageFileConversion, PalettePngsBecomeRgbOrRgba) {
    const std::string folder = scratchFolder();
    const std::uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (int depth : {2, 8}) {
        for (bool trns : {false, true}) {
            SCOPED_TRACE(std::to_string(depth) + (trns ? " with tRNS" : ""));
            const std::string path =
                folder + "pal" + std::to_string(depth) + (trns ? "t" : "") + ".png";
            testing::writePalettePng(path, depth, trns);
            Picture picture;
            std::string error;
            ASSERT_TRUE(readPicture(path, picture, error)) << error;
            ASSERT_EQ(picture.channels, trns ? 4 : 3);
            ASSERT_EQ(picture.bitsPerChannel, 8);
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < 4; ++x) {
                    const int entry = (x + y) % 4;
                    for (int c = 0; c < 3; ++c) {
                        EXPECT_EQ(sampleValue(picture, x, y, c), colours[entry][c]);
                    }
                    if (trns) {
                        const int alpha = entry == 0 ? 255 : entry == 1 ? 128 : 255;
                        EXPECT_EQ(sampleValue(picture, x, y, 3), alpha);
                    }
                }
            }
        }
    }
}

TEST(ImageFileConversion, LowDepthGreyBecomesFullRangeEightBit) {
    const std::string folder = scratchFolder();
    testing::writeOneBitGreyPng(folder + "bits.png");
    Picture picture;
    std::string error;
    ASSERT_TRUE(readPicture(folder + "bits.png", picture, error)) << error;
    ASSERT_EQ(picture.channels, 1);
    ASSERT_EQ(picture.width, 9);
    for (int x = 0; x < 9; ++x) EXPECT_EQ(sampleValue(picture, x, 1, 0), (x + 1) % 2 ? 255 : 0);

    for (bool minIsWhite : {false, true}) {
        const std::string path = folder + (minIsWhite ? "white.tif" : "black.tif");
        testing::writeOneBitTiff(path, minIsWhite);
        ASSERT_TRUE(readPicture(path, picture, error)) << error;
        ASSERT_EQ(picture.width, 10);
        ASSERT_EQ(picture.bitsPerChannel, 8);
        for (int x = 0; x < 10; ++x) {
            const bool on = x % 2 == 0;
            EXPECT_EQ(sampleValue(picture, x, 2, 0), on != minIsWhite ? 255 : 0) << x;
        }
    }
}

TEST(ImageFileConversion, InterlacedPngReadsLikeAPlainOne) {
    const std::string folder = scratchFolder();
    const Picture picture = makeTestPicture(21, 13, 3, 8);
    testing::writeInterlacedPng(folder + "adam7.png", picture);
    Picture back;
    std::string error;
    ASSERT_TRUE(readPicture(folder + "adam7.png", back, error)) << error;
    EXPECT_EQ(back.pixels, picture.pixels);
}

TEST(ImageFileConversion, TiledPlanarTiffInterleaves) {
    const std::string folder = scratchFolder();
    const Picture picture = makeTestPicture(40, 20, 3, 16);  // tiles overhang both edges
    testing::writeTiledPlanarTiff(folder + "tiles.tif", picture);
    Picture back;
    std::string error;
    ASSERT_TRUE(readPicture(folder + "tiles.tif", back, error)) << error;
    EXPECT_EQ(maxDifference(back, picture), 0.0);
}

TEST(ImageFileConversion, JpegCompressedTiffReadsAsRgb) {
    const std::string folder = scratchFolder();
    testing::writeJpegTiff(folder + "ycc.tif");
    Picture picture;
    std::string error;
    ASSERT_TRUE(readPicture(folder + "ycc.tif", picture, error)) << error;
    ASSERT_EQ(picture.channels, 3);
    ASSERT_EQ(picture.height, 33);
    for (int x = 0; x < 40; x += 13) {
        EXPECT_NEAR(sampleValue(picture, x, 32, 0), 200, 4);
        EXPECT_NEAR(sampleValue(picture, x, 32, 1), 100, 4);
        EXPECT_NEAR(sampleValue(picture, x, 32, 2), 5 * x, 8);
    }
}

TEST(ImageFileConversion, AssociatedAlphaIsUnpremultiplied) {
    const std::string folder = scratchFolder();
    testing::writePremultipliedTiff(folder + "assoc.tif");
    Picture picture;
    std::string error;
    ASSERT_TRUE(readPicture(folder + "assoc.tif", picture, error)) << error;
    ASSERT_EQ(picture.channels, 4);
    EXPECT_EQ(sampleValue(picture, 0, 0, 0), 100);  // 50 * 255 / 128 = 99.6
    EXPECT_EQ(sampleValue(picture, 0, 0, 1), 50);
    EXPECT_EQ(sampleValue(picture, 0, 0, 2), 0);
    EXPECT_EQ(sampleValue(picture, 0, 0, 3), 128);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(sampleValue(picture, 1, 0, c), 0);
}

// --- Damaged and refused input -------------------------------------------------

void expectRefused(const std::string& path, const std::string& expectedText) {
    Picture picture;
    picture.width = 5;  // must be cleared on failure
    std::string error;
    EXPECT_FALSE(readPicture(path, picture, error)) << path;
    EXPECT_NE(error.find(expectedText), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(picture.width, 0);
    EXPECT_TRUE(picture.pixels.empty());
}

TEST(ImageFileBadInput, MissingEmptyAndForeignFilesSayWhy) {
    const std::string folder = scratchFolder();
    expectRefused(folder + "nothing.png", "No such file");
    writeBytes(folder + "empty.png", {});
    expectRefused(folder + "empty.png", "empty");
    writeBytes(folder + "text.tif", {'h', 'e', 'l', 'l', 'o', '\n'});
    expectRefused(folder + "text.tif", "not a PNG, JPEG or TIFF");
    expectRefused(folder, "folder");
}

TEST(ImageFileBadInput, TruncatedFilesFailInEveryFormat) {
    const std::string folder = scratchFolder();
    const Picture picture = makeTestPicture(90, 70, 3, 8);
    for (const char* name : {"cut.png", "cut.jpg", "cut.tif"}) {
        std::string error;
        ASSERT_TRUE(writePicture(folder + name, picture, error)) << error;
        const std::vector<std::uint8_t> whole = readBytes(folder + name);
        for (double keep : {0.02, 0.5, 0.9}) {
            SCOPED_TRACE(std::string(name) + " kept " + std::to_string(keep));
            std::vector<std::uint8_t> part(whole.begin(),
                                           whole.begin() + static_cast<long>(whole.size() * keep));
            writeBytes(folder + "part_" + name, part);
            expectRefused(folder + "part_" + name, folder);
        }
    }
}

TEST(ImageFileBadInput, CorruptDataFails) {
    const std::string folder = scratchFolder();
    const Picture picture = makeTestPicture(50, 50, 3, 8);
    std::string error;
    // PNG: a changed byte inside the image data breaks the chunk's CRC.
    ASSERT_TRUE(writePicture(folder + "bad.png", picture, error)) << error;
    std::vector<std::uint8_t> png = readBytes(folder + "bad.png");
    png[png.size() - 40] ^= 0x55;
    writeBytes(folder + "bad.png", png);
    expectRefused(folder + "bad.png", "PNG");
    // JPEG: a frame header claiming zero rows.
    ASSERT_TRUE(writePicture(folder + "bad.jpg", picture, error)) << error;
    std::vector<std::uint8_t> jpeg = readBytes(folder + "bad.jpg");
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xff && jpeg[i + 1] == 0xc0) {
            jpeg[i + 5] = 0;
            jpeg[i + 6] = 0;
            break;
        }
    }
    writeBytes(folder + "bad.jpg", jpeg);
    expectRefused(folder + "bad.jpg", "JPEG");
    // TIFF: the first directory pointing past the end of the file.
    ASSERT_TRUE(writePicture(folder + "bad.tif", picture, error)) << error;
    std::vector<std::uint8_t> tiff = readBytes(folder + "bad.tif");
    tiff[4] = tiff[5] = tiff[6] = 0xff;
    tiff[7] = 0x7f;
    writeBytes(folder + "bad.tif", tiff);
    expectRefused(folder + "bad.tif", "TIFF");
}

TEST(ImageFileBadInput, ALoweredPixelLimitRefusesFromTheHeaderAndCanBeRestored) {
    const std::string folder = scratchFolder();
    Picture picture;
    std::string error;
    ASSERT_TRUE(allocatePicture(picture, 30, 20, 3, 8, error)) << error;
    ASSERT_TRUE(writePicture(folder + "a.jpg", picture, error)) << error;
    setPicturePixelLimit(599);
    expectRefused(folder + "a.jpg", "at most 599 pixels");
    setPicturePixelLimit(600);
    EXPECT_TRUE(readPicture(folder + "a.jpg", picture, error)) << error;
    // Never above the program's own limit, and 0 brings that back.
    setPicturePixelLimit(std::int64_t{1} << 40);
    writeBytes(folder + "huge.png", testing::lyingPngHeader(100000, 100000));
    expectRefused(folder + "huge.png", "at most 2147483648 pixels");
    setPicturePixelLimit(599);
    setPicturePixelLimit(0);
    EXPECT_TRUE(readPicture(folder + "a.jpg", picture, error)) << error;
}

TEST(ImageFileBadInput, LyingHeadersDoNotAllocateTheirClaim) {
    const std::string folder = scratchFolder();
    writeBytes(folder + "huge.png", testing::lyingPngHeader(100000, 100000));
    expectRefused(folder + "huge.png", "more than this program handles");
    // Within the pixel limit, but not what a few dozen bytes can hold.
    writeBytes(folder + "big.png", testing::lyingPngHeader(40000, 40000));
    expectRefused(folder + "big.png", "far more than the file can hold");

    // Chunks before the pixels that claim more than the file holds: libpng would
    // allocate the claim first (1.7 GB for the sPLT chunk of a file of 100 bytes).
    writeBytes(folder + "splt.png", testing::lyingChunkPng("sPLT", 0x66644154u));
    expectRefused(folder + "splt.png", "its sPLT chunk claims 1717846356 bytes");
    writeBytes(folder + "text.png", testing::lyingChunkPng("tEXt", 0x7fff0000u));
    expectRefused(folder + "text.png", "more than the file holds");
    writeBytes(folder + "odd.png", testing::lyingChunkPng("a\nb\x01", 0x7fff0000u));
    expectRefused(folder + "odd.png", "its unnamed chunk claims");
    // A chunk that fits goes on to libpng, which finds no pixels after it.
    writeBytes(folder + "short.png", testing::lyingChunkPng("tEXt", 12));
    expectRefused(folder + "short.png", "damaged or truncated PNG");
    {
        Picture picture;
        std::string error;
        EXPECT_FALSE(readPicture(folder + "short.png", picture, error));
        EXPECT_EQ(error.find("more than the file holds"), std::string::npos) << error;
    }

    // TIFF strips of 2.7 GB and of 30 KB said to be stored in a few bytes.
    testing::writeShortStripTiff(folder + "huge.tif", 30000, 30000, 10);
    expectRefused(folder + "huge.tif", "TIFF");
    testing::writeShortStripTiff(folder + "short.tif", 100, 100, 1000);
    expectRefused(folder + "short.tif", "TIFF");
    // A 16 x 16 picture in tiles of 65536 x 65536 (4 GB each) and 16384 x 16384, whose
    // byte count claims 4 GB in a file of 200 bytes: refused before anything that size
    // is allocated (the first asked for 8 GB and 24 s).
    writeBytes(folder + "tile.tif", testing::lyingTileTiff(65536, 0xfffffff0u));
    expectRefused(folder + "tile.tif", "far more picture data than it holds");
    writeBytes(folder + "tile2.tif", testing::lyingTileTiff(16384, 0xfffffff0u));
    expectRefused(folder + "tile2.tif", "far more picture data than it holds");

    // A JPEG frame header enlarged to 60000 x 30000 over the data of 64 x 64:
    // decoding stops where the data does.
    // Arithmetic coding goes on with zeros where its data ends, so there the decoding
    // must stop at what the file's size can honestly ask for: 200 MB of pixels from a
    // 16 x 16 sequential file, or 12 scans over 100 MB of blocks from a progressive one.
    auto enlarge = [&](const std::string& from, const std::string& to, std::uint8_t frame,
                       std::uint16_t width, std::uint16_t height) {
        std::vector<std::uint8_t> jpeg = readBytes(folder + from);
        for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
            if (jpeg[i] == 0xff && jpeg[i + 1] == frame) {
                jpeg[i + 5] = height >> 8;
                jpeg[i + 6] = height & 0xff;
                jpeg[i + 7] = width >> 8;
                jpeg[i + 8] = width & 0xff;
                break;
            }
        }
        writeBytes(folder + to, jpeg);
        expectRefused(folder + to, "JPEG");
    };
    const Picture small = makeTestPicture(64, 64, 3, 8);
    std::string error;
    ASSERT_TRUE(writePicture(folder + "small.jpg", small, error)) << error;
    enlarge("small.jpg", "enlarged.jpg", 0xc0, 60000, 30000);
    testing::writeArithmeticGreyJpeg(folder + "arithmetic.jpg", false);
    enlarge("arithmetic.jpg", "enlarged-arithmetic.jpg", 0xc9, 20000, 10000);
    testing::writeArithmeticGreyJpeg(folder + "progressive.jpg", true);
    enlarge("progressive.jpg", "enlarged-progressive.jpg", 0xca, 10000, 10000);
}

TEST(ImageFileBadInput, CmykIsRefusedClearly) {
    const std::string folder = scratchFolder();
    testing::writeCmykJpeg(folder + "cmyk.jpg");
    expectRefused(folder + "cmyk.jpg", "CMYK JPEG pictures are not supported");
    testing::writeCmykTiff(folder + "cmyk.tif");
    expectRefused(folder + "cmyk.tif", "CMYK TIFF pictures are not supported");
}

// --- Writing -------------------------------------------------------------------

void expectWriteRefused(const std::string& path, const Picture& picture, const std::string& text) {
    std::string error;
    EXPECT_FALSE(writePicture(path, picture, error)) << path;
    EXPECT_NE(error.find(text), std::string::npos) << error;
}

TEST(ImageFileWrite, RefusesWhatTheFormatCannotHold) {
    const std::string folder = scratchFolder();
    expectWriteRefused(folder + "a.bmp", makeTestPicture(4, 4, 3, 8), ".png, .jpg");
    expectWriteRefused(folder + "noextension", makeTestPicture(4, 4, 3, 8), ".png, .jpg");
    expectWriteRefused(folder + "f.png", makeTestPicture(4, 4, 3, 32), "TIFF");
    expectWriteRefused(folder + "f.jpg", makeTestPicture(4, 4, 3, 32), "TIFF");
    expectWriteRefused(folder + "d.jpg", makeTestPicture(4, 4, 3, 16), "8-bit");
    expectWriteRefused(folder + "t.jpg", makeTestPicture(4, 4, 4, 8), "transparency");
    Picture broken = makeTestPicture(4, 4, 3, 8);
    broken.pixels.pop_back();
    expectWriteRefused(folder + "b.png", broken, "bytes of pixels");
    EXPECT_TRUE(folderEntries(folder).empty());
}

TEST(ImageFileWrite, FailureLeavesTheExistingFileAndNoTemporary) {
    const std::string folder = scratchFolder();
    const std::vector<std::uint8_t> original = {'k', 'e', 'e', 'p'};
    writeBytes(folder + "out.jpg", original);
    // JPEG cannot be wider than 65500: the encoder fails after the temporary
    // file exists.
    Picture wide;
    std::string error;
    ASSERT_TRUE(allocatePicture(wide, 65501, 1, 1, 8, error));
    EXPECT_FALSE(writePicture(folder + "out.jpg", wide, error));
    EXPECT_NE(error.find("65500"), std::string::npos) << error;
    EXPECT_EQ(readBytes(folder + "out.jpg"), original);
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"out.jpg"});

    // The rename fails when the target is a folder; the folder is untouched.
    std::filesystem::create_directory(folder + "taken.png");
    writeBytes(folder + "taken.png/inside", original);
    EXPECT_FALSE(writePicture(folder + "taken.png", makeTestPicture(4, 4, 3, 8), error));
    EXPECT_EQ(readBytes(folder + "taken.png/inside"), original);
    EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{"out.jpg", "taken.png"}));

    // A folder that does not exist.
    EXPECT_FALSE(writePicture(folder + "missing/x.png", makeTestPicture(4, 4, 3, 8), error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
}

// A TIFF as a camera held `orientation` stores the 6 x 4 picture whose pixel (x, y)
// holds x and y: every orientation reads back as that picture.
TEST(ImageFileOrientation, EveryTiffOrientationReadsUpright) {
    const std::string folder = scratchFolder();
    for (std::uint16_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const bool turned = orientation >= 5;
        const std::uint32_t w = turned ? 4 : 6, h = turned ? 6 : 4;
        std::vector<std::uint8_t> pixels(w * h * 3);
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x) {
                // Where stored (x, y) belongs upright.
                std::uint32_t ux = x, uy = y;
                switch (orientation) {
                    case 2:
                        ux = 5 - x;
                        break;
                    case 3:
                        ux = 5 - x;
                        uy = 3 - y;
                        break;
                    case 4:
                        uy = 3 - y;
                        break;
                    case 5:
                        ux = y;
                        uy = x;
                        break;
                    case 6:
                        ux = 5 - y;
                        uy = x;
                        break;
                    case 7:
                        ux = 5 - y;
                        uy = 3 - x;
                        break;
                    case 8:
                        ux = y;
                        uy = 3 - x;
                        break;
                    default:
                        break;
                }
                pixels[(y * w + x) * 3] = std::uint8_t(ux * 10);
                pixels[(y * w + x) * 3 + 1] = std::uint8_t(uy * 10);
            }
        const std::string path = folder + "o" + std::to_string(orientation) + ".tif";
        TIFF* tif = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
        TIFFSetField(tif, TIFFTAG_MAKE, "Mirelcam");
        for (std::uint32_t y = 0; y < h; ++y)
            TIFFWriteScanline(tif, pixels.data() + y * w * 3, y, 0);
        TIFFClose(tif);

        Picture picture;
        std::string error;
        ASSERT_TRUE(readPicture(path, picture, error)) << error;
        ASSERT_EQ(picture.width, 6);
        ASSERT_EQ(picture.height, 4);
        for (std::int32_t y = 0; y < 4; ++y)
            for (std::int32_t x = 0; x < 6; ++x) {
                EXPECT_EQ(sampleValue(picture, x, y, 0), float(x * 10)) << x << "," << y;
                EXPECT_EQ(sampleValue(picture, x, y, 1), float(y * 10)) << x << "," << y;
            }
        // The camera stays; the orientation now says top left.
        codecs::ExifDirectories exif;
        ASSERT_TRUE(codecs::readExifDirectories(picture.metadata.exif, exif));
        EXPECT_EQ(codecs::exifOrientation(exif), 1);
        EXPECT_EQ(exif.main.front().tag, 271);
    }
}

// Metadata is a passenger: a damaged EXIF block costs the block, never the picture.
TEST(ImageFileOrientation, ADamagedExifBlockCostsOnlyTheMetadata) {
    const std::string folder = scratchFolder();
    Picture picture = makeTestPicture(16, 8, 3, 8);
    std::vector<std::uint8_t> exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 2,
                                      // orientation 6, then a camera name far outside the block
                                      1, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 1, 0x0F, 0, 2, 0, 0, 0,
                                      40, 0x7F, 0xFF, 0xFF, 0xF0, 0, 0, 0, 0};
    for (std::size_t cut : {exif.size(), std::size_t(9), std::size_t(20)}) {
        SCOPED_TRACE(cut);
        picture.metadata.exif.assign(exif.begin(), exif.begin() + std::ptrdiff_t(cut));
        std::string error;
        ASSERT_TRUE(writePicture(folder + "x.jpg", picture, error)) << error;
        Picture back;
        ASSERT_TRUE(readPicture(folder + "x.jpg", back, error)) << error;
        // Whole, the block still turns the picture; its unreadable camera name is dropped.
        EXPECT_EQ(back.width, cut == exif.size() ? 8 : 16);
        codecs::ExifDirectories read;
        if (!back.metadata.exif.empty()) {
            ASSERT_TRUE(codecs::readExifDirectories(back.metadata.exif, read));
            EXPECT_EQ(read.main.size(), 1u);
        }
    }
}

#if !defined(_WIN32)
TEST(ImageFileWrite, ReplacingAFileKeepsItsPermissions) {
    const std::string folder = scratchFolder();
    const std::string path = folder + "shared.tif";
    writeBytes(path, {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const Picture picture = makeTestPicture(8, 8, 1, 16);
    const Picture back = roundTrip(picture, path);
    EXPECT_EQ(maxDifference(back, picture), 0.0);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"shared.tif"});
}
#endif

}  // namespace
}  // namespace mirel::host_app
