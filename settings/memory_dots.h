// The memory dots store: 25 quick-save slots of complete settings with their
// thumbnails, one settings file per slot in the temporary folder, plus a hidden
// 26th slot that parks the current settings while others are loaded. The kept
// flags decide which dots are filled again at the next opening of the dialog and
// travel between runs in the map file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "image/tiled_image.h"
#include "settings/settings_record.h"

namespace mirel {

constexpr int kMemoryDotCount = 25;
constexpr int kHiddenDotSlot = 25;  // never shown; no state, no kept flag
constexpr int kNoDot = -1;
// The map file: a version, then one kept flag per dot, all int32 big-endian.
constexpr std::int32_t kDotMapVersion = 45;
constexpr std::size_t kDotMapBytes = 4 * (1 + kMemoryDotCount);

enum class DotState : std::int16_t { Empty = 0, Filled = 1, Current = 2 };

// The store's state for the one running filter. Kept flags live from one run's
// Start (read from the map) to its end (written back); states and the hovered
// dot belong to one opening of the dialog.
struct MemoryDots {
    std::array<DotState, kMemoryDotCount> state{};
    std::array<std::int32_t, kMemoryDotCount> kept{};
    int hovered = kNoDot;  // the dot whose thumbnail the dot preview shows
    // The images the store works with, owned by the run: the settings thumbnail
    // (written into slot files, replaced when a slot's thumbnail is read) and the
    // dot preview, an 88 x 88 copy of the hovered dot's thumbnail.
    image::TiledImage* thumbnail = nullptr;
    std::unique_ptr<image::TiledImage>* dotPreview = nullptr;
    // A thumbnail has been loaded into the dot preview and is to be shown.
    bool previewShown = false;
};

inline bool isDotIndex(int index) {
    return index >= 0 && index < kMemoryDotCount;
}
inline bool isKept(const MemoryDots& dots, int index) {
    return isDotIndex(index) && dots.kept[std::size_t(index)] != 0;
}
inline bool isFilled(const MemoryDots& dots, int index) {
    return isDotIndex(index) && dots.state[std::size_t(index)] != DotState::Empty;
}

// Writes `record` with the current thumbnail into dot `index`'s file and makes
// the dot current and hovered, its thumbnail read back into the dot preview. The
// caller makes the thumbnail from the preview and sets the kept flag first. A
// file that cannot be written still leaves the dot filled and current (a later
// recall reads whatever the file held). Returns whether the file was written;
// an index outside 0..24 does nothing.
bool storeDot(MemoryDots& dots, int index, SettingsRecord& record);
// The hidden slot: the current settings parked and brought back; no dot changes.
bool storeHiddenSlot(MemoryDots& dots, SettingsRecord& record);
bool recallHiddenSlot(MemoryDots& dots, SettingsRecord& record);
// Names the settings "dot <index + 1>", reads the dot's file over `record` (no
// defaults first; a missing file leaves the record but for the name) and makes
// the dot current. False for an index outside 0..24 or when nothing was read.
bool recallDot(MemoryDots& dots, int index, SettingsRecord& record);
// Empties the dot and clears its kept flag; the dot preview is cleared.
void eraseDot(MemoryDots& dots, int index);
// Clears only the kept flag: the dot stays filled for this opening.
void forgetDot(MemoryDots& dots, int index);
// Reads the dot's thumbnail into the dot preview; the dot becomes the hovered one.
// A file without a thumbnail leaves the dot preview empty.
bool loadDotThumbnail(MemoryDots& dots, int index);
void clearDotPreview(MemoryDots& dots);
// Every dot empty, nothing hovered, the dot preview dropped.
void clearDotStates(MemoryDots& dots);
// Every dot whose kept flag is set becomes filled.
void restoreKeptDots(MemoryDots& dots);
// The lowest dot not kept, or kNoDot when all 25 are.
int firstUnkeptDot(const MemoryDots& dots);

// The map file's bytes for the kept flags, and the flags from such bytes (a short
// file gives what it holds; the rest stay clear). Any flag other than 0 is kept.
std::vector<std::uint8_t> encodeDotMap(const MemoryDots& dots);
void decodeDotMap(std::span<const std::uint8_t> bytes, MemoryDots& dots);
// Start: every kept flag clear, then the map file's flags when it exists.
void readDotMap(MemoryDots& dots);
// End of a run: the kept flags into the map file. False when it cannot be written.
bool writeDotMap(const MemoryDots& dots);

// "dot <index + 1>", the name a recalled dot gives the settings.
std::string dotSettingsName(int index);

}  // namespace mirel
