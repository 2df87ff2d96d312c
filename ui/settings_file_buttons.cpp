// Save and Load of settings files from the main dialog.
#include "ui/settings_file_buttons.h"

#include "host/plugin_main.h"
#include "host/preview_render.h"
#include "image/thumbnails.h"
#include "platform/gui/dialog.h"
#include "settings/settings_file.h"
#include "ui/file_dialogs.h"

namespace mirel::ui {

std::string proposedSettingsFileName(const SettingsRecord& record) {
    if (settingsNameView(record).empty()) {
        SettingsRecord named = record;
        setSettingsName(named, kDefaultSettingsName);
        return suggestedSettingsFileName(named) + ".q8r";
    }
    return suggestedSettingsFileName(record) + ".q8r";
}

bool saveSettingsFromDialog(FilterContext& ctx) {
    if (!ctx.params || !ctx.record) return false;
    SettingsRecord& settings = ctx.params->settings;
    image::TiledImage* thumbnail = ctx.session.thumbnailImage.get();
    if (thumbnail) makeThumbnailFromCleanPreview(ctx, *thumbnail);
    if (settingsNameView(settings).empty()) setSettingsName(settings, kDefaultSettingsName);
    const std::string proposed = proposedSettingsFileName(settings);

    FileChoice choice;
    choice.type = FileType::Settings;
    choice.save = true;
    choice.title = "Save a settings file";
    choice.proposedName = proposed;
    choice.folder = &ctx.params->settingsFolder;
    std::string path;
    if (!chooseFile(ctx, choice, path)) return false;
    const std::string previousName(settingsNameView(settings));
    setSettingsName(settings, fileNameOfPath(path));
    // Written beside the target and renamed over it, so a failed write keeps an old file.
    if (!saveSettingsFile(path, settings, thumbnail)) {
        // The settings keep the name of the last file they came from or went to: the
        // status line never names a file that was not written.
        setSettingsName(settings, previousName);
        gui::messageDialog(choice.title, "The settings file could not be written:\n" + path,
                           ctx.dialogWindow);
        return false;
    }
    return true;
}

bool loadSettingsFromDialog(FilterContext& ctx) {
    if (!ctx.params) return false;
    FileChoice choice;
    choice.type = FileType::Settings;
    choice.title = "Open a settings file";
    choice.folder = &ctx.params->settingsFolder;
    std::string path;
    if (!chooseFile(ctx, choice, path)) return false;
    SettingsRecord& settings = ctx.params->settings;
    // The defaults first, then the file over them, into a copy: a file that is no
    // settings file at all (or cannot be opened) changes nothing and says so. A
    // settings file that ends early keeps the defaults for what it lacks.
    SettingsRecord loaded = settings;
    if (!loadSettingsFile(path, loaded, ctx.session.thumbnailImage.get()).versionRead) {
        gui::messageDialog(choice.title, "The file is not a settings file:\n" + path,
                           ctx.dialogWindow);
        return false;
    }
    settings = loaded;
    setSettingsName(settings, fileNameOfPath(path));
    return true;
}

}  // namespace mirel::ui
