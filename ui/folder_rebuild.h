// Rebuilding a folder of settings files from the dialog: every "q9q" or "q5q"
// file of a folder the user points at is loaded, rendered, and written again in
// place with a fresh thumbnail; "q9q" files are then renamed to ".q5q". The
// current settings are parked in the hidden memory-dot slot meanwhile.
#pragma once

#include <string>
#include <string_view>

#include "platform/gui/dialog.h"
#include "ui/memory_dot_ring.h"

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

constexpr std::string_view kRebuildDialogTitle = "Choose any file in the source folder";

// True for names that take part: they hold "q9q" or "q5q", in any letter case.
bool takesPartInRebuild(std::string_view name);
// The name a rebuilt "q9q" file gets: its name without the last extension, plus ".q5q".
std::string rebuiltName(std::string_view name);

// Asks for the folder, then rebuilds it. Does nothing while `running` is set
// (it is set for the whole rebuild, so that OK and Cancel wait for it).
void rebuildSettingsFolder(FilterContext& ctx, const DotRingActions& actions, bool& running);

}  // namespace mirel::ui
