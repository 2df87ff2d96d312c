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

// Where the page goes until the save dialog asks: the export folder the file
// dialogs remember, else the temporary folder.
std::string memoryDotsPagePath(const FilterContext& ctx);

// Writes the page of the filled dots at memoryDotsPagePath. The current
// settings are parked in the hidden slot and put back afterwards, and the
// preview's zoom, pan and rectangles stay as they were. Shows the wait cursor
// meanwhile. Returns whether the page was written.
bool writeMemoryDotsPageFromDialog(FilterContext& ctx, const DotRingActions& actions);

}  // namespace mirel::ui
