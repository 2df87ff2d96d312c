// Painting the main dialog: the grey background, the preview, and every
// control the dialog draws itself, by its kind.
#include <algorithm>

#include "host/plugin_main.h"
#include "ui/color_swatch.h"
#include "ui/control_table.h"
#include "ui/light_pad.h"
#include "ui/main_dialog_procedure.h"
#include "ui/slider_control.h"

namespace mirel::ui {

namespace {

constexpr gui::Rgb kBackground{226, 226, 226};
constexpr gui::Rgb kLabelColor{0, 0, 0};
constexpr gui::Rgb kDisabledLabelColor{140, 140, 140};
// The dialog's drawing scales with its width against the width it was designed at.
constexpr double kDesignClientWidth = 1006.0;
constexpr double kLabelPoints = 8.0;

bool intersects(const gui::Rect& a, const gui::Rect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

}  // namespace

double MainDialogProcedure::scaleFactor(const gui::DialogHandle& dialog) const {
    const gui::Rect client = dialog.clientRect();
    return client.width > 0 ? client.width / kDesignClientWidth : 1.0;
}

void MainDialogProcedure::onPaint(gui::DialogHandle& dialog, gui::DrawingSurface& surface,
                                  const gui::Rect& dirty) {
    surface.fillRect(dirty, kBackground);
    if (intersects(pane_.controlRect(), dirty)) pane_.draw(surface);
    for (int id = 0; id < kControlIdCount; ++id) {
        if (controlKind(id) == ControlKind::None) continue;
        const gui::Rect rect = dialog.controlRect(id);
        if (rect.width > 0 && intersects(rect, dirty)) paintControl(dialog, surface, id, rect);
    }
}

void MainDialogProcedure::paintControl(gui::DialogHandle& dialog, gui::DrawingSurface& surface,
                                       int controlId, const gui::Rect& rect) {
    const std::size_t i = std::size_t(controlId);
    const std::array<int, kImageSlotCount>& imageIds = runtime_.images[i];
    switch (controlKind(controlId)) {
        case ControlKind::Slider:
            drawSlider(surface, images_, rect, imageIds[kImageNormal], runtime_.value[i],
                       runtime_.minimum[i], runtime_.maximum[i], runtime_.enabled[i]);
            break;
        case ControlKind::Label:
            paintLabel(dialog, surface, controlId, rect);
            break;
        case ControlKind::HeaderImage:
            images_.drawJpeg(surface, rect, imageIds[kImageNormal]);
            break;
        case ControlKind::LightPad:
            drawLightPad(surface, images_, rect, settings().lightDirection, runtime_.enabled[i]);
            break;
        case ControlKind::AboutIcon:
            images_.drawIcon(surface, {rect.x, rect.y, rect.width, rect.width},
                             imageIds[kImageIcon]);
            break;
        case ControlKind::MemoryDot:
            dots_.paintDot(surface, images_, controlId, rect);
            break;
        case ControlKind::DotPreview:
            dots_.paintPreview(surface, images_, rect);
            break;
        default:
            // System controls draw themselves; the swatches are owner-drawn buttons.
            break;
    }
}

void MainDialogProcedure::paintLabel(gui::DialogHandle& dialog, gui::DrawingSurface& surface,
                                     int controlId, const gui::Rect& rect) {
    const double scale = scaleFactor(dialog);
    const gui::FontRequest font{"Arial", kLabelPoints * scale, false};
    if (controlId == id::kStatusLine) {
        surface.drawText(rect, settingsNameView(settings()), font, kLabelColor,
                         gui::TextAlign::Center);
        return;
    }
    const bool enabled = runtime_.enabled[std::size_t(controlId)];
    surface.drawText(rect, labelText(controlSpec(controlId).labelIndex), font,
                     enabled ? kLabelColor : kDisabledLabelColor, gui::TextAlign::Right);
}

void MainDialogProcedure::onDrawItem(gui::DialogHandle&, gui::DrawingSurface& surface,
                                     const gui::DrawItem& item) {
    if (controlKind(item.id) != ControlKind::ColorSwatch) return;
    const Rgb16& color =
        item.id == id::kWaterColor ? settings().waterColor : settings().glitterColor;
    gui::DrawItem shown = item;
    shown.enabled = item.enabled && runtime_.enabled[std::size_t(item.id)];
    drawColorSwatch(surface, shown, color);
}

}  // namespace mirel::ui
