// Settings files that are damaged, cut short or from unknown versions: reading never
// writes past its buffers, and what the record keeps is predictable.
#include <gtest/gtest.h>

#include "image/thumbnails.h"
#include "settings/jpeg_codec.h"
#include "settings/settings_file.h"
#include "tests/settings_file/settings_file_test_support.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

// Items 1 to 71 of a version-45 file, a JPEG block made by the caller, then 73 to 91.
struct SplitFile {
    std::vector<std::uint8_t> head;  // items 1..71
    std::vector<std::uint8_t> tail;  // items 73..91
};

SplitFile splitAtThumbnail(SettingsRecord record) {
    const std::vector<std::uint8_t> file = encodeSettings(record, nullptr);
    return SplitFile{std::vector<std::uint8_t>(file.begin(), file.begin() + 71 * 4),
                     std::vector<std::uint8_t>(file.begin() + 72 * 4, file.end())};
}

std::vector<std::uint8_t> withJpegBlock(const SplitFile& split, std::int32_t flag,
                                        std::int32_t width, std::int32_t height, std::int32_t count,
                                        const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> file = split.head;
    appendItem(file, flag);
    appendItem(file, width);
    appendItem(file, height);
    appendItem(file, count);
    file.insert(file.end(), data.begin(), data.end());
    file.insert(file.end(), split.tail.begin(), split.tail.end());
    return file;
}

// A JPEG of `width` x 128: black left of column 100, white from there on.
std::vector<std::uint8_t> edgeJpeg(int width) {
    auto picture = image::create(width, 128, image::SampleFormat::Rgba8);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = x < 100 ? 0 : 255;
            image::writeRgba8(*picture, x, y, 0, v, v, v, 255);
        }
    std::vector<std::uint8_t> jpeg;
    EXPECT_GT(encodeJpeg(*picture, 80, {}, {}, jpeg), 0u);
    return jpeg;
}

TEST(SettingsFileDamage, WideThumbnailBlockIsReadAs128Columns) {
    const SettingsRecord record = distinctRecord();
    const SplitFile split = splitAtThumbnail(record);
    const std::vector<std::uint8_t> jpeg = edgeJpeg(300);
    const std::vector<std::uint8_t> file =
        withJpegBlock(split, 1, 300, 128, std::int32_t(jpeg.size()), jpeg);

    auto thumbnail = image::createThumbnailImage();
    SettingsRecord read = defaultRecord();
    const SettingsReadResult result =
        readSettingsBytes(file, SettingsReadMode::Load, read, thumbnail.get());
    ASSERT_TRUE(result.thumbnailLoaded);
    EXPECT_TRUE(result.complete);
    // Taken as 128 wide, the picture is cut, not squeezed: the edge stays at column 100.
    EXPECT_LT(rgbAt(*thumbnail, 90, 64).r, 40);
    EXPECT_GT(rgbAt(*thumbnail, 110, 64).r, 215);
    EXPECT_EQ(read.undulation, record.undulation);

    // A JPEG wider than any thumbnail is refused before it is decoded; the items are read.
    const std::vector<std::uint8_t> huge = edgeJpeg(kMaxThumbnailJpegSide + 1);
    const std::vector<std::uint8_t> hugeFile =
        withJpegBlock(split, 1, 128, 128, std::int32_t(huge.size()), huge);
    auto untouched = image::createThumbnailImage();
    SettingsRecord readHuge = defaultRecord();
    const SettingsReadResult hugeResult =
        readSettingsBytes(hugeFile, SettingsReadMode::Load, readHuge, untouched.get());
    EXPECT_FALSE(hugeResult.thumbnailLoaded);
    EXPECT_TRUE(hugeResult.complete);
    EXPECT_EQ(readHuge.undulation, record.undulation);
}

TEST(SettingsFileDamage, NegativeThumbnailSideGivesNoThumbnail) {
    const SettingsRecord record = distinctRecord();
    const SplitFile split = splitAtThumbnail(record);
    const std::vector<std::uint8_t> jpeg = edgeJpeg(128);
    const std::vector<std::uint8_t> file =
        withJpegBlock(split, 1, -5, 128, std::int32_t(jpeg.size()), jpeg);

    auto thumbnail = image::createThumbnailImage();
    SettingsRecord read = defaultRecord();
    const SettingsReadResult result =
        readSettingsBytes(file, SettingsReadMode::Load, read, thumbnail.get());
    EXPECT_FALSE(result.thumbnailLoaded);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(rgbAt(*thumbnail, 5, 127).r, 128);  // still the default ramp
    EXPECT_EQ(read.perspective, record.perspective);
}

