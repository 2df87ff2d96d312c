// The colour swatches: owner-drawn buttons that show a colour and let the
// user choose another, with the host's colour picker when the host offers
// one and the system's colour dialog otherwise.
#pragma once

#include "platform/gui/dialog.h"
#include "settings/settings_record.h"

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

void drawColorSwatch(gui::DrawingSurface& surface, const gui::DrawItem& item, const Rgb16& color);

// Offers `color` to the user. True when a colour was chosen, which is then in
// `color` (each 8-bit component times 256); false, with `color` unchanged,
// when the user cancelled. The system dialog keeps its custom colours for as
// long as the plug-in is loaded.
bool chooseSwatchColor(FilterContext& ctx, Rgb16& color, int promptIndex, void* ownerWindow);

}  // namespace mirel::ui
