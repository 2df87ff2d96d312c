// The preview pane: zoom, pan, the centre click and drawing the preview.
#include "ui/preview_pane.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "host/plugin_main.h"
#include "host/preview_render.h"
#include "image/preview.h"
#include "platform/pi/rects.h"
#include "ui/control_table.h"

namespace mirel::ui {

namespace {

// The pane is the preview control less this many pixels on every side; the
// frame is drawn just outside it.
constexpr int kPaneInset = 2;
constexpr gui::Rgb kFrameColor{0, 0, 0};
constexpr gui::Rgb kAroundColor{255, 255, 255};

}  // namespace

std::string zoomPercentText(std::int32_t zoom) {
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", int(100 / std::max(zoom, 1)));
    return text;
}

void PreviewPane::setUp(gui::DialogHandle& dialog) {
    const gui::Rect control = dialog.controlRect(id::kPreview);
    pane_ = {control.x + kPaneInset, control.y + kPaneInset,
             std::max(0, control.width - 2 * kPaneInset),
             std::max(0, control.height - 2 * kPaneInset)};
    RunSession& session = ctx_.session;
    session.paneWidth = pane_.width;
    session.paneHeight = pane_.height;
    const Extent picture = pictureSize();
    fitLevel_ = zoomAvailable()
                    ? image::fitZoomFor(picture.width, picture.height, pane_.width, pane_.height)
                    : 1;
    ctx_.params->zoomLevel = fitLevel_;
    ctx_.params->panX = 0;
    ctx_.params->panY = 0;
    setPreviewSize(ctx_, fitLevel_);
    bitmapCurrent_ = false;
}

gui::Rect PreviewPane::controlRect() const {
    return {pane_.x - kPaneInset, pane_.y - kPaneInset, pane_.width + 2 * kPaneInset,
            pane_.height + 2 * kPaneInset};
}

std::int32_t PreviewPane::zoomLevel() const {
    return zoomLevelOf(*ctx_.params);
}

bool PreviewPane::previewPossible() const {
    return ctx_.params && ctx_.params->hostCanPreview != 0 && ctx_.record;
}

bool PreviewPane::zoomAvailable() const {
    return ctx_.record && hostCanScale(*ctx_.record);
}

PreviewPane::Extent PreviewPane::pictureSize() const {
    if (!ctx_.record) return {};
    const IntRect filter = filterRectOf(*ctx_.record);
    return {std::max(0, filter.width()), std::max(0, filter.height())};
}

PreviewPane::Extent PreviewPane::previewSizeAt(std::int32_t level) const {
    if (!ctx_.record) return {};
    const IntRect f = filterRectOf(*ctx_.record);
    const image::PreviewRect r =
        image::previewRectFor(f.top, f.left, f.bottom, f.right, level, pane_.width, pane_.height);
    return {std::max(0, r.width()), std::max(0, r.height())};
}

PreviewPane::Extent PreviewPane::maximumPan(std::int32_t level) const {
    if (!ctx_.record) return {};
    const IntRect f = filterRectOf(*ctx_.record);
    const image::PreviewRect whole =
        image::previewRectFor(f.top, f.left, f.bottom, f.right, level, INT_MAX, INT_MAX);
    const Extent shown = previewSizeAt(level);
    return {std::max(0, whole.width() - shown.width) * level,
            std::max(0, whole.height() - shown.height) * level};
}

void PreviewPane::clampPan() {
    ParameterBlock& params = *ctx_.params;
    const Extent limit = maximumPan(zoomLevel());
    params.panX = std::clamp(params.panX, 0, limit.width);
    params.panY = std::clamp(params.panY, 0, limit.height);
}

gui::Point PreviewPane::imageOrigin() const {
    const Extent shown = previewSizeAt(zoomLevel());
    return {pane_.x + pane_.width / 2 - shown.width / 2,
            pane_.y + pane_.height / 2 - shown.height / 2};
}

std::int16_t PreviewPane::render(gui::DialogHandle& dialog) {
    if (!previewPossible()) return 0;
    const std::int16_t result = renderPreview(ctx_);
    bitmapCurrent_ = false;
    dialog.redraw(controlRect());
    return result;
}

bool PreviewPane::zoomClicked(int controlId) {
    if (!zoomAvailable()) return false;
    ParameterBlock& params = *ctx_.params;
    const std::int32_t before = zoomLevel();
    std::int32_t after = before;
    if (controlId == id::kZoomOut && before < fitLevel_) after = before + 1;
    if (controlId == id::kZoomIn && before >= 2) after = before - 1;
    if (controlId == id::kZoomPercent) after = 1;
    if (after == before) return false;
    params.zoomLevel = after;
    // The picture's point at the pane's centre stays there.
    params.panX += pane_.width / 2 * before - pane_.width / 2 * after;
    params.panY += pane_.height / 2 * before - pane_.height / 2 * after;
    if (controlId == id::kZoomOut && after == fitLevel_) params.panX = 0;
    clampPan();
    setPreviewSize(ctx_, after);
    bitmapCurrent_ = false;
    return true;
}

void PreviewPane::updateZoomButtons(gui::DialogHandle& dialog) {
    const bool available = zoomAvailable();
    const std::int32_t level = zoomLevel();
    dialog.enableControl(id::kZoomIn, available && level > 1);
    dialog.enableControl(id::kZoomOut, available && level < fitLevel_);
    dialog.setControlText(id::kZoomPercent, zoomPercentText(level));
}

void PreviewPane::setCenterAt(gui::Point pointer) {
    const Extent picture = pictureSize();
    if (picture.width < 1 || picture.height < 1) return;
    ParameterBlock& params = *ctx_.params;
    const std::int32_t level = zoomLevel();
    const gui::Point origin = imageOrigin();
    // A click on the white around a small picture picks its nearest edge.
    const std::int64_t x = std::clamp<std::int64_t>(
        std::int64_t(pointer.x - origin.x) * level + params.panX, 0, picture.width - 1);
    const std::int64_t y = std::clamp<std::int64_t>(
        std::int64_t(pointer.y - origin.y) * level + params.panY, 0, picture.height - 1);
    params.settings.center = {float(double(x) / picture.width), float(double(y) / picture.height)};
    params.pickedCenterX = std::int32_t(x);
    params.pickedCenterY = std::int32_t(y);
}

bool PreviewPane::panBy(gui::DialogHandle& dialog, gui::Point from, gui::Point to) {
    const std::int32_t level = zoomLevel();
    const std::int64_t dx = std::int64_t(level) * (to.x - from.x);
    const std::int64_t dy = std::int64_t(level) * (to.y - from.y);
    if (dx == 0 && dy == 0) return false;
    ParameterBlock& params = *ctx_.params;
    const std::int32_t beforeX = params.panX;
    const std::int32_t beforeY = params.panY;
    params.panX = std::int32_t(std::clamp<std::int64_t>(params.panX - dx, 0, INT32_MAX));
    params.panY = std::int32_t(std::clamp<std::int64_t>(params.panY - dy, 0, INT32_MAX));
    clampPan();
    if ((params.panX != beforeX || params.panY != beforeY) && previewPossible()) {
        // The host's picture at the new place, unrendered: no render during a drag.
        readPreviewBackground(ctx_);
        bitmapCurrent_ = false;
        dialog.redraw(controlRect());
    }
    return true;
}

void PreviewPane::draw(gui::DrawingSurface& surface) {
    if (pane_.width <= 0 || pane_.height <= 0) return;
    surface.frameRect({pane_.x - 1, pane_.y - 1, pane_.width + 2, pane_.height + 2}, kFrameColor);
    const image::PreviewBuffer& buffer = ctx_.session.preview;
    if (!bitmapCurrent_) {
        bitmapCurrent_ = previewPossible() && ctx_.record->displayPixels &&
                         image::previewBitmap(buffer, bitmap_);
        if (!bitmapCurrent_) bitmap_ = image::ScreenBitmap{};
    }
    if (!bitmapCurrent_) {
        surface.fillRect(pane_, kAroundColor);
        return;
    }
    const int width = bitmap_.header.width;
    const int height = -bitmap_.header.height;
    const gui::Point at{pane_.x + pane_.width / 2 - width / 2,
                        pane_.y + pane_.height / 2 - height / 2};
    // White around the picture; the picture itself is one block transfer.
    const int right = pane_.x + pane_.width;
    const int bottom = pane_.y + pane_.height;
    surface.fillRect({pane_.x, pane_.y, pane_.width, at.y - pane_.y}, kAroundColor);
    surface.fillRect({pane_.x, at.y + height, pane_.width, bottom - (at.y + height)}, kAroundColor);
    surface.fillRect({pane_.x, at.y, at.x - pane_.x, height}, kAroundColor);
    surface.fillRect({at.x + width, at.y, right - (at.x + width), height}, kAroundColor);
    surface.drawBitmap(at, {width, height, bitmap_.rowBytes, bitmap_.bits.data()});
}

}  // namespace mirel::ui
