// The main dialog's preview pane: its geometry, the zoom levels and their
// buttons, panning a zoomed preview, the centre click, and drawing the
// preview buffer centred in the pane with white around it.
#pragma once

#include <cstdint>
#include <string>

#include "image/tiled_image.h"
#include "platform/gui/dialog.h"

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

// The percentage a zoom level shows: "100%" at 1, "33%" at 3.
std::string zoomPercentText(std::int32_t zoom);

class PreviewPane {
  public:
    explicit PreviewPane(FilterContext& ctx) : ctx_(ctx) {}

    // Takes the pane's place from the dialog (the preview control less 2
    // pixels a side), sizes the preview to it and starts at the fit level
    // with no pan.
    void setUp(gui::DialogHandle& dialog);

    const gui::Rect& rect() const { return pane_; }
    // The preview control's rectangle, frame included.
    gui::Rect controlRect() const;
    std::int32_t fitLevel() const { return fitLevel_; }
    std::int32_t zoomLevel() const;
    // A preview can be shown at all: the host offers advanceState and displayPixels.
    bool previewPossible() const;
    // The host delivers its picture at other scales, so the zoom buttons work.
    bool zoomAvailable() const;

    // Renders the preview with the current settings, zoom and pan (the wait
    // cursor shows meanwhile) and asks for the pane to be drawn. Nothing
    // happens when no preview is possible. Returns the render's result.
    std::int16_t render(gui::DialogHandle& dialog);

    // The zoom buttons' clicks (32 in, 33 out, 34 to 100%). True when the
    // level changed: the pan then keeps the point at the pane's centre where
    // it can, and the caller renders again.
    bool zoomClicked(int controlId);
    // Zoom in enabled above 1, zoom out below the fit level, both disabled
    // when the host cannot scale; the percentage shows the level.
    void updateZoomButtons(gui::DialogHandle& dialog);

    // The picture's pixel under a pointer in the pane, limited to the
    // picture, becomes the effect's centre.
    void setCenterAt(gui::Point pointer);
    // Drags the view by the pointer's motion from `from` to `to` (scaled by
    // the zoom level), shows the host's picture there without rendering.
    // False when the pan did not change.
    bool panBy(gui::DialogHandle& dialog, gui::Point from, gui::Point to);

    void draw(gui::DrawingSurface& surface);

  private:
    struct Extent {
        std::int32_t width = 0, height = 0;
    };
    Extent pictureSize() const;
    // The preview's size in preview pixels at zoom `level`: cut to the pane.
    Extent previewSizeAt(std::int32_t level) const;
    // The largest pan at `level` that keeps the view inside the picture.
    Extent maximumPan(std::int32_t level) const;
    void clampPan();
    gui::Point imageOrigin() const;

    FilterContext& ctx_;
    gui::Rect pane_;
    std::int32_t fitLevel_ = 1;
    // The preview buffer as drawn, remade after every render and pan.
    image::ScreenBitmap bitmap_;
    bool bitmapCurrent_ = false;
};

}  // namespace mirel::ui
