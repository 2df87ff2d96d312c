// The memory dots page from the dialog: each filled dot's settings rendered at
// the picture's full size and written with the page's images.
#pragma once

#include <string>

#include "ui/memory_dot_ring.h"

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

constexpr const char* kMemoryDotsPageName = "Mirel memory dots.html";

// Asks where with the save dialog ("Mirel memory dots.html" in the export
// folder the file dialogs remember) and writes the page of the filled dots
// there, then opens it with the desktop's browser (or says why it could not be
// written). Nothing while another file dialog is open or when cancelled. The current
// settings are parked in the hidden slot and put back afterwards, and the
// preview's zoom, pan and rectangles stay as they were. Shows the wait cursor
// meanwhile. Returns whether the page was written.
bool writeMemoryDotsPageFromDialog(FilterContext& ctx, const DotRingActions& actions);

}  // namespace mirel::ui
