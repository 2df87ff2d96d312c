// Painting for dialog procedures, on the QPainter of the dialog's paint event.
#include "platform/gui/qt/painter_surface.h"

#include <QColor>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>

#include "platform/gui/qt/qt_runtime.h"

namespace mirel::gui {

namespace {

QColor toColor(Rgb color) {
    return QColor(color.red, color.green, color.blue);
}

}  // namespace

void PainterSurface::fillRect(const Rect& rect, Rgb color) {
    if (rect.width <= 0 || rect.height <= 0) return;
    painter_.fillRect(QRect(rect.x, rect.y, rect.width, rect.height), toColor(color));
}

void PainterSurface::frameRect(const Rect& rect, Rgb color) {
    if (rect.width <= 0 || rect.height <= 0) return;
    // Four filled edges rather than a pen outline: a pen of width 1 straddles
    // pixel centres and would leak outside the rectangle when antialiased.
    const QColor c = toColor(color);
    painter_.fillRect(QRect(rect.x, rect.y, rect.width, 1), c);
    painter_.fillRect(QRect(rect.x, rect.y + rect.height - 1, rect.width, 1), c);
    painter_.fillRect(QRect(rect.x, rect.y, 1, rect.height), c);
    painter_.fillRect(QRect(rect.x + rect.width - 1, rect.y, 1, rect.height), c);
}

void PainterSurface::setPixel(Point point, Rgb color) {
    painter_.fillRect(QRect(point.x, point.y, 1, 1), toColor(color));
}

void PainterSurface::drawText(const Rect& rect, std::string_view text, const FontRequest& font,
                              Rgb color, TextAlign align) {
    if (rect.width <= 0 || rect.height <= 0 || text.empty()) return;
    int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    switch (align) {
        case TextAlign::Left:
            flags |= Qt::AlignLeft;
            break;
        case TextAlign::Center:
            flags |= Qt::AlignHCenter;
            break;
        case TextAlign::Right:
            flags |= Qt::AlignRight;
            break;
    }
    const QRect box(rect.x, rect.y, rect.width, rect.height);
    painter_.save();
    painter_.setClipRect(box, Qt::IntersectClip);
    painter_.setFont(dialogFont(font.name, font.points, font.bold));
    painter_.setPen(toColor(color));
    painter_.drawText(box, flags, fromUtf8(text));
    painter_.restore();
}

void PainterSurface::drawLine(Point from, Point to, Rgb color) {
    painter_.save();
    painter_.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(toColor(color));
    pen.setWidth(0);  // cosmetic: one device pixel wide at any scale
    painter_.setPen(pen);
    painter_.drawLine(QPoint(from.x, from.y), QPoint(to.x, to.y));
    painter_.restore();
}

void PainterSurface::drawFocusRect(const Rect& rect) {
    if (rect.width <= 0 || rect.height <= 0) return;
    // Every other pixel of the outline, as the system's focus rectangle.
    const QColor c(0, 0, 0);
    const int right = rect.x + rect.width - 1;
    const int bottom = rect.y + rect.height - 1;
    for (int x = rect.x; x <= right; x += 2) {
        painter_.fillRect(QRect(x, rect.y, 1, 1), c);
        painter_.fillRect(QRect(x, bottom, 1, 1), c);
    }
    for (int y = rect.y; y <= bottom; y += 2) {
        painter_.fillRect(QRect(rect.x, y, 1, 1), c);
        painter_.fillRect(QRect(right, y, 1, 1), c);
    }
}

void PainterSurface::drawBitmap(Point at, const Bgr24View& bitmap) {
    if (!bitmap.bits || bitmap.width <= 0 || bitmap.height <= 0 ||
        bitmap.rowBytes < std::int64_t(bitmap.width) * 3 || bitmap.rowBytes > INT32_MAX)
        return;
    // Wraps the caller's bytes; drawn before the call returns.
    const QImage image(bitmap.bits, bitmap.width, bitmap.height, qsizetype(bitmap.rowBytes),
                       QImage::Format_BGR888);
    painter_.save();
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter_.drawImage(QPoint(at.x, at.y), image);
    painter_.restore();
}

void PainterSurface::drawImage(const Rect& target, const Image& image) {
    if (image.empty() || target.width <= 0 || target.height <= 0) return;
    const QImage source(image.rgba.data(), image.width, image.height, image.width * 4,
                        QImage::Format_RGBA8888);
    painter_.save();
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter_.drawImage(QRect(target.x, target.y, target.width, target.height), source);
    painter_.restore();
}

double PainterSurface::devicePixelRatio() const {
    const QPaintDevice* device = painter_.device();
    return device ? device->devicePixelRatioF() : 1.0;
}

}  // namespace mirel::gui
