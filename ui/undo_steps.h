// Which of the main dialog's actions leave a step in the undo history, and
// the call that records one.
#pragma once

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

enum class UndoStep {
    None,
    Ordinary,  // one change among many: a snapshot in memory, which keeps the centre
    Full,      // a whole new set of settings (a loaded file, a recalled dot): the snapshot
               // is also written to an undo file, whose centre comes back with it
};

// The step a plain click on control `id` records. Memory dots and the dot
// preview decide by their state after the click and are not covered here.
UndoStep undoStepForClick(int id);

// Hands the step to the undo history. Does nothing for UndoStep::None.
void recordUndoStep(FilterContext& ctx, UndoStep step);

}  // namespace mirel::ui
