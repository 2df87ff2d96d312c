// JPEG writing and reading: quality handling, the tables and sampling the library
// finds in our files, the order and content of our marker segments, and decoding.
#include "settings/jpeg_codec.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/metadata.h"
#include "tests/settings_file/settings_file_test_support.h"

namespace mirel::testing {
namespace {

// clang-format off
const std::uint16_t kLuma8[64] = {
    2, 2, 2, 2, 3, 4, 5, 6, 2, 2, 2, 2, 3, 4, 5, 6, 2, 2, 2, 2, 4, 5, 7, 9,
    2, 2, 2, 4, 5, 7, 9, 12, 3, 3, 4, 5, 8, 13, 12, 12, 4, 4, 5, 7, 13, 12, 12, 12,
    5, 5, 7, 9, 12, 12, 12, 12, 6, 6, 9, 12, 12, 12, 12, 12};
const std::uint16_t kChroma8[64] = {
    3, 3, 5, 9, 10, 15, 15, 15, 3, 4, 6, 13, 14, 12, 12, 12, 5, 6, 9, 14, 12, 12, 12, 12,
    9, 13, 14, 12, 12, 12, 12, 12, 10, 14, 12, 12, 12, 12, 12, 12, 15, 12, 12, 12, 12, 12, 12, 12,
    15, 12, 12, 12, 12, 12, 12, 12, 15, 12, 12, 12, 12, 12, 12, 12};
const std::uint16_t kLuma5[64] = {
    13, 7, 7, 13, 15, 18, 20, 17, 7, 8, 8, 13, 10, 16, 12, 12, 7, 8, 8, 13, 16, 12, 12, 12,
    13, 13, 13, 18, 12, 12, 12, 12, 15, 10, 16, 12, 12, 12, 12, 12, 18, 16, 12, 12, 12, 12, 12, 12,
    20, 12, 12, 12, 12, 12, 12, 12, 17, 12, 12, 12, 12, 12, 12, 12};
const std::uint16_t kChroma5[64] = {
    11, 12, 21, 34, 20, 20, 17, 17, 12, 19, 24, 14, 14, 12, 12, 12, 21, 24, 14, 14, 12, 12, 12, 12,
    34, 14, 14, 12, 12, 12, 12, 12, 20, 14, 12, 12, 12, 12, 12, 12, 20, 12, 12, 12, 12, 12, 12, 12,
    17, 12, 12, 12, 12, 12, 12, 12, 17, 12, 12, 12, 12, 12, 12, 12};
// clang-format on

struct ReadBack {
    bool ok = false;
    std::uint16_t luma[64] = {};
    std::uint16_t chroma[64] = {};
    int lumaH = 0, lumaV = 0, chromaH = 0, chromaV = 0;
    int width = 0, height = 0, components = 0;
};

struct TestErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void testErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<TestErrors*>(cinfo->err)->jump, 1);
}

// What the JPEG library itself finds in a file: its tables (natural order) and sampling.
ReadBack readHeader(const std::vector<std::uint8_t>& jpeg) {
    ReadBack result;
    jpeg_decompress_struct cinfo;
    TestErrors errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = &testErrorExit;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return result;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    for (int i = 0; i < 64; ++i) {
        result.luma[i] = cinfo.quant_tbl_ptrs[0]->quantval[i];
        result.chroma[i] = cinfo.quant_tbl_ptrs[1]->quantval[i];
    }
    result.lumaH = cinfo.comp_info[0].h_samp_factor;
    result.lumaV = cinfo.comp_info[0].v_samp_factor;
    result.chromaH = cinfo.comp_info[1].h_samp_factor;
    result.chromaV = cinfo.comp_info[2].v_samp_factor;
    result.width = int(cinfo.image_width);
    result.height = int(cinfo.image_height);
    result.components = cinfo.num_components;
    result.ok = true;
    jpeg_destroy_decompress(&cinfo);
    return result;
}

struct Segment {
    int marker = 0;
    std::vector<std::uint8_t> data;
};

