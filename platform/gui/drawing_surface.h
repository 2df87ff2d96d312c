// The surface a dialog procedure paints on during a paint event: filled and
// framed rectangles, single pixels and text in a named font. Each backend
// implements it on its own drawing API.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/gui/dialog_template.h"

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

// Coordinates are pixels of the dialog's client area; drawing is clipped to
// the region being painted.
class DrawingSurface {
  public:
    virtual ~DrawingSurface() = default;

    virtual void fillRect(const Rect& rect, Rgb color) = 0;
    // A 1-pixel outline just inside `rect`.
    virtual void frameRect(const Rect& rect, Rgb color) = 0;
    virtual void setPixel(Point point, Rgb color) = 0;
    // One line of UTF-8 text, centred vertically in `rect` and clipped to it.
    virtual void drawText(const Rect& rect, std::string_view text, const FontRequest& font,
                          Rgb color, TextAlign align) = 0;
};

}  // namespace mirel::gui
