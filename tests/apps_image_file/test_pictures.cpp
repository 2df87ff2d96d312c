// Test pictures and hand-made files for the image file tests.
#include "tests/apps_image_file/test_pictures.h"

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace mirel::testing {

using host_app::Picture;

namespace {

std::uint32_t hash(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
    bytes[at] = static_cast<std::uint8_t>(v >> 24);
    bytes[at + 1] = static_cast<std::uint8_t>(v >> 16);
    bytes[at + 2] = static_cast<std::uint8_t>(v >> 8);
    bytes[at + 3] = static_cast<std::uint8_t>(v);
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t length) {
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void appendChunk(std::vector<std::uint8_t>& png, const char type[4],
                 const std::vector<std::uint8_t>& data) {
    const std::size_t start = png.size();
    png.resize(start + 8);
    put32(png, start, static_cast<std::uint32_t>(data.size()));
    std::memcpy(png.data() + start + 4, type, 4);
    png.insert(png.end(), data.begin(), data.end());
    const std::uint32_t crc = crc32(png.data() + start + 4, data.size() + 4);
    png.resize(png.size() + 4);
    put32(png, png.size() - 4, crc);
}

// Test files are valid by construction: a libpng error here is a broken test.
void writePng(const std::string& path, std::uint32_t width, std::uint32_t height, int depth,
              int colourType, const std::vector<std::vector<std::uint8_t>>& rows,
              const std::vector<png_color>& palette, const std::vector<png_byte>& trns,
              bool interlaced = false) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot create " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) != 0) {
        std::abort();
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, depth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) {
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    if (!trns.empty()) {
        png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
    }
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (const auto& row : rows) pointers.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

std::vector<std::uint8_t> packRow(const std::vector<int>& values, int depth) {
    std::vector<std::uint8_t> row((values.size() * depth + 7) / 8, 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t bit = i * depth;
        row[bit / 8] |= static_cast<std::uint8_t>(values[i] << (8 - depth - bit % 8));
    }
    return row;
}

struct TiffFile {
    TIFF* tif;
    explicit TiffFile(const std::string& path) : tif(TIFFOpen(path.c_str(), "w")) {
        if (tif == nullptr) throw std::runtime_error("cannot create " + path);
    }
    ~TiffFile() { TIFFClose(tif); }
};

}  // namespace

Picture makeTestPicture(std::int32_t width, std::int32_t height, int channels, int bits) {
    Picture picture;
    std::string error;
    if (!host_app::allocatePicture(picture, width, height, channels, bits, error)) {
        throw std::runtime_error(error);
    }
    const float full = host_app::fullScale(picture);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const float ramp = static_cast<float>(x + y + 7 * c) /
                                   static_cast<float>(width + height + 7 * channels);
                const std::uint32_t h =
                    hash(static_cast<std::uint32_t>((y * width + x) * 4 + c) * 2654435761u);
                const float noise = (static_cast<float>(h % 2001) / 1000.0f - 1.0f) * 0.05f;
                float v = std::clamp(ramp + noise, 0.0f, 1.0f);
                if (bits == 32) {
                    v = ramp + noise;  // floats keep values a little outside 0..1
                    host_app::setSampleValue(picture, x, y, c, v);
                } else {
                    // Every value of the scale appears, not only multiples of
                    // the step of a coarse gradient.
                    const float exact = std::floor(v * full) + static_cast<float>(h % 2);
                    host_app::setSampleValue(picture, x, y, c, std::min(exact, full));
                }
            }
        }
    }
    // The ends of the scale.
    for (int c = 0; c < channels; ++c) {
        host_app::setSampleValue(picture, 0, 0, c, 0.0f);
        host_app::setSampleValue(picture, width - 1, height - 1, c, full);
    }
    return picture;
}

std::vector<std::uint8_t> makeIccProfile(const char colourSpace[4], std::uint8_t marker) {
    std::vector<std::uint8_t> profile(132, 0);
    put32(profile, 0, 132);                       // size
    std::memcpy(profile.data() + 4, "none", 4);   // preferred CMM
    put32(profile, 8, 0x04300000);                // version 4.3
    std::memcpy(profile.data() + 12, "mntr", 4);  // display class
    std::memcpy(profile.data() + 16, colourSpace, 4);
    std::memcpy(profile.data() + 20, "XYZ ", 4);  // connection space
    std::memcpy(profile.data() + 36, "acsp", 4);
    put32(profile, 68, 0x0000f6d6);  // D50 illuminant
    put32(profile, 72, 0x00010000);
    put32(profile, 76, 0x0000d32d);
    for (std::size_t i = 100; i < 128; ++i) profile[i] = static_cast<std::uint8_t>(marker + i);
    put32(profile, 128, 0);  // no tags
    return profile;
}

double maxDifference(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels ||
        a.bitsPerChannel != b.bitsPerChannel) {
        return -1;
    }
    double worst = 0;
    for (std::int32_t y = 0; y < a.height; ++y) {
        for (std::int32_t x = 0; x < a.width; ++x) {
            for (int c = 0; c < a.channels; ++c) {
                worst = std::max(worst,
                                 std::fabs(static_cast<double>(host_app::sampleValue(a, x, y, c)) -
                                           host_app::sampleValue(b, x, y, c)));
            }
        }
    }
    return worst;
}