// The marker segments from SOI up to and including SOS.
std::vector<Segment> segmentsOf(const std::vector<std::uint8_t>& jpeg) {
    std::vector<Segment> segments;
    std::size_t at = 0;
    while (at + 2 <= jpeg.size() && jpeg[at] == 0xFF) {
        Segment segment;
        segment.marker = jpeg[at + 1];
        at += 2;
        if (segment.marker == 0xD8) {
            segments.push_back(segment);
            continue;
        }
        if (at + 2 > jpeg.size()) break;
        const std::size_t length = std::size_t(jpeg[at]) << 8 | jpeg[at + 1];
        if (length < 2 || at + length > jpeg.size()) break;
        segment.data.assign(jpeg.begin() + long(at + 2), jpeg.begin() + long(at + length));
        segments.push_back(segment);
        at += length;
        if (segment.marker == 0xDA) break;
    }
    return segments;
}

std::vector<std::uint8_t> encodeSolid(int width, int height, int quality,
                                      std::span<const std::uint8_t> resources = {},
                                      std::span<const std::uint8_t> exif = {}) {
    auto picture = solidImage(width, height, 100, 150, 200);
    std::vector<std::uint8_t> jpeg;
    EXPECT_GT(encodeJpeg(*picture, quality, resources, exif, jpeg), 0u);
    return jpeg;
}

TEST(JpegQuality, ClampsAndPicksTheDecile) {
    EXPECT_EQ(clampJpegQuality(-20), 0);
    EXPECT_EQ(clampJpegQuality(100), 99);
    EXPECT_EQ(clampJpegQuality(80), 80);
    EXPECT_EQ(jpegDecile(-20), 0);
    EXPECT_EQ(jpegDecile(49), 4);
    EXPECT_EQ(jpegDecile(50), 5);
    EXPECT_EQ(jpegDecile(1000), 9);
}

TEST(JpegQuality, EveryDecileHasPositiveTablesFinerAsQualityRises) {
    for (int d = 0; d < kJpegDeciles; ++d) {
        const QuantTables& tables = quantTablesForDecile(d);
        for (int i = 0; i < 64; ++i) {
            EXPECT_GE(tables.luminance[i], 1) << d;
            EXPECT_GE(tables.chrominance[i], 1) << d;
        }
        if (d > 0) {
            const QuantTables& coarser = quantTablesForDecile(d - 1);
            int sumFine = 0, sumCoarse = 0;
            for (int i = 0; i < 64; ++i) {
                sumFine += tables.luminance[i] + tables.chrominance[i];
                sumCoarse += coarser.luminance[i] + coarser.chrominance[i];
            }
            EXPECT_LT(sumFine, sumCoarse) << d;
        }
    }
}

TEST(JpegWrite, TheLibraryReadsBackTheTablesOfDeciles5And8) {
    for (int quality : {80, 89}) {
        const ReadBack header = readHeader(encodeSolid(128, 128, quality));
        ASSERT_TRUE(header.ok);
        EXPECT_EQ(0, std::memcmp(header.luma, kLuma8, sizeof kLuma8)) << quality;
        EXPECT_EQ(0, std::memcmp(header.chroma, kChroma8, sizeof kChroma8)) << quality;
        EXPECT_EQ(header.lumaH, 1);
        EXPECT_EQ(header.lumaV, 1);
    }
    const ReadBack five = readHeader(encodeSolid(40, 30, 55));
    ASSERT_TRUE(five.ok);
    EXPECT_EQ(0, std::memcmp(five.luma, kLuma5, sizeof kLuma5));
    EXPECT_EQ(0, std::memcmp(five.chroma, kChroma5, sizeof kChroma5));
    EXPECT_EQ(five.lumaH, 1);
    EXPECT_EQ(five.width, 40);
    EXPECT_EQ(five.components, 3);
}

TEST(JpegWrite, LowQualitiesSubsampleTheChroma) {
    for (int quality : {-5, 0, 49}) {
        const ReadBack header = readHeader(encodeSolid(32, 32, quality));
        ASSERT_TRUE(header.ok);
        EXPECT_EQ(header.lumaH, 2) << quality;
        EXPECT_EQ(header.lumaV, 2) << quality;
        EXPECT_EQ(header.chromaH, 1);
        EXPECT_EQ(header.chromaV, 1);
    }
    const ReadBack high = readHeader(encodeSolid(32, 32, 150));
    EXPECT_EQ(high.lumaH, 1);
    EXPECT_EQ(0, std::memcmp(high.luma, quantTablesForDecile(9).luminance, sizeof kLuma8));
}

