// Pictures and files for the image file tests: deterministic test pictures,
// a minimal valid ICC profile, and files written straight through the codec
// libraries in kinds the host itself never writes (palette, CMYK, 1-bit).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "apps/mirel/image_file.h"
#include "tests/support/host_program.h"  // readBytes, writeBytes

namespace mirel::testing {

// A gradient with hashed noise, the same for the same arguments. Covers the
// whole value range of the depth, ends included; float pictures also hold a
// few values outside 0..1, which float files must keep.
host_app::Picture makeTestPicture(std::int32_t width, std::int32_t height, int channels, int bits);

// A 132-byte ICC profile with a valid header and no tags, for the given data
// colour space ("GRAY" or "RGB "). The bytes at 100..127 carry a marker so
// that different profiles can be told apart.
std::vector<std::uint8_t> makeIccProfile(const char colourSpace[4], std::uint8_t marker);

// Largest difference between two pictures of the same layout, in the
// pictures' own value scale; -1 when the layouts differ.
double maxDifference(const host_app::Picture& a, const host_app::Picture& b);

// A 4 x 2 palette PNG of the given bit depth (1, 2, 4 or 8) whose entries
// 0..3 are red, green, blue, white; entry 1 is half transparent when withTrns.
// Pixel (x, y) uses entry (x + y) % 4.
void writePalettePng(const std::string& path, int bitDepth, bool withTrns);
// A 1-bit grey PNG, 9 x 2 pixels, alternating black and white.
void writeOneBitGreyPng(const std::string& path);
// A PNG whose header claims width x height RGB pixels followed by almost no data.
std::vector<std::uint8_t> lyingPngHeader(std::uint32_t width, std::uint32_t height);
// The signature and header of an 8 x 6 PNG, then a chunk of `type` whose length
// claims claimedBytes, followed by 16 bytes and the end of the file.
std::vector<std::uint8_t> lyingChunkPng(const char type[4], std::uint32_t claimedBytes);
// A 16 x 16 grey TIFF of about 200 bytes whose one tile is tileSide pixels square and
// says it stores claimedBytes.
std::vector<std::uint8_t> lyingTileTiff(std::uint32_t tileSide, std::uint32_t claimedBytes);

// A 16-bit grey PNG holding values (file scale, row by row), and its values
// read back without any conversion.
void writeGrey16Png(const std::string& path, std::uint32_t width, std::uint32_t height,
                    const std::vector<std::uint16_t>& values);
std::vector<std::uint16_t> readGrey16Png(const std::string& path);
// An Adam7-interlaced PNG of an 8-bit RGB picture.
void writeInterlacedPng(const std::string& path, const host_app::Picture& picture);

// An 8 x 8 CMYK JPEG and TIFF.
void writeCmykJpeg(const std::string& path);
void writeCmykTiff(const std::string& path);
// A 16 x 16 grey JPEG with arithmetic coding, sequential or progressive.
void writeArithmeticGreyJpeg(const std::string& path, bool progressive);
// A 10 x 3 1-bit TIFF (min-is-white when minIsWhite), pixel on when x is even.
void writeOneBitTiff(const std::string& path, bool minIsWhite);
// A 2 x 1 8-bit RGBA TIFF with associated alpha: (100, 50, 0, 128) and
// (0, 0, 0, 0).
void writePremultipliedTiff(const std::string& path);
// An uncompressed 8-bit RGB TIFF of one strip that claims width x height
// pixels but stores only storedBytes of them.
void writeShortStripTiff(const std::string& path, std::uint32_t width, std::uint32_t height,
                         std::size_t storedBytes);
// A JPEG-compressed YCbCr TIFF, 40 x 33 in strips of 16 rows, of the colour
// (200, 100, 5 * x).
void writeJpegTiff(const std::string& path);
// A tiled, planar 16-bit RGB TIFF of the picture (which must be 16-bit RGB).
void writeTiledPlanarTiff(const std::string& path, const host_app::Picture& picture);

}  // namespace mirel::testing
