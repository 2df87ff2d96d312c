// Which of the main dialog's actions leave a step in the undo history, and
// the call that records one.
#pragma once

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

enum class UndoStep {
    None,
    Ordinary,  // one change among many; the history may fold it into its neighbours
    Full,      // a whole new set of settings (a loaded file, a recalled dot)
};

// The step a plain click on control `id` records. Memory dots and the dot
// preview decide by their state after the click and are not covered here.
UndoStep undoStepForClick(int id);

// Hands the step to the undo history. Does nothing for UndoStep::None.
void recordUndoStep(FilterContext& ctx, UndoStep step);

}  // namespace mirel::ui