TEST(SettingsFileDamage, OversizedJpegDataIsSkippedAndTheRestIsRead) {
    const SettingsRecord record = distinctRecord();
    const SplitFile split = splitAtThumbnail(record);
    const std::vector<std::uint8_t> junk(kJpegThumbnailBufferBytes + 1, 0xFF);
    const std::vector<std::uint8_t> file =
        withJpegBlock(split, 1, 128, 128, std::int32_t(junk.size()), junk);
    auto thumbnail = image::createThumbnailImage();
    SettingsRecord read = defaultRecord();
    const SettingsReadResult result =
        readSettingsBytes(file, SettingsReadMode::Load, read, thumbnail.get());
    EXPECT_FALSE(result.thumbnailLoaded);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(read.waviness, record.waviness);
    EXPECT_EQ(read.spin, record.spin);

    // A flag above 1 also passes the data by, whatever it holds.
    const std::vector<std::uint8_t> jpeg = edgeJpeg(128);
    const std::vector<std::uint8_t> flagged =
        withJpegBlock(split, 2, 128, 128, std::int32_t(jpeg.size()), jpeg);
    read = defaultRecord();
    const SettingsReadResult second =
        readSettingsBytes(flagged, SettingsReadMode::Load, read, thumbnail.get());
    EXPECT_FALSE(second.thumbnailLoaded);
    EXPECT_TRUE(second.complete);
    EXPECT_EQ(read.height, record.height);
}

