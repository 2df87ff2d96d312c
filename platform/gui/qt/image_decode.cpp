// Decoding the picture files among the resources with Qt's image readers;
// the hot spot of a cursor is read from the file's own directory.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <cstring>
#include <vector>

#include "platform/gui/icon_file.h"
#include "platform/gui/image.h"

namespace mirel::gui {

bool decodeImage(std::span<const std::uint8_t> bytes, Image& out, Point* hotSpot) {
    out = Image{};
    if (hotSpot) *hotSpot = {};
    if (bytes.empty() || bytes.size() > std::size_t(INT32_MAX)) return false;
    const IconFileType iconType = iconFileType(bytes);
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              qsizetype(bytes.size()));
    std::vector<std::uint8_t> asIcon;
    if (iconType == IconFileType::Cursor) {
        asIcon = cursorAsIcon(bytes);
        data = QByteArray::fromRawData(reinterpret_cast<const char*>(asIcon.data()),
                                       qsizetype(asIcon.size()));
    }
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    const bool iconFile = iconType != IconFileType::None;
    QImageReader reader(&buffer, iconFile ? QByteArray("ico") : QByteArray());
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
    out.density = iconFile ? double(best.width()) / smallestWidth : 1.0;
    out.rgba.resize(std::size_t(out.width) * out.height * 4);
    for (int y = 0; y < out.height; ++y)
        std::memcpy(out.rgba.data() + std::size_t(y) * out.width * 4, best.constScanLine(y),
                    std::size_t(out.width) * 4);
    if (hotSpot && iconType == IconFileType::Cursor)
        *hotSpot = cursorHotSpot(bytes, bestIndex, out.width, out.density);
    return true;
}

}  // namespace mirel::gui
