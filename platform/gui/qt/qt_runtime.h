// The Qt backend's runtime, shared by the backend's files: the one QApplication
// of the process, the fonts that stand in for the system's, and the base units
// they give. Private to platform/gui (and its tests).
#pragma once

#include <QFont>
#include <QString>
#include <string_view>

#include "platform/gui/dialog_units.h"
#include "platform/gui/display.h"

namespace mirel::gui {

// Makes sure a QApplication exists and that the caller is on its thread.
// Creates one on the heap (kept for the life of the process) only when
// none exists. False, without calling Qt, when no display is configured;
// false when called from another thread than the application's.
bool ensureApplication();

// UTF-8 text of the layer's interface as Qt text.
QString fromUtf8(std::string_view text);

// The font a template's font name stands for here. "MS Sans Serif" (and the
// system's "MS Shell Dlg" aliases) become a sans font with Arial's metrics;
// other names are asked for as they are, so "Arial" finds Liberation Sans.
// Sizes are whole pixels at the screen's logical resolution, as the system
// rounds them.
QFont dialogFont(std::string_view name, double points, bool bold = false);

// Base units of a template font. MS Sans Serif 8 keeps the system's own
// 6 x 13 (scaled with the resolution) so layouts come out as designed;
// other fonts are measured the way the system measures them.
BaseUnits baseUnitsFor(std::string_view fontName, int points);

}  // namespace mirel::gui