TEST(JpegWrite, SegmentsFollowJfifInOrder) {
    IptcKeywords keywords;
    ASSERT_TRUE(addKeyword(keywords, "lake"));
    const std::vector<std::uint8_t> iptc = makeIptcBlock(keywords, os::utcNow());
    const std::vector<std::uint8_t> resources = makeImageResourceBlock(iptc);
    const std::vector<std::uint8_t> exif = makeExifBlock();
    const std::vector<std::uint8_t> jpeg = encodeSolid(64, 48, 50, resources, exif);

    const std::vector<Segment> segments = segmentsOf(jpeg);
    ASSERT_GE(segments.size(), 7u);
    EXPECT_EQ(segments[0].marker, 0xD8);  // SOI
    EXPECT_EQ(segments[1].marker, 0xE0);  // APP0
    EXPECT_EQ(std::string(segments[1].data.begin(), segments[1].data.begin() + 5),
              std::string("JFIF\0", 5));
    EXPECT_EQ(segments[2].marker, 0xFE);  // COM
    const std::string comment(segments[2].data.begin(), segments[2].data.end());
    EXPECT_EQ(comment, std::string(kMakerWebAddress) + '\0');
    EXPECT_EQ(segments[3].marker, 0xE1);  // APP1
    EXPECT_EQ(segments[3].data, exif);
    EXPECT_EQ(segments[4].marker, 0xED);  // APP13
    EXPECT_EQ(segments[4].data, resources);
    // Then the frame: tables, start of frame, Huffman tables, start of scan.
    EXPECT_EQ(segments[5].marker, 0xDB);
    bool sawFrame = false;
    for (std::size_t i = 5; i < segments.size(); ++i) {
        EXPECT_NE(segments[i].marker, 0xFE);
        EXPECT_FALSE(segments[i].marker >= 0xE0 && segments[i].marker <= 0xEF);
        sawFrame |= segments[i].marker == 0xC0;
    }
    EXPECT_TRUE(sawFrame);

    // Without metadata only the comment is added.
    const std::vector<Segment> plain = segmentsOf(encodeSolid(16, 16, 80));
    ASSERT_GE(plain.size(), 4u);
    EXPECT_EQ(plain[2].marker, 0xFE);
    EXPECT_EQ(plain[3].marker, 0xDB);
}

TEST(JpegMetadata, ImageResourceBlockCarriesTheIptcRecords) {
    IptcKeywords keywords;
    EXPECT_TRUE(addKeyword(keywords, "Reflection"));
    EXPECT_TRUE(addKeyword(keywords, "water"));
    const os::UtcDate date{2024, 3, 7, 12, 0, 0};
    const std::vector<std::uint8_t> iptc = makeIptcBlock(keywords, date);
    EXPECT_EQ(iptc.size() % 2, 0u);
    const std::vector<std::uint8_t> block = makeImageResourceBlock(iptc);

    ASSERT_GE(block.size(), 26u);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 14), std::string("Photoshop 3.0\0", 14));
    EXPECT_EQ(std::string(block.begin() + 14, block.begin() + 18), "8BIM");
    EXPECT_EQ(block[18], 0x04);
    EXPECT_EQ(block[19], 0x04);
    EXPECT_EQ(block[20], 0);
    EXPECT_EQ(block[21], 0);
    const std::size_t length = std::size_t(block[22]) << 24 | std::size_t(block[23]) << 16 |
                               std::size_t(block[24]) << 8 | block[25];
    EXPECT_EQ(length, iptc.size());
    EXPECT_EQ(block.size(), 26 + iptc.size());

    const std::vector<IptcDataset> datasets = parseIptcBlock(block.data() + 26, length);
    ASSERT_EQ(datasets.size(), 7u);
    EXPECT_EQ(datasets[0].number, 0);
    EXPECT_EQ(datasets[0].data, std::string("\0\2", 2));
    EXPECT_EQ(datasets[1].number, 115);
    EXPECT_EQ(datasets[1].data, kMakerWebAddress);
    EXPECT_EQ(datasets[2].number, 55);
    EXPECT_EQ(datasets[2].data, "20240307");
    EXPECT_EQ(datasets[3].number, 120);
    EXPECT_EQ(datasets[3].data, "Made with Mirel");
    EXPECT_EQ(datasets[4].number, 25);
    EXPECT_EQ(datasets[4].data, "Mirel");
    EXPECT_EQ(datasets[5].data, "Reflection");
    EXPECT_EQ(datasets[6].data, "water");
}

