// The host program's pictures in memory and on disk: PNG, JPEG and TIFF read
// into one interleaved layout in the plug-in interface's value scales, and back.
// A picture in memory is also the store the host filters.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "apps/host/picture_store.h"

namespace mirel::host_app {

// Full-scale value of a 16-bit sample as the plug-in interface sees it.
using hostkit::kInterface16Max;
// Full-scale value of a 16-bit sample in a file.
inline constexpr std::uint32_t kFile16Max = 65535;

// Limits on what a file may ask us to allocate. 2^31 pixels is far beyond any
// photograph yet keeps every row and pixel index inside 64-bit arithmetic with
// room to spare; a side of 2^24 covers panoramas while stopping headers that
// claim absurd strips such as 1 x 4 billion.
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{1} << 31;
inline constexpr std::int32_t kMaxPictureSide = 1 << 24;

// Lowers the number of pixels a read or an allocation accepts, for this process (never
// above kMaxPicturePixels; 0 or less restores it). The picture fuzz target sets 4
// megapixels: a JPEG of a few hundred bytes may rightly claim 100 megapixels of one
// colour, and decoding it in the instrumented build costs 3 s a run.
void setPicturePixelLimit(std::int64_t pixels);

inline constexpr int kJpegQuality = 95;

enum class PictureFormat { Unknown, Png, Jpeg, Tiff };

// What a photograph carries besides its pixels and its ICC profile, kept as the
// formats store it so that it goes to the output unchanged. Read upright: the EXIF
// orientation says 1 (top left), and so does an XMP packet that repeats it.
struct PictureMetadata {
    // EXIF as a TIFF structure ("II*\0" or "MM\0*" first): the main directory's
    // description tags with the EXIF, GPS and interoperability directories.
    std::vector<std::uint8_t> exif;
    std::string xmp;                 // the XMP packet
    std::vector<std::uint8_t> iptc;  // IPTC-IIM records
    bool empty() const { return exif.empty() && xmp.empty() && iptc.empty(); }
};

// One picture as the host keeps it: rows top-down, channels interleaved.
// channels: 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA.
// bitsPerChannel 8: uint8 0..255; 16: uint16 0..32768 (the interface's scale,
// not the file's 0..65535); 32: float, 0..1 nominal, other values kept.
struct Picture : hostkit::PictureStore {
    std::int32_t width = 0, height = 0;
    int channels = 0;
    int bitsPerChannel = 8;
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> iccProfile;
    PictureMetadata metadata;
    PictureFormat sourceFormat = PictureFormat::Unknown;  // the format it was read from

    // The host's view of it.
    hostkit::PictureShape shape() const override;
    void readPixels(std::int32_t x, std::int32_t y, std::int32_t count,
                    std::uint8_t* samples) const override;
    void writePixels(std::int32_t x, std::int32_t y, std::int32_t count,
                     const std::uint8_t* samples) override;
    std::span<const std::uint8_t> iccProfileBytes() const override { return iccProfile; }
};

// Layout arithmetic, all in 64 bits so that no product of a large picture wraps.
std::int64_t bytesPerSample(const Picture& picture);
std::int64_t pixelBytes(const Picture& picture);
std::int64_t rowBytes(const Picture& picture);
std::int64_t pictureBytes(const Picture& picture);
bool hasAlpha(const Picture& picture);
bool isGrey(const Picture& picture);

// True when channels and depth are one of the supported kinds.
bool isSupportedLayout(int channels, int bitsPerChannel);

// Checks size, layout and limits; on success sets the fields and allocates
// zeroed pixels. The ICC profile is left alone.
bool allocatePicture(Picture& picture, std::int64_t width, std::int64_t height, int channels,
                     int bitsPerChannel, std::string& error);

// True when the fields describe a supported layout and the pixel buffer holds
// exactly that many bytes; otherwise says what is wrong.
bool validatePicture(const Picture& picture, std::string& error);

// Sample access. Stored values are in the picture's own scale (0..255,
// 0..32768 or float); normalised values are divided by that full scale.
// Positions are not checked beyond debug assertions: callers iterate the
// picture's own bounds.
std::uint8_t* pixelAddress(Picture& picture, std::int32_t x, std::int32_t y);
const std::uint8_t* pixelAddress(const Picture& picture, std::int32_t x, std::int32_t y);
float sampleValue(const Picture& picture, std::int32_t x, std::int32_t y, int channel);
void setSampleValue(Picture& picture, std::int32_t x, std::int32_t y, int channel, float value);
float normalisedSample(const Picture& picture, std::int32_t x, std::int32_t y, int channel);
float fullScale(const Picture& picture);

// 16-bit scale mapping between files (0..65535) and the interface
// (0..32768), rounded to nearest. interface -> file -> interface is exact;
// file -> interface -> file moves a value by at most one step.
std::uint16_t fileToInterface16(std::uint16_t fileValue);
std::uint16_t interfaceToFile16(std::uint16_t interfaceValue);

// Reads a PNG, JPEG or TIFF picture, recognised by its first bytes whatever
// the file is called; "-" reads it from standard input. Only regular files are
// read (a named pipe or a device is refused at once rather than waited on). The
// picture comes upright: an EXIF orientation other than top-left is applied to
// the pixels. On failure returns false with one line in error and leaves
// picture empty.
bool readPicture(const std::string& path, Picture& picture, std::string& error);

// The format of a file name's extension (.png, .jpg, .jpeg, .tif, .tiff, any
// case), of a word such as "png" or "tif", and the extension a format writes.
PictureFormat formatOfName(const std::string& path);
PictureFormat formatOfWord(const std::string& word);
const char* extensionOf(PictureFormat format);

// Says why `format` cannot hold `picture` (its depth, transparency or size), so
// that a run finds out before any work.
bool formatHolds(PictureFormat format, const Picture& picture, std::string& error);

// Encodes picture in `format` into the open file `fd` (which stays open),
// with its profile and metadata where the format holds them.
bool encodePicture(int fd, PictureFormat format, const Picture& picture, std::string& error);

// Writes picture in the format named by the extension. The file appears
// complete or not at all: the data goes to a temporary file beside it that is
// renamed over the target.
bool writePicture(const std::string& path, const Picture& picture, std::string& error);

}  // namespace mirel::host_app
