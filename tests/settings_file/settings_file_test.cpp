// Settings files: the written bytes, reading back every version, the upgrade rules,
// thumbnail blocks, and writing over existing files.
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "image/thumbnails.h"
#include "tests/settings_file/settings_file_test_support.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

using image::TiledImage;

SettingsRecord readBack(const std::vector<std::uint8_t>& file, SettingsRecord start,
                        TiledImage* thumbnail = nullptr, SettingsReadResult* result = nullptr) {
    const SettingsReadResult read =
        readSettingsBytes(file, SettingsReadMode::Load, start, thumbnail);
    if (result) *result = read;
    return start;
}

TEST(SettingsFileWrite, DefaultsWithoutThumbnailMakeThe364ByteFile) {
    SettingsRecord record = defaultRecord();
    record.horizonInt = 9;  // mirrors the defaults leave alone
    const std::vector<std::uint8_t> file = encodeSettings(record, nullptr);
    ASSERT_EQ(file.size(), kSettingsFileBytesWithoutThumbnail);
    const std::vector<std::uint8_t> head(file.begin(), file.begin() + 16);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{0, 0, 0, 0x2D, 0, 0, 0x2E, 0x2E, 0, 0, 0x3E, 0x3E, 0,
                                               0, 0x5A, 0x5A}));
    const std::vector<std::uint8_t> tail(file.end() - 4, file.end());
    EXPECT_EQ(tail, (std::vector<std::uint8_t>{0x42, 0x20, 0x00, 0x00}));  // undulation 40.0

    // Writing stamps the version and refreshes nine mirrors; horizonInt stays.
    EXPECT_EQ(record.version, 45);
    EXPECT_EQ(record.heightInt, 20);
    EXPECT_EQ(record.perspectiveInt, 48);
    EXPECT_EQ(record.horizonInt, 9);
    EXPECT_EQ(itemAt(file, 11), 20);  // heightInt
    EXPECT_EQ(itemAt(file, 15), 9);   // horizonInt
    EXPECT_EQ(itemAt(file, 44), 1);   // the constant items
    EXPECT_EQ(itemAt(file, 58), 1);
    EXPECT_EQ(itemAt(file, 66), 0);  // empty raw thumbnail block
    EXPECT_EQ(itemAt(file, 72), 0);  // no JPEG thumbnail
    EXPECT_EQ(itemAt(file, 56), 1841);
    // oldVectorA x100, truncated toward zero: -0.68 -> -68, 0.274226 -> 27.
    EXPECT_EQ(itemAt(file, 50), -68);
    EXPECT_EQ(itemAt(file, 52), 27);
    // The light direction x100: -40, -40, 81.
    EXPECT_EQ(itemAt(file, 77), -40);
    EXPECT_EQ(itemAt(file, 79), 81);
}

TEST(SettingsFileWrite, CenterTravelsInSixteenDotSixteen) {
    SettingsRecord record = defaultRecord();
    const std::vector<std::uint8_t> file = encodeSettings(record, nullptr);
    EXPECT_EQ(itemAt(file, 70), 32768);
    EXPECT_EQ(itemAt(file, 71), 13107);
    const SettingsRecord read = readBack(file, defaultRecord());
    EXPECT_EQ(read.center.y, 0.19999695f);
    EXPECT_EQ(read.center.x, 0.5f);
}

TEST(SettingsFileRead, Version45KeepsEveryStoredFieldExactly) {
    SettingsRecord written = distinctRecord();
    const std::vector<std::uint8_t> file = encodeSettings(written, nullptr);
    SettingsRecord start = defaultRecord();
    setSettingsName(start, "kept name");
    SettingsReadResult result;
    SettingsRecord read = readBack(file, start, nullptr, &result);
    EXPECT_TRUE(result.versionRead);
    EXPECT_TRUE(result.complete);
    EXPECT_FALSE(result.thumbnailLoaded);
    EXPECT_EQ(result.version, 45);
    // The name is not stored; the x100 and x65536 items come back rounded to their grid.
    EXPECT_EQ(settingsNameView(read), "kept name");
    EXPECT_EQ(read.spin, -90.0f);
    EXPECT_EQ(read.perspective, 33.5f);
    EXPECT_EQ(read.undulation, 77.75f);
    EXPECT_EQ(read.waterColor.red, 0xFF00);
    EXPECT_EQ(read.waterColor.green, 0x0000);
    EXPECT_EQ(read.glitterColor.red, 0x0102);
    EXPECT_EQ(read.lightDirection.y, -0.25f);
    EXPECT_EQ(read.oldVectorB.x, 0.25f);
    EXPECT_EQ(read.center.x, 0.75f);
    setSettingsName(read, settingsNameView(written));
    EXPECT_TRUE(sameRecord(read, written));
}

