// Helpers of the settings-file tests: records with every field set, files of older
// versions cut from a version-45 file, big-endian item access and simple pictures.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/tiled_image.h"
#include "settings/settings_record.h"
#include "tests/support/host_program.h"

namespace mirel::testing {

// The defaults as a prepared filter has them (zero-filled memory, then the full reset).
SettingsRecord defaultRecord();
// A record in which every stored field holds a value of its own, none of them a default.
SettingsRecord distinctRecord();

// The first version in which item `index` (1-based, 1..91) is present.
int itemFromVersion(int index);
// Items a file of version v holds.
int itemCountOfVersion(int version);
// A version-v file made from a version-45 file without thumbnail: the items v knows,
// with the version item replaced.
std::vector<std::uint8_t> asVersion(const std::vector<std::uint8_t>& file45, int version);

std::int32_t itemAt(const std::vector<std::uint8_t>& file, int index);
void setItem(std::vector<std::uint8_t>& file, int index, std::int32_t value);
void appendItem(std::vector<std::uint8_t>& file, std::int32_t value);
void appendFloat(std::vector<std::uint8_t>& file, float value);

// Equal records, byte for byte (the padding fields are zero in both).
bool sameRecord(const SettingsRecord& a, const SettingsRecord& b);

// An Rgba8 image filled with one colour (pyramid built).
std::unique_ptr<image::TiledImage> solidImage(int width, int height, std::uint32_t r,
                                              std::uint32_t g, std::uint32_t b);
// The red, green and blue bytes of an Rgba8 pixel at level 0.
struct Rgb8 {
    int r = 0, g = 0, b = 0;
};
Rgb8 rgbAt(const image::TiledImage& image, int x, int y);

}  // namespace mirel::testing
