// The dialogs' artwork: every image resource they draw is embedded, is a
// well-formed file of its type (baseline JPEG that libjpeg decodes, 24-bit
// bottom-up bitmap, icon or cursor with 32-bit images) and has the size its
// control is drawn at.
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "resources/resources.h"

namespace {

using Bytes = std::span<const std::uint8_t>;
using Size = std::pair<int, int>;

struct Expected {
    const char* type;
    int id;
    std::vector<Size> sizes;  // every image of the file, in order
};

// The table of resources/artwork/make_artwork.py: headings and JPEGs without
// a large variant at 200 %, pairs at 100 % and 200 %, icons and cursors with
// both sizes in one file.
const std::vector<Expected>& expectedArtwork() {
    static const std::vector<Expected> table = {
        {"JPEG", 343, {{90, 30}}},
        {"JPEG", 344, {{90, 30}}},
        {"JPEG", 345, {{90, 30}}},
        {"JPEG", 312, {{1042, 426}}},
        {"JPEG", 331, {{16, 16}}},
        {"JPEG", 332, {{16, 16}}},
        {"JPEG", 333, {{16, 16}}},
        {"JPEG", 334, {{16, 16}}},
        {"JPEG", 337, {{16, 16}}},
        {"JPEG", 338, {{16, 16}}},
        {"JPEG", 339, {{16, 16}}},
        {"JPEG", 340, {{16, 16}}},
        {"JPEG", 341, {{16, 16}}},
        {"JPEG", 342, {{16, 16}}},
        {"BITMAP", 101, {{270, 26}}},
        {"BITMAP", 102, {{270, 26}}},
        {"BITMAP", 120, {{12, 11}}},
        {"BITMAP", 200, {{24, 22}}},
        {"BITMAP", 156, {{84, 84}}},
        {"BITMAP", 304, {{168, 168}}},
        {"BITMAP", 306, {{84, 84}}},
        {"BITMAP", 305, {{168, 168}}},
        {"BITMAP", 217, {{192, 192}}},
        {"BITMAP", 179, {{726, 450}}},
        {"BITMAP", 303, {{1452, 900}}},
        {"ICON", 308, {{6, 6}, {12, 12}}},
        {"ICON", 185, {{48, 20}, {96, 40}}},
        {"ICON", 186, {{48, 20}, {96, 40}}},
        {"ICON", 184, {{48, 20}, {96, 40}}},
        {"ICON", 164, {{48, 20}, {96, 40}}},
        {"ICON", 187, {{48, 20}, {96, 40}}},
        {"ICON", 225, {{48, 20}, {96, 40}}},
        {"ICON", 234, {{48, 20}, {96, 40}}},
        {"ICON", 236, {{16, 16}, {32, 32}}},
        {"ICON", 169, {{12, 12}, {24, 24}}},
        {"ICON", 5, {{12, 12}, {24, 24}}},
        {"ICON", 235, {{12, 12}, {24, 24}}},
        {"ICON", 188, {{12, 12}, {24, 24}}},
        {"ICON", 189, {{30, 30}, {60, 60}}},
        {"CURSOR", 107, {{32, 32}, {64, 64}}},
        {"CURSOR", 109, {{32, 32}, {64, 64}}},
    };
    return table;
}

std::uint32_t le16(Bytes b, std::size_t at) {
    return b[at] | b[at + 1] << 8;
}
std::uint32_t le32(Bytes b, std::size_t at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}
std::int32_t les32(Bytes b, std::size_t at) {
    return static_cast<std::int32_t>(le32(b, at));
}

struct JpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void jpegErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

// Decodes every scan line; "" on success, else what went wrong.
std::string checkJpeg(Bytes bytes, Size expected) {
    jpeg_decompress_struct cinfo;
    JpegErrors errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = &jpegErrorExit;
    errors.pub.emit_message = [](j_common_ptr, int) {};  // a warning is no failure here
    if (setjmp(errors.jump) != 0) {
        char message[JMSG_LENGTH_MAX];
        errors.pub.format_message(reinterpret_cast<j_common_ptr>(&cinfo), message);
        jpeg_destroy_decompress(&cinfo);
        return std::string("libjpeg: ") + message;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    std::string problem;
    if (cinfo.progressive_mode || cinfo.arith_code) problem = "not a baseline JPEG";
    if (cinfo.num_components != 3) problem = "not a colour JPEG";
    jpeg_start_decompress(&cinfo);
    std::vector<JSAMPLE> row(cinfo.output_width * cinfo.output_components);
    JSAMPROW rows[] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
    const Size got{int(cinfo.output_width), int(cinfo.output_height)};
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (got != expected) problem = "size differs";
    return problem;
}

// A bitmap file: its header, 24 bits, no compression, bottom-up, all rows there.
std::string checkBitmap(Bytes b, Size expected) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return "no bitmap file header";
    if (le32(b, 2) != b.size()) return "file size field wrong";
    if (le32(b, 14) != 40) return "not a BITMAPINFOHEADER";
    const int width = les32(b, 18), height = les32(b, 22);
    if (le16(b, 26) != 1 || le16(b, 28) != 24 || le32(b, 30) != 0) return "not plain 24-bit";
    if (height <= 0) return "not bottom-up";
    const std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    if (le32(b, 10) + stride * height > b.size()) return "pixels cut short";
    if (Size{width, height} != expected) return "size differs";
    return "";
}

// An icon or cursor file: one 32-bit image of each expected size, each with
// its XOR and AND bitmaps inside the file; a cursor's hot spot on its image.
std::string checkIconFile(Bytes b, std::uint32_t kind, const std::vector<Size>& expected) {
    if (b.size() < 6 || le16(b, 0) != 0 || le16(b, 2) != kind) return "no icon directory";
    if (le16(b, 4) != expected.size()) return "image count differs";
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::size_t entry = 6 + 16 * i;
        if (entry + 16 > b.size()) return "directory cut short";
        const auto [width, height] = expected[i];
        if (b[entry] != width % 256 || b[entry + 1] != height % 256) return "entry size differs";
        if (kind == 2 && (int(le16(b, entry + 4)) >= width || int(le16(b, entry + 6)) >= height))
            return "hot spot outside the cursor";
        const std::size_t size = le32(b, entry + 8), at = le32(b, entry + 12);
        if (at + size > b.size() || size < 40) return "image outside the file";
        if (le32(b, at) != 40 || les32(b, at + 4) != width || les32(b, at + 8) != 2 * height ||
            le16(b, at + 14) != 32)
            return "image header differs";
        const std::size_t maskStride = (std::size_t(width) + 31) / 32 * 4;
        if (40 + std::size_t(width) * height * 4 + maskStride * height > size)
            return "image bitmaps cut short";
    }
    return "";
}

TEST(Artwork, EveryImageTheDialogsDrawIsEmbeddedWellFormedAndSized) {
    for (const Expected& resource : expectedArtwork()) {
        SCOPED_TRACE(std::string(resource.type) + " " + std::to_string(resource.id));
        const Bytes bytes = mirel::findResource(resource.type, resource.id);
        ASSERT_FALSE(bytes.empty()) << "not embedded";
        const std::string type = resource.type;
        std::string fault;
        if (type == "JPEG") fault = checkJpeg(bytes, resource.sizes[0]);
        if (type == "BITMAP") fault = checkBitmap(bytes, resource.sizes[0]);
        if (type == "ICON") fault = checkIconFile(bytes, 1, resource.sizes);
        if (type == "CURSOR") fault = checkIconFile(bytes, 2, resource.sizes);
        EXPECT_EQ(fault, "");
    }
}

}  // namespace
