// The Qt side shared by the whole layer: the one QApplication of the process,
// the fonts that stand in for the system's, and dialog base units.
#pragma once

#include <QFont>
#include <string_view>

namespace mirel::gui {

// True when the environment names a display Qt can open without aborting:
// QT_QPA_PLATFORM set to a platform other than xcb or wayland, or the
// variable that platform needs (DISPLAY, WAYLAND_DISPLAY) set.
bool displayConfigured();

// Makes sure a QApplication exists and that the caller is on its thread.
// Creates one on the heap (kept for the life of the process) only when
// none exists. False, without calling Qt, when no display is configured;
// false when called from another thread than the application's.
bool ensureApplication();

// Horizontal and vertical dialog base units in pixels: 4 horizontal and
// 8 vertical dialog units make one base unit.
struct BaseUnits {
    int x = 6;
    int y = 13;
};

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

// a * b / c rounded half away from zero, as the system's MulDiv; results
// beyond the int range saturate, and c = 0 gives 0.
int mulDivRound(int a, int b, int c);

}  // namespace mirel::gui
