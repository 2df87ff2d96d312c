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

void readMemoryDotMap(mirel::FilterContext& ctx) {
    mirel::readDotMap(ctx.memoryDots);
}

void writeMemoryDotMap(mirel::FilterContext& ctx) {
    mirel::writeDotMap(ctx.memoryDots);
}

// The settings the dialog opens with, as the first undo step of the run.
void takeUndoSnapshot(mirel::FilterContext& ctx) {
    if (!ctx.run || !ctx.params) return;
    mirel::clearUndoHistory(ctx.run->undo);
    mirel::recordUndoStep(ctx.run->undo, ctx.params->settings, true);
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
    services.readMemoryDotMap = &readMemoryDotMap;
    services.writeMemoryDotMap = &writeMemoryDotMap;
    services.takeUndoSnapshot = &takeUndoSnapshot;
}

}  // namespace

// The library's only export: on Windows by name in its export table, elsewhere
// as its one visible symbol.
#if defined(_WIN32)
#define MIREL_PLUGIN_EXPORT __declspec(dllexport)
#else
#define MIREL_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" MIREL_PLUGIN_EXPORT void PluginMain(std::int16_t selector, void* record,
                                               std::intptr_t* data, std::int16_t* result) {
    static const bool installed = [] {
        installServices(mirel::filterContext().services);
        return true;
    }();
    (void)installed;
    mirel::pluginMain(selector, record, data, result);
}
