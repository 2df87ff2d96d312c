// libFuzzer target for the settings-file item parser: every input is read as a whole
// settings file without a thumbnail image, so that it runs fast enough for millions of
// inputs. (settings_thumbnail_fuzz reads the thumbnail blocks.) Checks: a thumbnail-only
// read leaves the record alone, a failed read leaves it alone too, the file path reads
// what memory reads, and what was read can be written and read back to the same items.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/os/os.h"
#include "settings/settings_file.h"

namespace {

mirel::SettingsRecord defaults() {
    mirel::SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    mirel::fullReset(record);
    return record;
}

// A scratch file of this process, made once and removed when the fuzzer exits.
struct ScratchFile {
    std::string path;
    ScratchFile() {
        const char* folder = std::getenv("TMPDIR");
        const std::string base = folder != nullptr && *folder != '\0' ? folder : "/tmp";
        path = base + "/mirel-settings-fuzz-" + std::to_string(::getpid());
    }
    ~ScratchFile() { ::unlink(path.c_str()); }
};

const std::string& scratchPath() {
    static const ScratchFile scratch;
    return scratch.path;
}

std::int32_t itemAt(const std::vector<std::uint8_t>& bytes, std::size_t index) {
    const std::uint8_t* p = bytes.data() + index * mirel::kSettingsItemBytes;
    return static_cast<std::int32_t>(std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                                     std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]});
}

// Items stored as a float times 100 (the three vectors) or times 65536 (the centre):
// writing truncates, so a value read and written again may move by a step, and a large
// one by what a float cannot hold.
bool isScaledItem(std::size_t index) {
    return (index >= 49 && index <= 54) || index == 69 || index == 70 ||
           (index >= 76 && index <= 78);
}

bool closeEnough(std::int32_t a, std::int32_t b) {
    const double difference = std::fabs(static_cast<double>(a) - static_cast<double>(b));
    return difference <= 1.0 + std::fabs(static_cast<double>(a)) * 1e-6;
}

// Written, read back and written again, every item comes back as it was.
void checkWritesBack(const mirel::SettingsRecord& read) {
    mirel::SettingsRecord first = read;
    const std::vector<std::uint8_t> written = mirel::encodeSettings(first, nullptr);
    if (written.size() != mirel::kSettingsFileBytesWithoutThumbnail) std::abort();
    mirel::SettingsRecord again = defaults();
    const mirel::SettingsReadResult result =
        mirel::readSettingsBytes(written, mirel::SettingsReadMode::Load, again, nullptr);
    if (!result.versionRead || !result.complete || result.thumbnailLoaded) std::abort();
    const std::vector<std::uint8_t> rewritten = mirel::encodeSettings(again, nullptr);
    if (rewritten.size() != written.size()) std::abort();
    for (std::size_t i = 0; i < mirel::kSettingsItemCount; ++i) {
        const std::int32_t a = itemAt(written, i), b = itemAt(rewritten, i);
        if (a != b && !(isScaledItem(i) && closeEnough(a, b))) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    static const mirel::SettingsRecord initial = defaults();

    // Thumbnail-only reading must leave the record exactly as it was.
    mirel::SettingsRecord record = initial;
    const mirel::SettingsReadResult peek =
        mirel::readSettingsBytes(bytes, mirel::SettingsReadMode::ThumbnailOnly, record, nullptr);
    if (std::memcmp(&record, &initial, sizeof record) != 0 || peek.thumbnailLoaded) std::abort();

    mirel::SettingsRecord loaded = initial;
    const mirel::SettingsReadResult result =
        mirel::readSettingsBytes(bytes, mirel::SettingsReadMode::Load, loaded, nullptr);
    if (result.versionRead != peek.versionRead || result.complete != peek.complete) std::abort();
    if (!result.versionRead && std::memcmp(&loaded, &initial, sizeof loaded) != 0) std::abort();
    if (result.versionRead) checkWritesBack(loaded);

    // The file path of the reader, for a sample of the inputs (files are slow).
    if (size % 16 == 0) {
        mirel::os::File file;
        if (file.open(scratchPath(), mirel::os::OpenMode::CreateOrOpen) && file.write(data, size) &&
            file.truncateHere()) {
            file.close();
            mirel::SettingsRecord fromFile = initial;
            const mirel::SettingsReadResult onDisk = mirel::readSettingsFile(
                scratchPath(), mirel::SettingsReadMode::Load, fromFile, nullptr);
            if (onDisk.versionRead != result.versionRead || onDisk.complete != result.complete ||
                std::memcmp(&fromFile, &loaded, sizeof fromFile) != 0)
                std::abort();
        }
    }
    return 0;
}
