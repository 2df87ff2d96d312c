// The short message shown when a host lacks the callbacks a run needs.
#pragma once

namespace mirel::ui {

// Shows the dialog resource "REFUSAL2" modally until the user dismisses it.
// Does nothing when the resource is missing or no display can be used.
void showRefusalDialog(void* ownerWindow);

}  // namespace mirel::ui
