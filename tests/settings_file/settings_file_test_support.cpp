// Helpers of the settings-file tests.
#include "tests/settings_file/settings_file_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "image/pyramid.h"

namespace mirel::testing {

SettingsRecord defaultRecord() {
    SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    fullReset(record);
    return record;
}

SettingsRecord distinctRecord() {
    SettingsRecord r = defaultRecord();
    r.waterColor = {0xFF00, 0x0000, 0x1234};
    r.extraColor1 = {1, 2, 3};
    r.extraColor2 = {4, 5, 6};
    r.extraInt1 = 11;
    r.extraInt2 = -12;
    r.extraInt3 = 13;
    r.horizonInt = 61;
    r.extraInt4 = 14;
    r.extraInt5 = 15;
    r.extraInt6 = 16;
    r.extraInt7 = 17;
    r.extraInt8 = 18;
    r.extraInt9 = 19;
    r.offsetInt = 7;
    r.extraInt10 = 20;
    r.extraInt11 = 21;
    r.extraColor3 = {7, 8, 9};
    r.extraColor4 = {10, 11, 12};
    r.extraInt12 = 22;
    r.extraInt13 = 23;
    r.outputMode = 42;
    r.extraInt14 = 24;
    r.extraInt15 = 25;
    r.extraInt16 = 26;
    r.extraInt17 = 27;
    r.oldVectorA = {-0.5f, 0.25f, 0.75f};
    r.oldVectorB = {0.25f, -0.5f, 0.0f};
    r.randomSeed = 2047;
    r.extraInt18 = 28;
    r.extraInt19 = 29;
    r.extraColor5 = {13, 14, 15};
    r.extraColor6 = {16, 17, 18};
    r.extraColor7 = {19, 20, 21};
    r.center = {0.75f, 0.25f};
    r.horizon = 61.25f;
    r.offset = 7.5f;
    r.spin = -90.0f;
    r.waterStyle = kWaterStyleSimple;
    r.lightDirection = {0.5f, -0.25f, 0.75f};
    r.glitterColor = {0x0102, 0xFFFF, 0x8000};
    r.perspective = 33.5f;
    r.altitude = 12.75f;
    r.waviness = 99.5f;
    r.complexity = 1.25f;
    r.brilliance = 55.5f;
    r.blur = 3.0f;
    r.size = 44.25f;
    r.height = 66.5f;
    r.undulation = 77.75f;
    syncMirrors(r);
    return r;
}

int itemFromVersion(int index) {
    struct Run {
        int lastItem, from;
    };
    // Items grouped by the version that brought them; "from" never decreases along the
    // file, which is what lets an older file be a prefix of a newer one.
    static constexpr Run kRuns[] = {{36, 1},  {42, 2},  {44, 3},  {47, 4},  {49, 5},
                                    {55, 8},  {56, 12}, {57, 14}, {58, 16}, {59, 17},
                                    {65, 18}, {66, 22}, {69, 23}, {71, 26}, {72, 40},
                                    {74, 41}, {76, 42}, {79, 43}, {82, 44}, {91, 45}};
    for (const Run& run : kRuns)
        if (index <= run.lastItem) return run.from;
    return 1000;
}

int itemCountOfVersion(int version) {
    int count = 0;
    for (int index = 1; index <= 91; ++index)
        if (itemFromVersion(index) <= version) count = index;
    return count;
}

std::vector<std::uint8_t> asVersion(const std::vector<std::uint8_t>& file45, int version) {
    EXPECT_EQ(file45.size(), 364u);
    std::vector<std::uint8_t> file(file45.begin(),
                                   file45.begin() + 4 * itemCountOfVersion(version));
    setItem(file, 1, version);
    return file;
}

std::int32_t itemAt(const std::vector<std::uint8_t>& file, int index) {
    const std::size_t at = std::size_t(index - 1) * 4;
    if (at + 4 > file.size()) {
        ADD_FAILURE() << "no item " << index;
        return 0;
    }
    return std::int32_t(std::uint32_t(file[at]) << 24 | std::uint32_t(file[at + 1]) << 16 |
                        std::uint32_t(file[at + 2]) << 8 | std::uint32_t(file[at + 3]));
}

void setItem(std::vector<std::uint8_t>& file, int index, std::int32_t value) {
    const std::size_t at = std::size_t(index - 1) * 4;
    ASSERT_LE(at + 4, file.size());
    const auto bits = std::uint32_t(value);
    file[at] = std::uint8_t(bits >> 24);
    file[at + 1] = std::uint8_t(bits >> 16);
    file[at + 2] = std::uint8_t(bits >> 8);
    file[at + 3] = std::uint8_t(bits);
}

void appendItem(std::vector<std::uint8_t>& file, std::int32_t value) {
    const auto bits = std::uint32_t(value);
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(std::uint8_t(bits >> shift));
}

void appendFloat(std::vector<std::uint8_t>& file, float value) {
    std::int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendItem(file, bits);
}

bool sameRecord(const SettingsRecord& a, const SettingsRecord& b) {
    const auto* pa = reinterpret_cast<const unsigned char*>(&a);
    const auto* pb = reinterpret_cast<const unsigned char*>(&b);
    for (std::size_t i = 0; i < sizeof a; ++i)
        if (pa[i] != pb[i]) {
            ADD_FAILURE() << "records differ at byte " << i;
            return false;
        }
    return true;
}

std::unique_ptr<image::TiledImage> solidImage(int width, int height, std::uint32_t r,
                                              std::uint32_t g, std::uint32_t b) {
    auto picture = image::create(width, height, image::SampleFormat::Rgba8);
    EXPECT_TRUE(picture);
    if (!picture) return picture;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image::writeRgba8(*picture, x, y, 0, r, g, b, 255);
    image::buildPyramid(*picture);
    return picture;
}

Rgb8 rgbAt(const image::TiledImage& image, int x, int y) {
    const std::uint32_t word = image::readRgba8(image, x, y, 0);
    return Rgb8{int(word >> 24), int((word >> 16) & 255), int((word >> 8) & 255)};
}

}  // namespace mirel::testing
