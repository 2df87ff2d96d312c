// The Win32 backend's drawing surface: a dialog procedure's painting with GDI
// on a device context, usually the off-screen bitmap of a paint event.
// Private to platform/gui.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <tuple>

#include "platform/gui/drawing_surface.h"

namespace mirel::gui::win32 {

// Client pixels are device pixels here (the dialogs are per-monitor DPI
// aware), so the ratio is 1: the program's drawing, which scales with the
// dialog's size, lands on whole device pixels, and a preview is rendered at
// the resolution it is shown at. Text sizes are points of the 96-dpi design
// resolution for the same reason: the dialogs scale them with their size.
class GdiSurface final : public DrawingSurface {
  public:
    explicit GdiSurface(HDC dc);
    ~GdiSurface() override;
    GdiSurface(const GdiSurface&) = delete;
    GdiSurface& operator=(const GdiSurface&) = delete;

    void fillRect(const Rect& rect, Rgb color) override;
    void frameRect(const Rect& rect, Rgb color) override;
    void setPixel(Point point, Rgb color) override;
    void drawText(const Rect& rect, std::string_view text, const FontRequest& font, Rgb color,
                  TextAlign align) override;
    void drawLine(Point from, Point to, Rgb color) override;
    void drawFocusRect(const Rect& rect) override;
    void drawBitmap(Point at, const Bgr24View& bitmap) override;
    void drawImage(const Rect& target, const Image& image) override;
    double devicePixelRatio() const override { return 1.0; }

  private:
    HFONT font(const FontRequest& request);

    HDC dc_;
    std::map<std::tuple<std::string, int, bool>, HFONT> fonts_;
};

// A paint event's drawing buffered off screen: the procedure paints into a
// bitmap of the dirty rectangle, in client coordinates, which is then copied
// to the window in one go, so nothing flickers while a dialog is drawn in
// layers (background, preview, program-drawn controls).
class BufferedPaint {
  public:
    // `area` in the client pixels the painting uses; it lands on `target`
    // with its corner at `at` (the area's own corner for a window's paint).
    BufferedPaint(HDC target, const RECT& area, POINT at);
    BufferedPaint(HDC target, const RECT& area)
        : BufferedPaint(target, area, {area.left, area.top}) {}
    ~BufferedPaint();
    BufferedPaint(const BufferedPaint&) = delete;
    BufferedPaint& operator=(const BufferedPaint&) = delete;

    // The off-screen context (client coordinates), or the target itself when
    // no buffer could be made.
    HDC dc() const { return buffer_ ? buffer_ : target_; }

  private:
    HDC target_;
    RECT area_;
    POINT at_;
    HDC buffer_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

}  // namespace mirel::gui::win32
