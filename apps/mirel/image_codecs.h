// What the PNG, JPEG and TIFF readers and writers share with image_file.cpp:
// the codec entry points and the bounded growth of a picture while it decodes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "apps/mirel/image_file.h"

namespace mirel::host_app::codecs {

// Each reader gets the open file positioned at its start and the file's size,
// fills picture and returns true, or returns false with a reason (no path).
bool readPng(std::FILE* file, std::int64_t fileSize, Picture& picture, std::string& error);
bool readJpeg(std::FILE* file, std::int64_t fileSize, Picture& picture, std::string& error);
bool readTiff(const std::string& path, std::int64_t fileSize, Picture& picture, std::string& error);

// Each writer gets a picture that validatePicture accepted and that its
// format can hold. They write and flush but leave closing to the caller.
bool writePng(std::FILE* file, const Picture& picture, std::string& error);
bool writeJpeg(std::FILE* file, const Picture& picture, std::string& error);
bool writeTiff(int fd, const std::string& name, const Picture& picture, std::string& error);

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
