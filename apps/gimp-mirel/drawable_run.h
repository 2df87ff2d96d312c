// One run of the filter over a GIMP drawable: the filter rectangle from the
// selection's bounds, the selection as the mask, the result written into the
// drawable's shadow buffer and merged as one undo step only when the run succeeds.
#pragma once

#include <libgimp/gimp.h>

#include <optional>
#include <string>

#include "apps/host/descriptor.h"
#include "apps/host/filter_host.h"

namespace mirel::gimp_app {

struct DrawableRun {
    gint32 image = -1;
    gint32 drawable = -1;
    bool showDialog = false;
    // The descriptor offered to the filter (nullopt: none).
    std::optional<hostkit::Descriptor> offer;
};

enum class DrawableOutcome { Done, Untouched, Cancelled, Failed };

// Runs the filter; the drawable changes only on Done. Untouched: the selection
// leaves nothing of the drawable to filter. Failed and Cancelled leave one line in
// `error`.
DrawableOutcome runOnDrawable(const hostkit::PluginLibrary& plugin, const DrawableRun& run,
                              std::string& error);

// GIMP's progress bar as the run's feedback; a progress that GIMP no longer takes
// (the user cancelled) becomes the filter's cancel.
hostkit::RunFeedback gimpProgressFeedback();

}  // namespace mirel::gimp_app