TEST(SettingsFileRead, Version44TakesTheSliderFloatsFromTheirMirrors) {
    SettingsRecord written = distinctRecord();
    const std::vector<std::uint8_t> file = asVersion(encodeSettings(written, nullptr), 44);
    ASSERT_EQ(file.size(), 82u * 4);
    SettingsRecord read = readBack(file, defaultRecord());
    EXPECT_EQ(read.version, 44);
    EXPECT_EQ(read.perspective, 33.0f);
    EXPECT_EQ(read.altitude, 12.0f);
    EXPECT_EQ(read.waviness, 99.0f);
    EXPECT_EQ(read.height, 66.0f);
    EXPECT_EQ(read.undulation, 77.0f);
    EXPECT_EQ(read.glitterColor.red, 0xFFFF);
    EXPECT_EQ(read.glitterColor.blue, 0xFFFF);
    // Version 44 stores horizon, offset, spin and the light itself.
    EXPECT_EQ(read.horizon, 61.25f);
    EXPECT_EQ(read.offset, 7.5f);
    EXPECT_EQ(read.spin, -90.0f);
}

TEST(SettingsFileRead, Version40TakesHorizonAndOffsetFromTheirMirrors) {
    SettingsRecord written = distinctRecord();
    const std::vector<std::uint8_t> file = asVersion(encodeSettings(written, nullptr), 40);
    SettingsRecord start = defaultRecord();
    start.spin = 12.0f;
    SettingsRecord read = readBack(file, start);
    EXPECT_EQ(read.horizon, 61.0f);
    EXPECT_EQ(read.offset, 7.0f);
    EXPECT_EQ(read.glitterColor.green, 0xFFFF);
    EXPECT_EQ(read.spin, 12.0f);  // not in the file: keeps what it had
    EXPECT_EQ(read.waterStyle, kWaterStyleComplex);
    EXPECT_EQ(read.center.x, 0.75f);
}

TEST(SettingsFileRead, OldVersionsRunTheUpgradeRulesInOrder) {
    SettingsRecord written = distinctRecord();
    written.height = 30.0f;
    written.offsetInt = 30;
    const std::vector<std::uint8_t> file45 = encodeSettings(written, nullptr);

    // Version 1: every rule that applies to it.
    SettingsRecord start = defaultRecord();
    start.extraInt16 = 5;
    start.altitudeInt = 3;
    SettingsRecord v1 = readBack(asVersion(file45, 1), start);
    EXPECT_EQ(v1.offsetInt, 70);
    EXPECT_EQ(v1.offset, 70.0f);
    EXPECT_EQ(v1.extraInt13,
              start.extraInt13);  // version 1 holds no extraInt13 and rule 2 skips it
    EXPECT_EQ(v1.extraInt16, 0);
    EXPECT_EQ(v1.extraColor3.red, written.waterColor.red);
    EXPECT_EQ(v1.extraColor3.blue, written.waterColor.blue);
    EXPECT_EQ(v1.brillianceInt, 100);
    EXPECT_EQ(v1.brilliance, 100.0f);
    EXPECT_EQ(v1.undulation, 50.0f);
    EXPECT_EQ(v1.perspective, 57.0f);
    EXPECT_EQ(v1.waviness, 0.0f);
    EXPECT_EQ(v1.altitude, 50.0f);  // rule 9 comes after rule 6
    EXPECT_EQ(v1.heightInt, 100);   // 30 / 0.3
    EXPECT_EQ(v1.height, 100.0f);
    EXPECT_EQ(v1.outputMode, start.outputMode);

    // Version 10: extraInt13 counts one more, extraInt17 is mirrored around 100.
    SettingsRecord v10 = readBack(asVersion(file45, 10), defaultRecord());
    EXPECT_EQ(v10.extraInt13, 24);
    EXPECT_EQ(v10.extraInt17, 73);
    EXPECT_EQ(v10.brillianceInt, written.brillianceInt);
    EXPECT_EQ(v10.outputMode, 42);
    EXPECT_EQ(v10.oldVectorA.y, 0.25f);

    // Version 24 keeps the height, version 25 also extraInt16, version 15 the offset.
    SettingsRecord v24 = readBack(asVersion(file45, 24), defaultRecord());
    EXPECT_EQ(v24.heightInt, 30);
    EXPECT_EQ(v24.extraInt16, 0);
    EXPECT_EQ(v24.perspectiveInt, written.perspectiveInt);
    SettingsRecord v25 = readBack(asVersion(file45, 25), defaultRecord());
    EXPECT_EQ(v25.extraInt16, 26);
    SettingsRecord v15 = readBack(asVersion(file45, 15), defaultRecord());
    EXPECT_EQ(v15.offsetInt, 30);
    SettingsRecord v14 = readBack(asVersion(file45, 14), defaultRecord());
    EXPECT_EQ(v14.offsetInt, 70);
}