void writePalettePng(const std::string& path, int bitDepth, bool withTrns) {
    const std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    std::vector<std::vector<std::uint8_t>> rows;
    for (int y = 0; y < 2; ++y) {
        std::vector<int> indices;
        for (int x = 0; x < 4; ++x) indices.push_back((x + y) % 4);
        rows.push_back(packRow(indices, bitDepth));
    }
    std::vector<png_byte> trns;
    if (withTrns) trns = {255, 128};
    writePng(path, 4, 2, bitDepth, PNG_COLOR_TYPE_PALETTE, rows, palette, trns);
}

void writeOneBitGreyPng(const std::string& path) {
    std::vector<std::vector<std::uint8_t>> rows;
    for (int y = 0; y < 2; ++y) {
        std::vector<int> bits;
        for (int x = 0; x < 9; ++x) bits.push_back((x + y) % 2);
        rows.push_back(packRow(bits, 1));
    }
    writePng(path, 9, 2, 1, PNG_COLOR_TYPE_GRAY, rows, {}, {});
}

std::vector<std::uint8_t> lyingPngHeader(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<std::uint8_t> ihdr(13, 0);
    put32(ihdr, 0, width);
    put32(ihdr, 4, height);
    ihdr[8] = 8;  // depth
    ihdr[9] = 2;  // RGB
    appendChunk(png, "IHDR", ihdr);
    // A zlib stream header and a few bytes: far too little for the claim.
    appendChunk(png, "IDAT", {0x78, 0x9c, 0x63, 0x60, 0x00, 0x00});
    appendChunk(png, "IEND", {});
    return png;
}

std::vector<std::uint8_t> lyingChunkPng(const char type[4], std::uint32_t claimedBytes) {
    std::vector<std::uint8_t> png = lyingPngHeader(8, 6);
    png.resize(8 + 12 + 13);  // the signature and IHDR
    const std::size_t at = png.size();
    png.resize(at + 8 + 16, 0x55);
    put32(png, at, claimedBytes);
    std::copy(type, type + 4, png.begin() + static_cast<std::ptrdiff_t>(at) + 4);
    return png;
}

std::vector<std::uint8_t> lyingTileTiff(std::uint32_t tileSide, std::uint32_t claimedBytes) {
    // Little-endian classic TIFF: 16 x 16 8-bit grey in one tile, the directory at 8.
    std::vector<std::uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](std::uint32_t v) {
        tiff.push_back(static_cast<std::uint8_t>(v));
        tiff.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto putLE32 = [&](std::uint32_t v) {
        put16(v & 0xffff);
        put16(v >> 16);
    };
    const std::uint32_t directoryBytes = 2 + 10 * 12 + 4;
    const std::uint32_t entries[10][3] = {
        {256, 4, 16},
        {257, 4, 16},
        {258, 3, 8},
        {259, 3, 1},
        {262, 3, 1},
        {277, 3, 1},
        {322, 4, tileSide},
        {323, 4, tileSide},            // tile width and length
        {324, 4, 8 + directoryBytes},  // the tile's offset: the bytes below
        {325, 4, claimedBytes}};
    put16(10);
    for (const auto& e : entries) {
        put16(e[0]);
        put16(e[1]);
        putLE32(1);
        if (e[1] == 3) {
            put16(e[2]);
            put16(0);
        } else {
            putLE32(e[2]);
        }
    }
    putLE32(0);
    tiff.resize(tiff.size() + 64, 0);
    return tiff;
}

void writeGrey16Png(const std::string& path, std::uint32_t width, std::uint32_t height,
                    const std::vector<std::uint16_t>& values) {
    std::vector<std::vector<std::uint8_t>> rows;
    for (std::uint32_t y = 0; y < height; ++y) {
        std::vector<std::uint8_t> row;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint16_t v = values[y * width + x];
            row.push_back(static_cast<std::uint8_t>(v >> 8));  // PNG is big-endian
            row.push_back(static_cast<std::uint8_t>(v));
        }
        rows.push_back(row);
    }
    writePng(path, width, height, 16, PNG_COLOR_TYPE_GRAY, rows, {}, {});
}