TEST(SettingsFileDamage, NegativeOrHugeByteCountsEndTheReading) {
    const SettingsRecord record = distinctRecord();
    const SplitFile split = splitAtThumbnail(record);
    for (std::int32_t count : {-1, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(count);
        const std::vector<std::uint8_t> file = withJpegBlock(split, 1, 128, 128, count, {});
        auto thumbnail = image::createThumbnailImage();
        SettingsRecord read = defaultRecord();
        const SettingsReadResult result =
            readSettingsBytes(file, SettingsReadMode::Load, read, thumbnail.get());
        EXPECT_TRUE(result.versionRead);
        EXPECT_FALSE(result.complete);
        EXPECT_FALSE(result.thumbnailLoaded);
        // Items before the block were read; the floats after it keep their old values,
        // and version 45 asks for no upgrade.
        EXPECT_EQ(read.center.x, record.center.x);
        EXPECT_EQ(read.outputMode, record.outputMode);
        EXPECT_EQ(read.spin, 0.0f);
        EXPECT_EQ(read.waviness, 65.0f);
        EXPECT_EQ(read.version, 45);
    }
}

TEST(SettingsFileDamage, AFileCutAnywhereKeepsWhatItHeldAndNothingElse) {
    SettingsRecord written = distinctRecord();
    auto picture = solidImage(128, 128, 10, 200, 90);
    const std::vector<std::uint8_t> full = encodeSettings(written, picture.get());
    const std::vector<std::uint8_t> plain = encodeSettings(written, nullptr);
    const SettingsRecord start = defaultRecord();
    auto thumbnail = image::createThumbnailImage();
    for (std::size_t cut = 0; cut < full.size(); cut += (cut < 400 ? 1 : 97)) {
        const std::vector<std::uint8_t> file(full.begin(), full.begin() + cut);
        SettingsRecord read = start;
        const SettingsReadResult result =
            readSettingsBytes(file, SettingsReadMode::Load, read, thumbnail.get());
        ASSERT_FALSE(result.complete) << cut;
        if (cut < 4) {
            ASSERT_FALSE(result.versionRead);
            ASSERT_TRUE(sameRecord(read, start)) << cut;
            continue;
        }
        ASSERT_TRUE(result.versionRead) << cut;
        // Whole items before the cut (and before the block) were taken; item 71 is the
        // centre's y, read only when its four bytes are there.
        const float expectedY = cut >= 71 * 4 ? written.center.y : start.center.y;
        ASSERT_EQ(read.center.y, expectedY) << cut;
        if (cut >= 6 * 4 && cut < 8 * 4) {
            ASSERT_EQ(read.waterColor.red, written.waterColor.red);
            ASSERT_EQ(read.extraColor1.red, written.extraColor1.red);
            ASSERT_EQ(read.extraColor2.red, start.extraColor2.red);
        }
        ASSERT_EQ(read.undulation, start.undulation) << cut;
    }
    // Cut inside the plain file's float items: those before the cut are taken.
    std::vector<std::uint8_t> file(plain.begin(), plain.begin() + 86 * 4 + 2);
    SettingsRecord read = start;
    readSettingsBytes(file, SettingsReadMode::Load, read, nullptr);
    EXPECT_EQ(read.complexity, written.complexity);  // item 86
    EXPECT_EQ(read.brilliance, start.brilliance);    // item 87, two bytes only
}

TEST(SettingsFileDamage, UnknownVersionsAreNotRead) {
    SettingsRecord written = distinctRecord();
    const std::vector<std::uint8_t> file45 = encodeSettings(written, nullptr);
    for (std::int32_t version : {0, -999, 46, INT32_MAX, INT32_MIN}) {
        std::vector<std::uint8_t> file = file45;
        setItem(file, 1, version);
        SettingsRecord read = defaultRecord();
        const SettingsRecord before = read;
        const SettingsReadResult result =
            readSettingsBytes(file, SettingsReadMode::Load, read, nullptr);
        EXPECT_FALSE(result.versionRead) << version;
        EXPECT_TRUE(sameRecord(read, before)) << version;
    }
}

TEST(SettingsFileDamage, RawThumbnailBlocksOfOldFiles) {
    SettingsRecord written = distinctRecord();
    const std::vector<std::uint8_t> file45 = encodeSettings(written, nullptr);
    // A version-23 file: items 1..65, a raw block of 2 x 3 pixels, then extraColor7.
    std::vector<std::uint8_t> file(file45.begin(), file45.begin() + 65 * 4);
    setItem(file, 1, 23);
    appendItem(file, 1);
    appendItem(file, 2);
    appendItem(file, 3);
    for (int i = 0; i < 6; ++i) {
        file.push_back(250);
        file.push_back(20);
        file.push_back(std::uint8_t(10 * i));
    }
    appendItem(file, 0x1111);
    appendItem(file, 0x2222);
    appendItem(file, 0x13333);  // only the low 16 bits count

    auto thumbnail = image::createThumbnailImage();
    SettingsRecord read = defaultRecord();
    SettingsReadResult result =
        readSettingsBytes(file, SettingsReadMode::Load, read, thumbnail.get());
    EXPECT_TRUE(result.thumbnailLoaded);
    EXPECT_TRUE(result.complete);
    EXPECT_NEAR(rgbAt(*thumbnail, 64, 64).r, 250, 3);
    EXPECT_NEAR(rgbAt(*thumbnail, 64, 64).g, 20, 3);
    EXPECT_EQ(read.extraColor7.red, 0x1111);
    EXPECT_EQ(read.extraColor7.blue, 0x3333);

    // Without a thumbnail image the block's own pixels are passed by, so the items
    // after it still line up.
    read = defaultRecord();
    result = readSettingsBytes(file, SettingsReadMode::Load, read, nullptr);
    EXPECT_FALSE(result.thumbnailLoaded);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(read.extraColor7.green, 0x2222);

    // Sides above 128 are read as 128.
    std::vector<std::uint8_t> wide(file.begin(), file.begin() + 66 * 4);
    appendItem(wide, 500);
    appendItem(wide, 1);
    wide.insert(wide.end(), 128 * 3, 77);
    appendItem(wide, 1);
    appendItem(wide, 2);
    appendItem(wide, 3);
    read = defaultRecord();
    result = readSettingsBytes(wide, SettingsReadMode::Load, read, thumbnail.get());
    EXPECT_TRUE(result.thumbnailLoaded);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(read.extraColor7.blue, 3);
}

TEST(SettingsFileDamage, FilesOnDiskReadAsTheirBytesDo) {
    const std::string folder = scratchFolder();
    SettingsRecord written = distinctRecord();
    const std::vector<std::uint8_t> jpegFile = [&] {
        const SplitFile split = splitAtThumbnail(written);
        return withJpegBlock(split, 1, 128, 128, 70000, std::vector<std::uint8_t>(70000, 1));
    }();
    writeBytes(folder + "big.q8r", jpegFile);
    SettingsRecord read = defaultRecord();
    auto thumbnail = image::createThumbnailImage();
    SettingsReadResult result =
        readSettingsFile(folder + "big.q8r", SettingsReadMode::Load, read, thumbnail.get());
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(read.waviness, written.waviness);

    writeBytes(folder + "cut.q8r",
               std::vector<std::uint8_t>(jpegFile.begin(), jpegFile.begin() + 400));
    read = defaultRecord();
    result = readSettingsFile(folder + "cut.q8r", SettingsReadMode::Load, read, thumbnail.get());
    EXPECT_TRUE(result.versionRead);
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(read.waviness, 65.0f);
}

}  // namespace
}  // namespace mirel::testing
