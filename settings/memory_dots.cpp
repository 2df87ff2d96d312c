// The memory dots store: slot files, dot states, kept flags and the map file.
#include "settings/memory_dots.h"

#include <cstdio>

#include "platform/os/os.h"
#include "settings/settings_file.h"
#include "settings/temp_files.h"

namespace mirel {

namespace {

void makeCurrent(MemoryDots& dots, int index) {
    for (DotState& state : dots.state)
        if (state == DotState::Current) state = DotState::Filled;
    dots.state[std::size_t(index)] = DotState::Current;
}

void putInt32(std::vector<std::uint8_t>& bytes, std::int32_t value) {
    const auto u = std::uint32_t(value);
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(std::uint8_t(u >> shift));
}

std::int32_t getInt32(const std::uint8_t* p) {
    return std::int32_t(std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 |
                        std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]));
}

}  // namespace

std::string dotSettingsName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "dot %d", index + 1);
    return name;
}

bool storeDot(MemoryDots& dots, int index, SettingsRecord& record) {
    if (!isDotIndex(index)) return false;
    const bool written = writeSettingsFile(memoryDotFilePath(index), record, dots.thumbnail);
    makeCurrent(dots, index);
    dots.hovered = kNoDot;
    loadDotThumbnail(dots, index);
    return written;
}

bool storeHiddenSlot(MemoryDots& dots, SettingsRecord& record) {
    return writeSettingsFile(memoryDotFilePath(kHiddenDotSlot), record, dots.thumbnail);
}

bool recallHiddenSlot(MemoryDots& dots, SettingsRecord& record) {
    return readSettingsFile(memoryDotFilePath(kHiddenDotSlot), SettingsReadMode::Load, record,
                            dots.thumbnail)
        .versionRead;
}

bool recallDot(MemoryDots& dots, int index, SettingsRecord& record) {
    if (!isDotIndex(index)) return false;
    setSettingsName(record, dotSettingsName(index));
    const bool read =
        readSettingsFile(memoryDotFilePath(index), SettingsReadMode::Load, record, dots.thumbnail)
            .versionRead;
    makeCurrent(dots, index);
    return read;
}

void eraseDot(MemoryDots& dots, int index) {
    if (!isDotIndex(index)) return;
    dots.state[std::size_t(index)] = DotState::Empty;
    dots.kept[std::size_t(index)] = 0;
    clearDotPreview(dots);
}

void forgetDot(MemoryDots& dots, int index) {
    if (isDotIndex(index)) dots.kept[std::size_t(index)] = 0;
}

void clearDotPreview(MemoryDots& dots) {
    dots.hovered = kNoDot;
    dots.previewShown = false;
}

bool loadDotThumbnail(MemoryDots& dots, int index) {
    if (!isDotIndex(index)) return false;
    dots.hovered = index;
    dots.previewShown = false;
    if (!dots.thumbnail || !dots.dotPreview) return false;
    image::resetThumbnail(*dots.thumbnail);
    std::unique_ptr<image::TiledImage> shown =
        readThumbnailForDisplay(memoryDotFilePath(index), *dots.thumbnail);
    // A file without a thumbnail shows an empty frame, never the previous dot's picture.
    if (!shown) return false;
    *dots.dotPreview = std::move(shown);
    dots.previewShown = true;
    return true;
}

void clearDotStates(MemoryDots& dots) {
    dots.state.fill(DotState::Empty);
    clearDotPreview(dots);
}

void restoreKeptDots(MemoryDots& dots) {
    for (int i = 0; i < kMemoryDotCount; ++i)
        if (isKept(dots, i)) dots.state[std::size_t(i)] = DotState::Filled;
}

int firstUnkeptDot(const MemoryDots& dots) {
    for (int i = 0; i < kMemoryDotCount; ++i)
        if (!isKept(dots, i)) return i;
    return kNoDot;
}

std::vector<std::uint8_t> encodeDotMap(const MemoryDots& dots) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kDotMapBytes);
    putInt32(bytes, kDotMapVersion);
    for (std::int32_t kept : dots.kept) putInt32(bytes, kept != 0 ? 1 : 0);
    return bytes;
}

void decodeDotMap(std::span<const std::uint8_t> bytes, MemoryDots& dots) {
    dots.kept.fill(0);
    // The version comes first and is not checked: every map so far has had this layout.
    for (int i = 0; i < kMemoryDotCount; ++i) {
        const std::size_t at = 4 * std::size_t(i + 1);
        if (at + 4 > bytes.size()) break;
        dots.kept[std::size_t(i)] = getInt32(bytes.data() + at) != 0 ? 1 : 0;
    }
}

void readDotMap(MemoryDots& dots) {
    dots.kept.fill(0);
    std::vector<std::uint8_t> bytes;
    if (os::readFile(memoryDotMapPath(), bytes)) decodeDotMap(bytes, dots);
}

bool writeDotMap(const MemoryDots& dots) {
    return os::writeFileAtomic(memoryDotMapPath(), encodeDotMap(dots));
}

}  // namespace mirel
