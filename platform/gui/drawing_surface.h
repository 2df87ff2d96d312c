// The surface a dialog procedure paints on during a paint event: filled and
// framed rectangles, lines, single pixels, text in a named font, bitmaps
// copied as they are and pictures stretched into a rectangle. Each backend
// implements it on its own drawing API.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/gui/dialog_template.h"
#include "platform/gui/image.h"

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
    // A 1-pixel line from `from` to `to`, both ends included.
    virtual void drawLine(Point from, Point to, Rgb color) = 0;
    // The dotted rectangle that marks the control with the keyboard focus.
    virtual void drawFocusRect(const Rect& rect) = 0;

    // A plain block transfer: one bitmap pixel per client pixel, top-left at `at`.
    virtual void drawBitmap(Point at, const Bgr24View& bitmap) = 0;
    // The picture stretched (or shrunk) into `target` with smooth filtering;
    // its alpha blends it over what is there.
    virtual void drawImage(const Rect& target, const Image& image) = 0;

    // Device pixels per client pixel (2 on a doubled display): pictures meant
    // for a target drawn at this density pick their large variants by it.
    virtual double devicePixelRatio() const = 0;
};

}  // namespace mirel::gui
