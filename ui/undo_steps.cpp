// The undo steps of the main dialog's actions.
#include "ui/undo_steps.h"

#include "host/plugin_main.h"
#include "settings/undo_history.h"
#include "ui/control_table.h"

namespace mirel::ui {

UndoStep undoStepForClick(int controlId) {
    switch (controlId) {
        case id::kLoadSettings:
            return UndoStep::Full;
        case id::kWaterColor:
        case id::kGlitterColor:
        case id::kNextMode:
        case id::kInfo:
        case id::kPsdExport:
        case id::kRandomSettings:
        case id::kNewSeed:
        case id::kPlainSettings:
        case id::kStyleList:
        case id::kModeList:
            return UndoStep::Ordinary;
        default:
            // OK, Cancel, Save, zoom, the HTML page, Undo itself, the about
            // icon, labels and images change no settings worth a step.
            return UndoStep::None;
    }
}

void recordUndoStep(FilterContext& ctx, UndoStep step) {
    if (step == UndoStep::None || !ctx.run || !ctx.params) return;
    mirel::recordUndoStep(ctx.run->undo, ctx.params->settings, step == UndoStep::Full);
}

}  // namespace mirel::ui