TEST(SettingsFileRead, UpgradesOfExtremeValuesSaturateInsteadOfOverflowing) {
    SettingsRecord written = distinctRecord();
    const std::vector<std::uint8_t> file45 = encodeSettings(written, nullptr);
    std::vector<std::uint8_t> file = asVersion(file45, 6);
    setItem(file, 25, INT32_MIN);  // offsetInt
    setItem(file, 42, INT32_MAX);  // extraInt13
    setItem(file, 49, INT32_MIN);  // extraInt17
    setItem(file, 11, INT32_MAX);  // heightInt
    const SettingsRecord read = readBack(file, defaultRecord());
    EXPECT_EQ(read.offsetInt, INT32_MAX);
    EXPECT_EQ(read.extraInt13, INT32_MAX);
    EXPECT_EQ(read.extraInt17, INT32_MAX);
    EXPECT_EQ(read.heightInt, INT32_MAX);
}

TEST(SettingsFileRead, ThumbnailOnlyLeavesTheRecordAlone) {
    auto red = solidImage(128, 128, 200, 30, 40);
    SettingsRecord written = distinctRecord();
    const std::vector<std::uint8_t> file = encodeSettings(written, red.get());
    ASSERT_GT(file.size(), kSettingsFileBytesWithoutThumbnail + 12);
    EXPECT_EQ(itemAt(file, 72), 1);
    EXPECT_EQ(itemAt(file, 73), 128);
    EXPECT_EQ(itemAt(file, 74), 128);
    EXPECT_EQ(std::size_t(itemAt(file, 75)), file.size() - 364 - 12);

    auto thumbnail = image::createThumbnailImage();
    SettingsRecord record = defaultRecord();
    const SettingsRecord before = record;
    const SettingsReadResult result =
        readSettingsBytes(file, SettingsReadMode::ThumbnailOnly, record, thumbnail.get());
    EXPECT_TRUE(result.thumbnailLoaded);
    EXPECT_TRUE(result.complete);
    EXPECT_TRUE(sameRecord(record, before));
    const Rgb8 pixel = rgbAt(*thumbnail, 64, 64);
    EXPECT_NEAR(pixel.r, 200, 4);
    EXPECT_NEAR(pixel.g, 30, 4);
    EXPECT_NEAR(pixel.b, 40, 4);
}

TEST(SettingsFileRead, ThumbnailRoundTripKeepsThePicture) {
    auto picture = image::create(128, 128, image::SampleFormat::Rgba8);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            image::writeRgba8(*picture, x, y, 0, x < 64 ? 20 : 230, 2 * y, 128, 255);
    SettingsRecord written = distinctRecord();
    const std::vector<std::uint8_t> file = encodeSettings(written, picture.get());

    auto thumbnail = image::createThumbnailImage();
    SettingsReadResult result;
    SettingsRecord read = readBack(file, defaultRecord(), thumbnail.get(), &result);
    EXPECT_TRUE(result.thumbnailLoaded);
    setSettingsName(read, settingsNameView(written));
    EXPECT_TRUE(sameRecord(read, written));  // the block does not disturb the items after it
    for (int y : {5, 60, 120}) {
        for (int x : {10, 50, 80, 120}) {
            const Rgb8 pixel = rgbAt(*thumbnail, x, y);
            EXPECT_NEAR(pixel.r, x < 64 ? 20 : 230, 8) << x << "," << y;
            EXPECT_NEAR(pixel.g, 2 * y, 8) << x << "," << y;
        }
    }
    // Without a thumbnail image the block is passed by.
    SettingsReadResult skipped;
    SettingsRecord again = readBack(file, defaultRecord(), nullptr, &skipped);
    EXPECT_FALSE(skipped.thumbnailLoaded);
    EXPECT_TRUE(skipped.complete);
    setSettingsName(again, settingsNameView(written));
    EXPECT_TRUE(sameRecord(again, written));
}

