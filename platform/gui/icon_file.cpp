// Icon and cursor file directories, read with every offset checked.
#include "platform/gui/icon_file.h"

namespace mirel::gui {

namespace {

constexpr std::size_t kIconHeaderBytes = 6;
constexpr std::size_t kIconEntryBytes = 16;

int readLe16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}

}  // namespace

IconFileType iconFileType(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kIconHeaderBytes) return IconFileType::None;
    if (readLe16(bytes.data()) != 0) return IconFileType::None;
    const int type = readLe16(bytes.data() + 2);
    const int count = readLe16(bytes.data() + 4);
    if ((type != int(IconFileType::Icon) && type != int(IconFileType::Cursor)) || count < 1)
        return IconFileType::None;
    if (bytes.size() < kIconHeaderBytes + std::size_t(count) * kIconEntryBytes)
        return IconFileType::None;
    return IconFileType(type);
}

std::vector<std::uint8_t> cursorAsIcon(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    if (copy.size() >= kIconHeaderBytes) copy[2] = std::uint8_t(IconFileType::Icon);
    return copy;
}

Point cursorHotSpot(std::span<const std::uint8_t> bytes, int index, int decodedWidth,
                    double density) {
    const int count = bytes.size() >= kIconHeaderBytes ? readLe16(bytes.data() + 4) : 0;
    if (index < 0 || index >= count ||
        bytes.size() < kIconHeaderBytes + std::size_t(index + 1) * kIconEntryBytes ||
        density <= 0.0)
        return {};
    const std::uint8_t* entry =
        bytes.data() + kIconHeaderBytes + std::size_t(index) * kIconEntryBytes;
    // The entry's hot spot is in the pixels of the picture it describes, whose
    // size the entry gives (0 stands for 256).
    const int width = entry[0] ? entry[0] : 256;
    const double toClient = double(decodedWidth) / width / density;
    return {int(readLe16(entry + 4) * toClient), int(readLe16(entry + 6) * toClient)};
}

}  // namespace mirel::gui