TEST(JpegMetadata, OddIptcLengthGetsOnePaddingByte) {
    // Find a keyword length that makes the block odd before padding.
    for (std::size_t n = 1; n < 4; ++n) {
        IptcKeywords keywords;
        addKeyword(keywords, std::string(n, 'k'));
        const std::vector<std::uint8_t> iptc =
            makeIptcBlock(keywords, os::UtcDate{2024, 1, 1, 0, 0, 0});
        EXPECT_EQ(iptc.size() % 2, 0u);
        const std::vector<IptcDataset> datasets = parseIptcBlock(iptc.data(), iptc.size());
        ASSERT_EQ(datasets.size(), 6u);
        EXPECT_EQ(datasets[5].data, std::string(n, 'k'));
    }
}

TEST(JpegMetadata, KeywordRules) {
    IptcKeywords keywords;
    EXPECT_FALSE(addKeyword(keywords, ""));
    EXPECT_FALSE(addKeyword(keywords, std::string(50, 'x')));
    EXPECT_TRUE(addKeyword(keywords, std::string(49, 'x')));
    EXPECT_TRUE(addKeyword(keywords, "Sunset"));
    EXPECT_FALSE(addKeyword(keywords, "sun"));     // "Sunset" begins with it
    EXPECT_FALSE(addKeyword(keywords, "SUNSET"));  // same word, other case
    EXPECT_TRUE(addKeyword(keywords, "Sunsets"));  // longer: nothing begins with it
    for (int i = 0; i < 30; ++i) addKeyword(keywords, "k" + std::to_string(100 + i));
    EXPECT_EQ(keywords.words.size(), kMaxExtraKeywords);
    EXPECT_EQ(keywords.words[3], "k100");
}

TEST(JpegMetadata, ExifNamesTheSoftware) {
    const std::vector<std::uint8_t> exif = makeExifBlock();
    const std::vector<std::uint8_t> expected = {
        'E',  'x',  'i', 'f', 0,   0, 'M', 'M', 0, 0x2A, 0, 0,  0, 8,  // header
        0,    1,                                                       // one entry
        0x01, 0x31, 0,   2,   0,   0, 0,   6,   0, 0,    0, 26,        // software, ASCII, 6, at 26
        0,    0,    0,   0,                                            // no next directory
        'M',  'i',  'r', 'e', 'l', 0};
    EXPECT_EQ(exif, expected);
    EXPECT_EQ(exif.size(), kExifBlockSize);
}

TEST(JpegWrite, SmallPicturesAreEncodedAtSixteenRepeatingTheirEdge) {
    auto picture = image::create(5, 3, image::SampleFormat::Rgba8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) image::writeRgba8(*picture, x, y, 0, 0, 0, 0, 255);
    image::writeRgba8(*picture, 4, 2, 0, 255, 255, 255, 255);
    std::vector<std::uint8_t> jpeg;
    ASSERT_GT(encodeJpeg(*picture, 90, {}, {}, jpeg), 0u);
    const ReadBack header = readHeader(jpeg);
    EXPECT_EQ(header.width, 16);
    EXPECT_EQ(header.height, 16);
    auto decoded = image::create(16, 16, image::SampleFormat::Rgba8);
    ASSERT_TRUE(decodeJpeg(jpeg, *decoded));
    EXPECT_GT(rgbAt(*decoded, 12, 12).r, 200);  // the corner pixel repeated
    EXPECT_LT(rgbAt(*decoded, 1, 1).r, 40);
}

