// Painting for dialog procedures, on the QPainter of the dialog's paint event.
#include "platform/gui/qt/painter_surface.h"

#include <QColor>
#include <QPainter>

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

}  // namespace mirel::gui
