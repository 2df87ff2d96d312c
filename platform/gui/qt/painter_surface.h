// The Qt backend's drawing surface: a dialog procedure's painting on the
// QPainter of the dialog's paint event. Private to platform/gui.
#pragma once

#include "platform/gui/drawing_surface.h"

class QPainter;

namespace mirel::gui {

class PainterSurface final : public DrawingSurface {
  public:
    explicit PainterSurface(QPainter& painter) : painter_(painter) {}

    void fillRect(const Rect& rect, Rgb color) override;
    void frameRect(const Rect& rect, Rgb color) override;
    void setPixel(Point point, Rgb color) override;
    void drawText(const Rect& rect, std::string_view text, const FontRequest& font, Rgb color,
                  TextAlign align) override;
    void drawLine(Point from, Point to, Rgb color) override;
    void drawFocusRect(const Rect& rect) override;
    void drawBitmap(Point at, const Bgr24View& bitmap) override;
    void drawImage(const Rect& target, const Image& image) override;
    double devicePixelRatio() const override;

  private:
    QPainter& painter_;
};

}  // namespace mirel::gui