TEST(JpegRead, DecodesColourAndGreyAndDropsWhatDoesNotFit) {
    const std::vector<std::uint8_t> jpeg = encodeSolid(40, 40, 90);
    auto small = image::create(20, 50, image::SampleFormat::Rgba8);
    ASSERT_TRUE(decodeJpeg(jpeg, *small));
    const std::uint32_t word = image::readRgba8(*small, 10, 10, 0);
    EXPECT_EQ(word & 255u, 255u);
    EXPECT_NEAR(int(word >> 24), 100, 3);
    EXPECT_NEAR(int((word >> 16) & 255), 150, 3);
    EXPECT_NEAR(int((word >> 8) & 255), 200, 3);
    EXPECT_EQ(image::readRgba8(*small, 10, 45, 0), image::packRgba8(0, 0, 0, 255));  // not covered

    // A grey picture made by the library directly.
    std::vector<std::uint8_t> grey;
    {
        jpeg_compress_struct cinfo;
        jpeg_error_mgr errors;
        cinfo.err = jpeg_std_error(&errors);
        jpeg_create_compress(&cinfo);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &buffer, &size);
        cinfo.image_width = 8;
        cinfo.image_height = 8;
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 95, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        unsigned char row[8];
        std::memset(row, 77, sizeof row);
        while (cinfo.next_scanline < 8) {
            JSAMPROW rows[1] = {row};
            jpeg_write_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        grey.assign(buffer, buffer + size);
        std::free(buffer);
    }
    auto target = image::create(8, 8, image::SampleFormat::Rgba8);
    ASSERT_TRUE(decodeJpeg(grey, *target));
    const Rgb8 pixel = rgbAt(*target, 3, 3);
    EXPECT_NEAR(pixel.r, 77, 2);
    EXPECT_EQ(pixel.r, pixel.g);
    EXPECT_EQ(pixel.g, pixel.b);
}

TEST(JpegRead, DamagedDataFailsQuietly) {
    auto target = image::create(16, 16, image::SampleFormat::Rgba8);
    EXPECT_FALSE(decodeJpeg({}, *target));
    const std::vector<std::uint8_t> noise(500, 0x5A);
    EXPECT_FALSE(decodeJpeg(noise, *target));
    std::vector<std::uint8_t> jpeg = encodeSolid(64, 64, 80);
    jpeg.resize(jpeg.size() / 2);  // the library fills in the rest; no failure, no crash
    decodeJpeg(jpeg, *target);
    jpeg.resize(30);
    EXPECT_FALSE(decodeJpeg(jpeg, *target));
    auto wrongFormat = image::create(16, 16, image::SampleFormat::RgbaFloat);
    EXPECT_FALSE(decodeJpeg(encodeSolid(16, 16, 80), *wrongFormat));
}

// A 16 x 16 grey picture, progressive with arithmetic coding, whose frame claims
// 4000 x 4000 and whose last scan (a few bytes) is repeated 190 times: every scan passes
// over a quarter of a million blocks of zeros.
std::vector<std::uint8_t> rescannedEnlargedJpeg() {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = cinfo.image_height = 16;
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    cinfo.arith_code = TRUE;
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(16, 90);
    while (cinfo.next_scanline < 16) {
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> jpeg(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);

    std::size_t lastScan = 0;
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] != 0xff) continue;
        if (jpeg[i + 1] == 0xca) {
            jpeg[i + 5] = jpeg[i + 7] = 4000 >> 8;
            jpeg[i + 6] = jpeg[i + 8] = 4000 & 0xff;
        }
        if (jpeg[i + 1] == 0xda) lastScan = i;
    }
    const std::vector<std::uint8_t> scan(jpeg.begin() + static_cast<std::ptrdiff_t>(lastScan),
                                         jpeg.end() - 2);
    for (int copy = 0; copy < 190; ++copy) jpeg.insert(jpeg.end() - 2, scan.begin(), scan.end());
    return jpeg;
}

TEST(JpegRead, ManyScansOverAnEnlargedFrameStopEarly) {
    auto target = image::create(128, 128, image::SampleFormat::Rgba8);
    EXPECT_FALSE(decodeJpeg(rescannedEnlargedJpeg(), *target));
}

}  // namespace
}  // namespace mirel::testing
