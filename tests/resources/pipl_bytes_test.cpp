// The PiPL bytes, checked against the Windows resource layout byte by byte.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/pipl.h"
#include "resources/resources.h"

namespace {

// The host's enable expression, typed here independently of the source.
const std::string kExpression =
    "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, Gray32Mode, RGB96Mode) "
    ") && (PSHOP_ImageMode !=  MultichannelMode) ";

struct RawProperty {
    std::string vendor;  // the four bytes as stored
    std::string key;
    std::uint32_t id = 0;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> data;
};

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

std::vector<RawProperty> walk(std::span<const std::uint8_t> bytes) {
    std::vector<RawProperty> properties;
    std::size_t at = 10;
    const std::uint32_t count = le32(bytes.data() + 6);
    for (std::uint32_t i = 0; i < count; ++i) {
        EXPECT_LE(at + 16, bytes.size());
        if (at + 16 > bytes.size()) break;
        RawProperty p;
        p.vendor.assign(reinterpret_cast<const char*>(bytes.data() + at), 4);
        p.key.assign(reinterpret_cast<const char*>(bytes.data() + at + 4), 4);
        p.id = le32(bytes.data() + at + 8);
        p.length = le32(bytes.data() + at + 12);
        at += 16;
        EXPECT_LE(at + p.length, bytes.size());
        if (at + p.length > bytes.size()) break;
        p.data.assign(bytes.begin() + at, bytes.begin() + at + p.length);
        at += p.length;
        properties.push_back(std::move(p));
    }
    EXPECT_EQ(at, bytes.size()) << "bytes left over after the last property";
    return properties;
}

std::vector<std::uint8_t> bytesOf(const std::string& text, std::size_t paddedTo) {
    std::vector<std::uint8_t> out(text.begin(), text.end());
    out.resize(paddedTo, 0);
    return out;
}

const RawProperty* findKey(const std::vector<RawProperty>& properties, const char* storedKey) {
    for (const RawProperty& p : properties)
        if (p.key == storedKey) return &p;
    return nullptr;
}

TEST(PiplBytes, HeaderAndKeyOrder) {
    const auto bytes = mirel::piplBytes();
    ASSERT_GE(bytes.size(), 10u);
    const std::vector<std::uint8_t> header(bytes.begin(), bytes.begin() + 10);
    EXPECT_EQ(header, (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 10, 0, 0, 0}));

    const auto properties = walk(bytes);
    // Keys are native 32-bit values, so each reads backwards in the file.
    const std::vector<std::string> expected = {"dnik", "eman", "gtac", "srev", "4668",
                                               "mtsh", "edom", "lbne", "lbne", "icif"};
    ASSERT_EQ(properties.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i]);
        EXPECT_EQ(properties[i].key, expected[i]);
        EXPECT_EQ(properties[i].vendor, "MIB8");
        EXPECT_EQ(properties[i].id, 0u);
        EXPECT_EQ(properties[i].length % 4, 0u) << "lengths are stored padded";
    }
}

TEST(PiplBytes, KindNameCategoryVersionEntryPoint) {
    const auto properties = walk(mirel::piplBytes());
    const RawProperty* kind = findKey(properties, "dnik");
    ASSERT_TRUE(kind);
    EXPECT_EQ(kind->data, bytesOf("MFB8", 4));

    // Pascal strings: a length byte, the text, NULs up to a whole word.
    const RawProperty* name = findKey(properties, "eman");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->data, bytesOf(std::string("\x0A") + "Mirel 2...", 12));
    const RawProperty* category = findKey(properties, "gtac");
    ASSERT_TRUE(category);
    EXPECT_EQ(category->data, bytesOf(std::string("\x07") + "Ostrand", 8));

    const RawProperty* version = findKey(properties, "srev");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->data, (std::vector<std::uint8_t>{0x00, 0x00, 0x04, 0x00}));

    const RawProperty* entry = findKey(properties, "4668");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->data, bytesOf("PluginMain", 12));
}

TEST(PiplBytes, EnableExpressionAppearsTwiceByteForByte) {
    const auto properties = walk(mirel::piplBytes());
    int seen = 0;
    for (const RawProperty& p : properties) {
        if (p.key != "lbne") continue;
        ++seen;
        const std::size_t padded = (kExpression.size() + 1 + 3) / 4 * 4;
        EXPECT_EQ(p.length, padded);
        EXPECT_EQ(p.data, bytesOf(kExpression, padded));
    }
    EXPECT_EQ(seen, 2);
}

TEST(PiplBytes, ModesAreGreyAndRgbAtEveryDepthOnly) {
    const auto properties = walk(mirel::piplBytes());
    const RawProperty* modes = findKey(properties, "edom");
    ASSERT_TRUE(modes);
    // Gray 1 and RGB 3 in byte 0; Gray16 10 and RGB48 11 in byte 1; RGB96 16
    // and Gray32 17 in byte 2. No Bitmap, Indexed, CMYK, Lab, Multichannel.
    EXPECT_EQ(modes->data, (std::vector<std::uint8_t>{0x50, 0x30, 0xC0, 0x00}));
}

TEST(PiplBytes, FilterCasesAndTerminology) {
    const auto properties = walk(mirel::piplBytes());
    const RawProperty* cases = findKey(properties, "icif");
    ASSERT_TRUE(cases);
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 7; ++i) expected.insert(expected.end(), {1, 1, 1, 0});
    EXPECT_EQ(cases->data, expected);

    const RawProperty* terminology = findKey(properties, "mtsh");
    ASSERT_TRUE(terminology);
    std::vector<std::uint8_t> hstm = {0,   0,   0,   0,   '2', 'R',  'M',
                                      'O', '2', 'R', 'M', 'O', 0x80, 0x3E};  // 16000
    const std::string scope = "Ostrand Mirel 2";
    hstm.insert(hstm.end(), scope.begin(), scope.end());
    hstm.resize(32, 0);  // 30 bytes with the NUL, padded to 32
    EXPECT_EQ(terminology->data, hstm);
}

TEST(PiplBytes, IsResourcePiPL16000) {
    const auto bytes = mirel::piplBytes();
    const auto resource = mirel::findResource("PiPL", mirel::kPiplResourceId);
    EXPECT_EQ(resource.data(), bytes.data());
    EXPECT_EQ(resource.size(), bytes.size());
    EXPECT_EQ(mirel::findResource("pipl", "16000").data(), bytes.data());
}

}  // namespace
