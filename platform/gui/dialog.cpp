// What every backend shares: the dialog procedure's default handlers and the
// hook that tests install to see dialogs once they are shown.
#include "platform/gui/dialog.h"

#include <utility>

namespace mirel::gui {

namespace {

// Module-wide state of the layer, in one place.
struct LayerState {
    DialogShownHook shownHook;
};

LayerState& layerState() {
    static LayerState state;
    return state;
}

}  // namespace

void DialogProcedure::onInit(DialogHandle&) {}
bool DialogProcedure::onCommand(DialogHandle&, int, int) {
    return false;
}
void DialogProcedure::onMouseDown(DialogHandle&, const MouseEvent&) {}
void DialogProcedure::onMouseMove(DialogHandle&, const MouseEvent&) {}
void DialogProcedure::onMouseUp(DialogHandle&, const MouseEvent&) {}
void DialogProcedure::onTimer(DialogHandle&, int) {}
void DialogProcedure::onPaint(DialogHandle&, DrawingSurface&, const Rect&) {}
void DialogProcedure::onDrawItem(DialogHandle&, DrawingSurface&, const DrawItem&) {}

void setDialogShownHook(DialogShownHook hook) {
    layerState().shownHook = std::move(hook);
}

DialogShownHook currentDialogShownHook() {
    return layerState().shownHook;
}

}  // namespace mirel::gui
