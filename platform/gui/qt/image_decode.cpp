// Decoding the picture files among the resources with Qt's image readers;
// the hot spot of a cursor is read from the file's own directory.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <cstring>

#include "platform/gui/image.h"

namespace mirel::gui {

namespace {

constexpr std::size_t kIconHeaderBytes = 6;
constexpr std::size_t kIconEntryBytes = 16;
constexpr int kIconType = 1;
constexpr int kCursorType = 2;

int readLe16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}

// An icon or cursor file: a directory of pictures, each with its size and,
// for a cursor, its hot spot. Returns the file type (0 when it is neither).
int iconFileType(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kIconHeaderBytes) return 0;
    if (readLe16(bytes.data()) != 0) return 0;
    const int type = readLe16(bytes.data() + 2);
    const int count = readLe16(bytes.data() + 4);
    if ((type != kIconType && type != kCursorType) || count < 1) return 0;
    if (bytes.size() < kIconHeaderBytes + std::size_t(count) * kIconEntryBytes) return 0;
    return type;
}

// The directory entry's size (0 stands for 256) and hot spot.
struct IconEntry {
    int width = 0;
    int height = 0;
    Point hotSpot;
};

IconEntry iconEntry(std::span<const std::uint8_t> bytes, int index) {
    const std::uint8_t* p = bytes.data() + kIconHeaderBytes + std::size_t(index) * kIconEntryBytes;
    IconEntry entry;
    entry.width = p[0] ? p[0] : 256;
    entry.height = p[1] ? p[1] : 256;
    entry.hotSpot = {readLe16(p + 4), readLe16(p + 6)};
    return entry;
}

}  // namespace

bool decodeImage(std::span<const std::uint8_t> bytes, Image& out, Point* hotSpot) {
    out = Image{};
    if (hotSpot) *hotSpot = {};
    if (bytes.empty() || bytes.size() > std::size_t(INT32_MAX)) return false;
    const int iconType = iconFileType(bytes);
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              qsizetype(bytes.size()));
    if (iconType == kCursorType) {
        // Qt's icon reader knows the layout, which cursors share, but accepts
        // only the icon type: it reads a copy marked as an icon.
        data = QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        data[2] = char(kIconType);
    }
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, iconType ? QByteArray("ico") : QByteArray());
    QImage best;
    int bestIndex = 0;
    int smallestWidth = 0;
    const int count = std::max(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i)) break;
        QImage image = reader.read();
        if (image.isNull()) continue;
        if (smallestWidth == 0 || image.width() < smallestWidth) smallestWidth = image.width();
        if (best.isNull() || image.width() * image.height() > best.width() * best.height()) {
            best = image;
            bestIndex = i;
        }
    }
    if (best.isNull()) return false;
    best = best.convertToFormat(QImage::Format_RGBA8888);
    out.width = best.width();
    out.height = best.height();
    out.density = iconType ? double(best.width()) / smallestWidth : 1.0;
    out.rgba.resize(std::size_t(out.width) * out.height * 4);
    for (int y = 0; y < out.height; ++y)
        std::memcpy(out.rgba.data() + std::size_t(y) * out.width * 4, best.constScanLine(y),
                    std::size_t(out.width) * 4);
    if (hotSpot && iconType == kCursorType) {
        // The entry's hot spot is in the pixels of the picture the entry
        // describes; the entry's own size stands for that picture's.
        const IconEntry entry = iconEntry(bytes, bestIndex);
        const double toClient = double(out.width) / entry.width / out.density;
        *hotSpot = {int(entry.hotSpot.x * toClient), int(entry.hotSpot.y * toClient)};
    }
    return true;
}

}  // namespace mirel::gui
