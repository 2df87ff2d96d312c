// libFuzzer target for the thumbnail blocks of settings files: the decode of the JPEG
// (item 72) and raw (item 66) thumbnails and the pyramid built over them. The first byte
// picks the block; the rest follows a fixed, valid start of a version-45 file (JPEG) or a
// version-23 file (raw), so that every mutation lands in the block or the items after it.
// Checks: the items read agree with a read without a thumbnail image; and, for a sample
// of the inputs, a thumbnail-only read leaves the record alone and loads the same
// thumbnail as a full read, and a thumbnail that was read can be written and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "image/thumbnails.h"
#include "settings/settings_file.h"

namespace {

// Items before each block in a file of the version that has it.
constexpr std::size_t kItemsBeforeJpegBlock = 71;
constexpr std::size_t kItemsBeforeRawBlock = 65;
constexpr std::int32_t kRawThumbnailVersion = 23;

mirel::SettingsRecord defaults() {
    mirel::SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    mirel::fullReset(record);
    return record;
}

std::vector<std::uint8_t> fileStart(std::size_t items, std::int32_t version) {
    mirel::SettingsRecord record = defaults();
    std::vector<std::uint8_t> bytes = mirel::encodeSettings(record, nullptr);
    bytes.resize(items * mirel::kSettingsItemBytes);
    const auto v = static_cast<std::uint32_t>(version);
    bytes[0] = static_cast<std::uint8_t>(v >> 24);
    bytes[1] = static_cast<std::uint8_t>(v >> 16);
    bytes[2] = static_cast<std::uint8_t>(v >> 8);
    bytes[3] = static_cast<std::uint8_t>(v);
    return bytes;
}

std::unique_ptr<mirel::image::TiledImage> newThumbnail() {
    auto thumbnail = mirel::image::createThumbnailImage();
    if (!thumbnail) std::abort();
    return thumbnail;
}

bool sameLevel0(const mirel::image::TiledImage& a, const mirel::image::TiledImage& b) {
    for (int y = 0; y < mirel::image::kThumbnailImageSide; ++y)
        for (int x = 0; x < mirel::image::kThumbnailImageSide; ++x)
            if (mirel::image::readRgba8(a, x, y, 0) != mirel::image::readRgba8(b, x, y, 0))
                return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const mirel::SettingsRecord initial = defaults();
    static const std::vector<std::uint8_t> jpegStart =
        fileStart(kItemsBeforeJpegBlock, mirel::kCurrentSettingsVersion);
    static const std::vector<std::uint8_t> rawStart =
        fileStart(kItemsBeforeRawBlock, kRawThumbnailVersion);
    static auto peeked = newThumbnail();
    static auto loadedThumbnail = newThumbnail();

    std::vector<std::uint8_t> file = (data[0] & 1) != 0 ? rawStart : jpegStart;
    file.insert(file.end(), data + 1, data + size);
    mirel::image::resetThumbnail(*loadedThumbnail);

    // With and without a thumbnail image, the items read are the same.
    mirel::SettingsRecord withThumbnail = initial;
    const mirel::SettingsReadResult load = mirel::readSettingsBytes(
        file, mirel::SettingsReadMode::Load, withThumbnail, loadedThumbnail.get());
    mirel::SettingsRecord without = initial;
    const mirel::SettingsReadResult plain =
        mirel::readSettingsBytes(file, mirel::SettingsReadMode::Load, without, nullptr);
    if (load.versionRead != plain.versionRead || load.complete != plain.complete ||
        plain.thumbnailLoaded || std::memcmp(&withThumbnail, &without, sizeof without) != 0)
        std::abort();

    // Decoding the thumbnail is nearly all of the work, so the checks that decode it again
    // run for one input in four (by size, so that an input always gets the same checks).
    if (size % 4 != 0) return 0;

    // Thumbnail only: the record stays as it was, and the thumbnail is the one Load read.
    mirel::image::resetThumbnail(*peeked);
    mirel::SettingsRecord record = initial;
    const mirel::SettingsReadResult peek = mirel::readSettingsBytes(
        file, mirel::SettingsReadMode::ThumbnailOnly, record, peeked.get());
    if (std::memcmp(&record, &initial, sizeof record) != 0) std::abort();
    if (peek.thumbnailLoaded != load.thumbnailLoaded || peek.complete != load.complete)
        std::abort();
    if (!sameLevel0(*peeked, *loadedThumbnail)) std::abort();

    // A thumbnail that was read is written again, and reads back.
    if (load.thumbnailLoaded) {
        mirel::SettingsRecord toWrite = withThumbnail;
        const std::vector<std::uint8_t> written =
            mirel::encodeSettings(toWrite, loadedThumbnail.get());
        if (written.size() <= mirel::kSettingsFileBytesWithoutThumbnail) std::abort();
        mirel::SettingsRecord again = initial;
        const mirel::SettingsReadResult back =
            mirel::readSettingsBytes(written, mirel::SettingsReadMode::Load, again, peeked.get());
        if (!back.versionRead || !back.complete || !back.thumbnailLoaded) std::abort();
    }
    return 0;
}
