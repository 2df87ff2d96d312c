// What the PNG, JPEG and TIFF readers and writers share with image_file.cpp:
// the codec entry points and the bounded growth of a picture while it decodes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "apps/mirel/image_file.h"

namespace mirel::host_app::codecs {

// Each reader gets the open file positioned at its start and the file's size,
// fills picture and its metadata as stored and returns true, or returns false
// with a reason (no path). `orientation` is the stored EXIF or TIFF orientation
// (1 to 8; 1 when there is none).
bool readPng(std::FILE* file, std::int64_t fileSize, Picture& picture, int& orientation,
             std::string& error);
bool readJpeg(std::FILE* file, std::int64_t fileSize, Picture& picture, int& orientation,
              std::string& error);
// The TIFF reader takes a descriptor (read from offset 0, whatever its position)
// and the file's name for libtiff's messages.
bool readTiff(int fd, const std::string& name, std::int64_t fileSize, Picture& picture,
              int& orientation, std::string& error);

// The largest sides the writers take, checked before a run.
bool pngHolds(const Picture& picture, std::string& error);
bool jpegHolds(const Picture& picture, std::string& error);

// Each writer gets a picture that validatePicture accepted and that its
// format can hold. They write and flush but leave closing to the caller.
bool writePng(std::FILE* file, const Picture& picture, std::string& error);
bool writeJpeg(std::FILE* file, const Picture& picture, std::string& error);
bool writeTiff(int fd, const std::string& name, const Picture& picture, std::string& error);

// ---- Metadata in TIFF structures (EXIF blocks and TIFF files) ------------------

// One directory entry; `value` holds count elements of the type in the byte order of
// the structure it came from. A `field` entry keeps the raw 4-byte value field of a
// file being extended (its offset stays valid there).
struct TiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::vector<std::uint8_t> value;
    bool field = false;
};

// The description tags of a first directory (camera, date, author, resolution,
// orientation; no pixel layout) and the EXIF, GPS and interoperability directories.
struct ExifDirectories {
    bool bigEndian = false;
    std::vector<TiffEntry> main, exif, gps, interop;
    bool empty() const { return main.empty() && exif.empty() && gps.empty(); }
};

// Reads `size` bytes at `offset`; false when they are not there.
using ReadAt = std::function<bool(std::uint64_t offset, std::uint8_t* out, std::size_t size)>;

// Reads the directories of a classic TIFF structure of `length` bytes. Every count,
// offset and size is checked; false (and nothing) for a damaged or BigTIFF structure.
bool readExifDirectories(const ReadAt& read, std::uint64_t length, ExifDirectories& directories);
bool readExifDirectories(std::span<const std::uint8_t> bytes, ExifDirectories& directories);

// The orientation of the main directory, 1 to 8 (1 when missing or invalid).
int exifOrientation(const ExifDirectories& directories);
// Says "top left" (where it said anything) and the picture's upright size.
void makeExifUpright(ExifDirectories& directories, std::int32_t width, std::int32_t height);

// The directories as a TIFF structure of their own byte order (no thumbnail), as an
// EXIF block of a JPEG or PNG holds it.
std::vector<std::uint8_t> exifBytes(const ExifDirectories& directories);

// Adds the directories to a classic TIFF file written in `fd`: their data go to its
// end with a new first directory that keeps every entry of the old one; a BigTIFF
// file is left as it is. False with a reason when the file cannot be extended.
bool appendExifToTiff(int fd, const ExifDirectories& directories, std::string& error);

// Photoshop image resources (a JPEG's APP13, a TIFF tag): the IPTC records (resource
// 0x0404) they hold, and a block holding only those.
std::vector<std::uint8_t> iptcFromResources(std::span<const std::uint8_t> resources);
std::vector<std::uint8_t> resourcesWithIptc(std::span<const std::uint8_t> iptc);

// ImageMagick's "Raw profile type ..." PNG text: a name line, the length, then hex.
std::vector<std::uint8_t> decodeRawProfile(const std::string& text);
std::string encodeRawProfile(const std::string& name, std::span<const std::uint8_t> bytes);

// Sets the orientation an XMP packet repeats ("tiff:Orientation") to 1.
void makeXmpUpright(std::string& xmp);

// Sets the picture's size and layout after checking them against the limits,
// without allocating all of it: a header can claim far more than the file
// holds, so the pixel buffer grows with the rows that actually decode
// (ensureRows), starting from a reservation bounded by the file's size.
bool beginPicture(Picture& picture, std::int64_t width, std::int64_t height, int channels,
                  int bitsPerChannel, std::int64_t fileSize, std::string& error);

// Makes rows 0..rows-1 addressable (zero-filled when new).
bool ensureRows(Picture& picture, std::int64_t rows, std::string& error);

// Unaligned-safe access to 16-bit and float samples inside byte buffers.
inline std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store16(std::uint8_t* p, std::uint16_t v) {
    std::memcpy(p, &v, sizeof v);
}
inline float loadFloat(const std::uint8_t* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void storeFloat(std::uint8_t* p, float v) {
    std::memcpy(p, &v, sizeof v);
}

// Maps count native-order 16-bit samples between the file and interface scales.
void mapFileToInterface16(std::uint8_t* samples, std::int64_t count);
void mapInterfaceToFile16(const std::uint8_t* in, std::uint8_t* out, std::int64_t count);

}  // namespace mirel::host_app::codecs
