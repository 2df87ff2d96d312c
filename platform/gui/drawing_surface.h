// The surface a dialog procedure paints on during a paint event: filled and
// framed rectangles, single pixels and text in a named font.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/gui/dialog_template.h"

class QPainter;

namespace mirel::gui {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

enum class TextAlign { Left, Center, Right };

struct FontRequest {
    std::string name = "Arial";  // "MS Sans Serif" is drawn with a sans font of Arial's metrics
    double points = 8.0;         // fractions allowed: sizes scale with the dialog
    bool bold = false;
};

class DrawingSurface {
  public:
    explicit DrawingSurface(QPainter& painter) : painter_(painter) {}

    void fillRect(const Rect& rect, Rgb color);
    // A 1-pixel outline just inside `rect`.
    void frameRect(const Rect& rect, Rgb color);
    void setPixel(Point point, Rgb color);
    // One line of UTF-8 text, centred vertically in `rect` and clipped to it.
    void drawText(const Rect& rect, std::string_view text, const FontRequest& font, Rgb color,
                  TextAlign align);

  private:
    QPainter& painter_;
};

}  // namespace mirel::gui
