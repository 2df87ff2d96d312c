// The info box.
#include "ui/info_box.h"

#include <memory>
#include <string>

#include "host/plugin_main.h"
#include "platform/gui/dialog.h"
#include "platform/os/os.h"
#include "resources/resources.h"
#include "ui/resource_images.h"
#include "ui/window_centring.h"

namespace mirel::ui {

namespace {

constexpr gui::Rgb kWhite{255, 255, 255};

class InfoBoxProcedure final : public gui::DialogProcedure {
  public:
    explicit InfoBoxProcedure(FilterContext& ctx) : ctx_(ctx) {}
    ~InfoBoxProcedure() override { ctx_.infoBoxWindow = nullptr; }

    void onInit(gui::DialogHandle& dialog) override {
        centreDialog(dialog);
        ctx_.infoBoxWindow = dialog.nativeWindow();
        dialog.setTimer(kInfoTimerId, kInfoTimerMs);
    }

    bool onCommand(gui::DialogHandle& dialog, int controlId, int) override {
        dialog.endDialog(controlId);
        return true;
    }

    // The box may outlive the main dialog (it is not modal to it); it goes
    // with it at the next tick.
    void onTimer(gui::DialogHandle& dialog, int timerId) override {
        if (timerId != kInfoTimerId) return;
        if (!gui::dialogWindowExists(ctx_.dialogWindow)) dialog.endDialog(gui::kIdCancel);
    }

    void onPaint(gui::DialogHandle& dialog, gui::DrawingSurface& surface,
                 const gui::Rect&) override {
        surface.fillRect(dialog.clientRect(), kWhite);
        images_.drawBitmap(surface, dialog.controlRect(kInfoPictureArea), kInfoPicture,
                           kInfoPictureLarge);
    }

  private:
    FilterContext& ctx_;
    ResourceImages images_;
};

}  // namespace

bool openInfoBox(FilterContext& ctx) {
    if (gui::dialogWindowExists(ctx.infoBoxWindow)) return false;
    gui::DialogTemplate dialogTemplate;
    std::string error;
    if (!gui::parseDialogTemplate(findResource("DIALOG", "INFOBOX"), dialogTemplate, error)) {
        os::debugOutput(("INFOBOX: " + error + "\n").c_str());
        return false;
    }
    return gui::showModelessDialog(dialogTemplate, std::make_unique<InfoBoxProcedure>(ctx),
                                   ctx.dialogWindow) != nullptr;
}

void closeInfoBox(FilterContext& ctx) {
    if (ctx.infoBoxWindow) gui::requestDialogClose(ctx.infoBoxWindow);
}

}  // namespace mirel::ui
