// The main dialog, DISSOLVESANSPARAM: the one window in which the user sets
// up the effect, with its live preview.
#pragma once

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

// What the dialog ends with: the id of the button that closed it.
constexpr int kMainDialogOk = 3;
constexpr int kMainDialogCancelled = 2;

// Runs the dialog modally over the host's window with the filter's settings.
// OK leaves the confirmed settings in the record and the result code 0;
// Cancel puts back the settings the dialog opened with (a centre picked in
// the preview stays) and sets the result code to -128. Returns 3 for OK, 2
// for Cancel, and gui::kDialogFailed when the dialog cannot be shown (no
// display, no template).
int runMainDialog(FilterContext& ctx);

}  // namespace mirel::ui
