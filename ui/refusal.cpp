// The refusal dialog: a template with a text and one Cancel button.
#include "ui/refusal.h"

#include <string>

#include "platform/gui/dialog.h"
#include "platform/os/os.h"
#include "resources/resources.h"

namespace mirel::ui {

void showRefusalDialog(void* ownerWindow) {
    gui::DialogTemplate dialogTemplate;
    std::string error;
    if (!gui::parseDialogTemplate(findResource("DIALOG", "REFUSAL2"), dialogTemplate, error)) {
        os::debugOutput(("REFUSAL2: " + error + "\n").c_str());
        return;
    }
    // The button's own id ends the dialog; nothing else needs handling.
    gui::DialogProcedure procedure;
    gui::runModalDialog(dialogTemplate, procedure, ownerWindow);
}

}  // namespace mirel::ui
