// The library's one exported entry point. It installs the parts of the run
// that live outside host/ and hands every call to the lifecycle.
#include "host/plugin_main.h"
#include "host/render_entry.h"
#include "host/scripting.h"
#include "image/tiled_image.h"
#include "settings/cached_settings.h"
#include "ui/main_dialog.h"
#include "ui/refusal.h"

namespace {

void showRefusal(mirel::FilterContext&) {
    mirel::ui::showRefusalDialog(nullptr);
}

// The thumbnail of the run, once the run's set-up has made it.
mirel::image::TiledImage* thumbnailOf(mirel::FilterContext& ctx) {
    return ctx.session.thumbnailImage.get();
}

void readCachedSettings(mirel::FilterContext& ctx) {
    if (ctx.params) mirel::readCachedSettings(ctx.params->settings, thumbnailOf(ctx));
}

void writeCachedSettings(mirel::FilterContext& ctx) {
    if (ctx.params) mirel::writeCachedSettings(ctx.params->settings);
}

void installServices(mirel::LifecycleServices& services) {
    services.showRefusal = &showRefusal;
    services.readCachedSettings = &readCachedSettings;
    services.writeCachedSettings = &writeCachedSettings;
    services.scriptingParametersPresent = &mirel::scriptingParametersPresent;
    services.readScriptingParameters = &mirel::readScriptingParameters;
    services.writeScriptingParameters = &mirel::writeScriptingParameters;
    services.setUpRun = &mirel::setUpRun;
    services.releaseRun = &mirel::releaseRun;
    services.applyToHost = &mirel::applyToHost;
    services.runMainDialog = &mirel::ui::runMainDialog;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void PluginMain(std::int16_t selector,
                                                                  void* record, std::intptr_t* data,
                                                                  std::int16_t* result) {
    static const bool installed = [] {
        installServices(mirel::filterContext().services);
        return true;
    }();
    (void)installed;
    mirel::pluginMain(selector, record, data, result);
}
