// The about box.
#include "ui/about_box.h"

#include <algorithm>
#include <memory>
#include <string>

#include "host/plugin_main.h"
#include "platform/gui/dialog.h"
#include "platform/gui/open_url.h"
#include "platform/os/os.h"
#include "resources/resources.h"
#include "settings/metadata.h"
#include "ui/resource_images.h"
#include "ui/window_centring.h"

namespace mirel::ui {

namespace {

constexpr gui::Rgb kWhite{255, 255, 255};
constexpr gui::Rgb kVersionGrey{96, 96, 96};

class AboutBoxProcedure final : public gui::DialogProcedure {
  public:
    explicit AboutBoxProcedure(FilterContext& ctx) : ctx_(ctx) {}
    ~AboutBoxProcedure() override {
        ctx_.aboutBoxOpen = false;
        ctx_.aboutBoxWindow = nullptr;
    }

    void onInit(gui::DialogHandle& dialog) override {
        centreDialog(dialog);
        ctx_.aboutBoxOpen = true;
        ctx_.aboutBoxWindow = dialog.nativeWindow();
    }

    bool onCommand(gui::DialogHandle& dialog, int controlId, int notification) override {
        if (notification != gui::kNotifyClicked) return true;
        if (controlId == kVisitWebsiteButton) gui::openUrl(std::string(makerWebAddress()));
        dialog.endDialog(controlId);
        return true;
    }

    void onPaint(gui::DialogHandle& dialog, gui::DrawingSurface& surface,
                 const gui::Rect&) override {
        surface.fillRect(dialog.clientRect(), kWhite);
        const gui::Rect picture = dialog.controlRect(kAboutPictureArea);
        images_.drawJpeg(surface, picture, kAboutPicture);
        // The version, left of the button, in the font of the dialog's texts.
        const gui::Rect button = dialog.controlRect(kVisitWebsiteButton);
        const double scale = dialog.dialogUnitsToPixels({0, 0, 8, 8}).height / 13.0;
        const gui::Rect line{picture.x, button.y, std::max(0, button.x - picture.x), button.height};
        surface.drawText(line, "Version " + std::string(kSoftwareVersion),
                         gui::FontRequest{"Arial", 8.0 * scale, false}, kVersionGrey,
                         gui::TextAlign::Left);
    }

  private:
    FilterContext& ctx_;
    ResourceImages images_;
};

bool aboutTemplate(gui::DialogTemplate& out) {
    std::string error;
    if (gui::parseDialogTemplate(findResource("DIALOG", "ABOUTBOX"), out, error)) return true;
    os::debugOutput(("ABOUTBOX: " + error + "\n").c_str());
    return false;
}

}  // namespace

std::string_view makerWebAddress() {
    return kMakerWebAddress;
}

bool openAboutBox(FilterContext& ctx) {
    if (ctx.aboutBoxOpen) return false;
    gui::DialogTemplate dialogTemplate;
    if (!aboutTemplate(dialogTemplate)) return false;
    return gui::showModelessDialog(dialogTemplate, std::make_unique<AboutBoxProcedure>(ctx),
                                   ctx.dialogWindow) != nullptr;
}

void showAboutBoxModal(FilterContext& ctx) {
    gui::DialogTemplate dialogTemplate;
    if (!aboutTemplate(dialogTemplate)) return;
    AboutBoxProcedure procedure(ctx);
    gui::runModalDialog(dialogTemplate, procedure, nullptr);
}

void closeAboutBox(FilterContext& ctx) {
    if (ctx.aboutBoxWindow) gui::requestDialogClose(ctx.aboutBoxWindow);
}

}  // namespace mirel::ui
