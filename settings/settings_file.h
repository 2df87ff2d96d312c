// The settings file: one binary format for settings files, memory dots, the cached
// settings and undo steps. Big-endian 4-byte items in a fixed order; each version since
// 1 added items at the end, and a version-45 file has 91 of them. Files chosen by the
// user and memory dots carry a thumbnail as an embedded JPEG image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "image/thumbnails.h"
#include "image/tiled_image.h"
#include "platform/os/os.h"
#include "settings/settings_record.h"

namespace mirel {

constexpr int32_t kOldestSettingsVersion = 1;
constexpr std::size_t kSettingsItemCount = 91;
constexpr std::size_t kSettingsItemBytes = 4;
constexpr std::size_t kSettingsFileBytesWithoutThumbnail = kSettingsItemCount * kSettingsItemBytes;

// Thumbnail blocks: sides above this are read as this; JPEG data is read into a buffer of
// kJpegThumbnailBufferBytes, and a block announcing more is skipped undecoded.
constexpr int32_t kMaxThumbnailBlockSide = 128;
constexpr std::size_t kJpegThumbnailBufferBytes = 49152;
// The side of the thumbnail image and of the JPEG the writer stores.
constexpr int32_t kThumbnailSide = image::kThumbnailImageSide;

enum class SettingsReadMode {
    Load,           // every item into the record, the thumbnail into the thumbnail image
    ThumbnailOnly,  // only the thumbnail; the record is left alone
};

struct SettingsReadResult {
    // A version from 1 to 45 was read. Otherwise nothing at all was taken from the file.
    bool versionRead = false;
    int32_t version = 0;
    // Every item of that version was present; false for a file that ends early (or holds
    // a negative JPEG byte count), whose missing items kept their earlier values.
    bool complete = false;
    bool thumbnailLoaded = false;
};

// The bytes of a settings file for `record`. Syncs the record's mirrors and stamps it
// with version 45 first, as every write of the record does. Item 72 holds `thumbnail`
// as JPEG when it is given and has tiles, else a single 0.
std::vector<std::uint8_t> encodeSettings(SettingsRecord& record,
                                         const image::TiledImage* thumbnail);

// writeSettings: the whole file from its first byte, and the file cut after the last
// item so that nothing of a longer earlier content stays behind. False when a write fails.
bool writeSettings(os::File& file, SettingsRecord& record, const image::TiledImage* thumbnail);

// The filter's own files in the temporary folder (cached settings, memory dots, undo):
// written beside their place and renamed over it once complete, so that a failed write
// (a full temporary folder) keeps the old content.
bool writeSettingsFile(const std::string& path, SettingsRecord& record,
                       const image::TiledImage* thumbnail);

// A file the user chose: written beside its place and renamed over it only once complete,
// so a failed write never costs the file that was there.
bool saveSettingsFile(const std::string& path, SettingsRecord& record,
                      const image::TiledImage* thumbnail);

// readSettings: reads from the file's current position to its end and closes it. In mode
// Load every item goes into `record`, then the upgrade rules of the file's version and
// the upgrade after reading run; in mode ThumbnailOnly the items are read into a scratch
// copy. A thumbnail block is decoded into `thumbnail` when that is given and has tiles.
SettingsReadResult readSettings(os::File& file, SettingsReadMode mode, SettingsRecord& record,
                                image::TiledImage* thumbnail);
SettingsReadResult readSettingsBytes(std::span<const std::uint8_t> bytes, SettingsReadMode mode,
                                     SettingsRecord& record, image::TiledImage* thumbnail);
// Opens an existing file; a missing one reads as nothing (versionRead false).
SettingsReadResult readSettingsFile(const std::string& path, SettingsReadMode mode,
                                    SettingsRecord& record, image::TiledImage* thumbnail);

// Load of a settings file: the defaults first, then the file over them. When the file
// cannot be opened the defaults stay.
SettingsReadResult loadSettingsFile(const std::string& path, SettingsRecord& record,
                                    image::TiledImage* thumbnail);

// Reading a file's thumbnail for display (file dialogs, memory dots): a thumbnail-only
// read into `thumbnail`, then a copy of it at 88 x 88. Null when the file holds none.
constexpr int32_t kDisplayThumbnailSide = 88;
std::unique_ptr<image::TiledImage> readThumbnailForDisplay(const std::string& path,
                                                           image::TiledImage& thumbnail);

// The settings name offered by Save: the name cut at its last ".".
std::string suggestedSettingsFileName(const SettingsRecord& record);

}  // namespace mirel