TEST(SettingsFileWrite, WritingOverALongerFileLeavesNoStaleBytes) {
    const std::string path = scratchFolder() + "Mirel undo 0";
    auto picture = solidImage(128, 128, 90, 90, 90);
    SettingsRecord record = distinctRecord();
    ASSERT_TRUE(writeSettingsFile(path, record, picture.get()));
    ASSERT_GT(readBytes(path).size(), 364u);
    ASSERT_TRUE(writeSettingsFile(path, record, nullptr));
    EXPECT_EQ(readBytes(path), encodeSettings(record, nullptr));
}

TEST(SettingsFileWrite, SavingReplacesTheChosenFileWhole) {
    const std::string folder = scratchFolder();
    const std::string path = folder + "look.q8r";
    writeBytes(path, std::vector<std::uint8_t>(5000, 0xAB));
    SettingsRecord record = distinctRecord();
    ASSERT_TRUE(saveSettingsFile(path, record, nullptr));
    EXPECT_EQ(readBytes(path), encodeSettings(record, nullptr));
    // A place that cannot be written fails and makes nothing.
    EXPECT_FALSE(saveSettingsFile(folder + "missing/look.q8r", record, nullptr));
    EXPECT_FALSE(saveSettingsFile(folder, record, nullptr));
}

TEST(SettingsFileRead, LoadStartsFromTheDefaults) {
    const std::string folder = scratchFolder();
    SettingsRecord record = distinctRecord();
    SettingsReadResult result = loadSettingsFile(folder + "none.q8r", record, nullptr);
    EXPECT_FALSE(result.versionRead);
    EXPECT_EQ(record.waviness, 65.0f);
    EXPECT_EQ(record.horizonInt, distinctRecord().horizonInt);  // defaults leave mirrors

    SettingsRecord stored = distinctRecord();
    const std::vector<std::uint8_t> file = asVersion(encodeSettings(stored, nullptr), 41);
    writeBytes(folder + "old.q8r", file);
    record = distinctRecord();
    record.spin = 45.0f;
    result = loadSettingsFile(folder + "old.q8r", record, nullptr);
    EXPECT_TRUE(result.versionRead);
    EXPECT_EQ(record.spin, 0.0f);  // version 41 holds no spin: the default stays
    EXPECT_EQ(record.horizon, 61.25f);
}

TEST(SettingsFileRead, ThumbnailForDisplayIs88Square) {
    const std::string folder = scratchFolder();
    auto picture = solidImage(128, 128, 40, 220, 60);
    SettingsRecord record = distinctRecord();
    ASSERT_TRUE(saveSettingsFile(folder + "with.q8r", record, picture.get()));
    ASSERT_TRUE(saveSettingsFile(folder + "without.q8r", record, nullptr));

    auto thumbnail = image::createThumbnailImage();
    const auto shown = readThumbnailForDisplay(folder + "with.q8r", *thumbnail);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->baseWidth, 88);
    EXPECT_EQ(shown->baseHeight, 88);
    EXPECT_NEAR(rgbAt(*shown, 44, 44).g, 220, 4);

    image::resetThumbnail(*thumbnail);
    EXPECT_FALSE(readThumbnailForDisplay(folder + "without.q8r", *thumbnail));
    EXPECT_FALSE(readThumbnailForDisplay(folder + "missing.q8r", *thumbnail));
    EXPECT_EQ(rgbAt(*thumbnail, 5, 127).r, 128);  // untouched
}

TEST(SettingsFile, SuggestedNameDropsTheLastExtension) {
    SettingsRecord record = defaultRecord();
    EXPECT_EQ(suggestedSettingsFileName(record), "Mirel settings");
    setSettingsName(record, "calm.lake.q8r");
    EXPECT_EQ(suggestedSettingsFileName(record), "calm.lake");
}

}  // namespace
}  // namespace mirel::testing