std::vector<std::uint16_t> readGrey16Png(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw std::runtime_error("cannot open " + path);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) != 0) std::abort();
    png_init_io(png, file);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (png_get_bit_depth(png, info) != 16 ||
        png_get_color_type(png, info) != PNG_COLOR_TYPE_GRAY) {
        std::abort();
    }
    std::vector<std::uint16_t> values;
    std::vector<std::uint8_t> row(width * 2);
    for (png_uint_32 y = 0; y < height; ++y) {
        png_read_row(png, row.data(), nullptr);
        for (png_uint_32 x = 0; x < width; ++x) {
            values.push_back(static_cast<std::uint16_t>(row[2 * x] << 8 | row[2 * x + 1]));
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return values;
}

void writeInterlacedPng(const std::string& path, const Picture& picture) {
    std::vector<std::vector<std::uint8_t>> rows;
    const auto stride = static_cast<std::size_t>(host_app::rowBytes(picture));
    for (std::int32_t y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = host_app::pixelAddress(picture, 0, y);
        rows.emplace_back(row, row + stride);
    }
    writePng(path, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, rows, {}, {}, true);
}

void writeCmykJpeg(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot create " + path);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = 8;
    cinfo.image_height = 8;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(8 * 4, 77);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

void writeArithmeticGreyJpeg(const std::string& path, bool progressive) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot create " + path);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = 16;
    cinfo.image_height = 16;
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    cinfo.arith_code = TRUE;
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(16, 200);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

void writeCmykTiff(const std::string& path) {
    TiffFile file(path);
    TIFFSetField(file.tif, TIFFTAG_IMAGEWIDTH, 8u);
    TIFFSetField(file.tif, TIFFTAG_IMAGELENGTH, 8u);
    TIFFSetField(file.tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(file.tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(file.tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    TIFFSetField(file.tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    std::vector<std::uint8_t> row(8 * 4, 99);
    for (std::uint32_t y = 0; y < 8; ++y) TIFFWriteScanline(file.tif, row.data(), y, 0);
}

void writeOneBitTiff(const std::string& path, bool minIsWhite) {
    TiffFile file(path);
    TIFFSetField(file.tif, TIFFTAG_IMAGEWIDTH, 10u);
    TIFFSetField(file.tif, TIFFTAG_IMAGELENGTH, 3u);
    TIFFSetField(file.tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(file.tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(file.tif, TIFFTAG_PHOTOMETRIC,
                 minIsWhite ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(file.tif, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    std::vector<int> bits;
    for (int x = 0; x < 10; ++x) bits.push_back(x % 2 == 0 ? 1 : 0);
    std::vector<std::uint8_t> row = packRow(bits, 1);
    for (std::uint32_t y = 0; y < 3; ++y) TIFFWriteScanline(file.tif, row.data(), y, 0);
}

void writePremultipliedTiff(const std::string& path) {
    TiffFile file(path);
    TIFFSetField(file.tif, TIFFTAG_IMAGEWIDTH, 2u);
    TIFFSetField(file.tif, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(file.tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(file.tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(file.tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(file.tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const std::uint16_t kinds[1] = {EXTRASAMPLE_ASSOCALPHA};
    TIFFSetField(file.tif, TIFFTAG_EXTRASAMPLES, 1, kinds);
    std::uint8_t row[8] = {50, 25, 0, 128, 0, 0, 0, 0};
    TIFFWriteScanline(file.tif, row, 0, 0);
}

void writeShortStripTiff(const std::string& path, std::uint32_t width, std::uint32_t height,
                         std::size_t storedBytes) {
    TiffFile file(path);
    TIFFSetField(file.tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(file.tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(file.tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(file.tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(file.tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(file.tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(file.tif, TIFFTAG_ROWSPERSTRIP, height);
    std::vector<std::uint8_t> data(storedBytes, 200);
    TIFFWriteRawStrip(file.tif, 0, data.data(), static_cast<tmsize_t>(data.size()));
}

void writeJpegTiff(const std::string& path) {
    TiffFile file(path);
    TIFFSetField(file.tif, TIFFTAG_IMAGEWIDTH, 40u);
    TIFFSetField(file.tif, TIFFTAG_IMAGELENGTH, 33u);
    TIFFSetField(file.tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(file.tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(file.tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(file.tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(file.tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    TIFFSetField(file.tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(file.tif, TIFFTAG_ROWSPERSTRIP, 16u);
    std::vector<std::uint8_t> row(40 * 3);
    for (int x = 0; x < 40; ++x) {
        row[3 * x] = 200;
        row[3 * x + 1] = 100;
        row[3 * x + 2] = static_cast<std::uint8_t>(5 * x);
    }
    for (std::uint32_t y = 0; y < 33; ++y) TIFFWriteScanline(file.tif, row.data(), y, 0);
}

void writeTiledPlanarTiff(const std::string& path, const Picture& picture) {
    TiffFile file(path);
    TIFF* tif = file.tif;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16u);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16u);
    std::vector<std::uint16_t> tile(16 * 16);
    for (int plane = 0; plane < 3; ++plane) {
        for (std::int32_t ty = 0; ty < picture.height; ty += 16) {
            for (std::int32_t tx = 0; tx < picture.width; tx += 16) {
                std::fill(tile.begin(), tile.end(), 0);
                for (int y = 0; y < 16 && ty + y < picture.height; ++y) {
                    for (int x = 0; x < 16 && tx + x < picture.width; ++x) {
                        const auto v = static_cast<std::uint16_t>(
                            host_app::sampleValue(picture, tx + x, ty + y, plane));
                        tile[y * 16 + x] = host_app::interfaceToFile16(v);
                    }
                }
                TIFFWriteTile(tif, tile.data(), static_cast<std::uint32_t>(tx),
                              static_cast<std::uint32_t>(ty), 0, static_cast<std::uint16_t>(plane));
            }
        }
    }
}

}  // namespace mirel::testing
