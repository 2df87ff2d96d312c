// libFuzzer target for the settings-file reader: every input is read in both modes, with
// and without a thumbnail image, from memory and (now and then) from a real file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "image/thumbnails.h"
#include "platform/os/os.h"
#include "settings/settings_file.h"

namespace {

mirel::SettingsRecord defaults() {
    mirel::SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    mirel::fullReset(record);
    return record;
}

// The path of a scratch file of this process, made once.
const std::string& scratchPath() {
    static const std::string path = [] {
        const char* folder = std::getenv("TMPDIR");
        std::string base = folder != nullptr && *folder != '\0' ? folder : "/tmp";
        return base + "/mirel-settings-fuzz-" + std::to_string(::getpid());
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::unique_ptr<mirel::image::TiledImage> thumbnail =
        mirel::image::createThumbnailImage();
    if (!thumbnail) std::abort();
    const std::span<const std::uint8_t> bytes(data, size);

    // Thumbnail-only reading must leave the record exactly as it was.
    mirel::SettingsRecord record = defaults();
    const mirel::SettingsRecord before = record;
    mirel::readSettingsBytes(bytes, mirel::SettingsReadMode::ThumbnailOnly, record,
                             thumbnail.get());
    if (std::memcmp(&record, &before, sizeof record) != 0) std::abort();

    // Loading, with and without a thumbnail image: the items read must agree.
    mirel::SettingsRecord withThumbnail = defaults();
    const mirel::SettingsReadResult first = mirel::readSettingsBytes(
        bytes, mirel::SettingsReadMode::Load, withThumbnail, thumbnail.get());
    mirel::SettingsRecord without = defaults();
    const mirel::SettingsReadResult second =
        mirel::readSettingsBytes(bytes, mirel::SettingsReadMode::Load, without, nullptr);
    if (first.versionRead != second.versionRead) std::abort();
    if (!first.versionRead && std::memcmp(&without, &before, sizeof without) != 0) std::abort();
    // A record read from any file can be written again, at the fixed size. (Writing
    // syncs the mirrors and stamps the version, so it works on a copy.)
    mirel::SettingsRecord toWrite = without;
    if (first.versionRead &&
        mirel::encodeSettings(toWrite, nullptr).size() != mirel::kSettingsFileBytesWithoutThumbnail)
        std::abort();

    // The file path of the reader, for a sample of the inputs.
    if (size % 8 == 0) {
        mirel::os::File file;
        if (file.open(scratchPath(), mirel::os::OpenMode::CreateOrOpen) && file.write(data, size) &&
            file.truncateHere()) {
            file.close();
            mirel::SettingsRecord fromFile = defaults();
            const mirel::SettingsReadResult onDisk = mirel::readSettingsFile(
                scratchPath(), mirel::SettingsReadMode::Load, fromFile, nullptr);
            if (onDisk.versionRead != second.versionRead || onDisk.complete != second.complete ||
                std::memcmp(&fromFile, &without, sizeof fromFile) != 0)
                std::abort();
        }
    }
    return 0;
}
