// The folder rebuild of settings files.
#include "ui/folder_rebuild.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "host/plugin_main.h"
#include "host/preview_render.h"
#include "platform/os/os.h"
#include "settings/memory_dots.h"
#include "settings/settings_file.h"
#include "ui/file_dialogs.h"

namespace mirel::ui {

namespace {

bool containsNoCase(std::string_view text, std::string_view part) {
    const auto lower = [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); };
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

// Plain files only, and only those we may write.
bool writableFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return !error && std::filesystem::is_regular_file(status) && ::access(path.c_str(), W_OK) == 0;
}

}  // namespace

bool takesPartInRebuild(std::string_view name) {
    return containsNoCase(name, "q9q") || containsNoCase(name, "q5q");
}

std::string rebuiltName(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    std::string stem(dot == std::string_view::npos ? name : name.substr(0, dot));
    return stem + ".q5q";
}

void rebuildSettingsFolder(FilterContext& ctx, const DotRingActions& actions, bool& running) {
    if (running || !ctx.params) return;
    FileChoice source;
    source.type = FileType::Settings;
    source.title = kRebuildDialogTitle;
    source.folder = &ctx.params->sourceFolder;
    std::string chosen;
    if (!chooseFile(ctx, source, chosen)) return;
    running = true;
    std::string folder = folderOfPath(chosen);
    if (folder.empty()) folder = "./";
    SettingsRecord& record = ctx.params->settings;
    MemoryDots& dots = ctx.memoryDots;
    // The hidden slot's file carries no name; it is kept here to be put back too.
    const std::string parkedName(settingsNameView(record));
    storeHiddenSlot(dots, record);

    std::vector<std::string> names;
    if (os::listFolder(folder, "*", names)) {
        for (const std::string& name : names) {
            const std::string path = folder + name;
            if (!takesPartInRebuild(name) || !writableFile(path)) continue;
            actions.setCursor(CursorState::Wait);
            applyDefaults(record);
            if (!readSettingsFile(path, SettingsReadMode::Load, record, dots.thumbnail).versionRead)
                continue;
            setSettingsName(record, name);
            actions.writeControls();
            actions.renderAgain();
            if (dots.thumbnail) makeThumbnailFromCleanPreview(ctx, *dots.thumbnail);
            if (!writeSettingsFile(path, record, dots.thumbnail)) continue;
            // A file of the new name that is there already stays: the rename is
            // left out rather than replace it.
            const std::string renamed = folder + rebuiltName(name);
            if (containsNoCase(name, "q9q") && !os::fileExists(renamed)) {
                std::error_code ignored;
                std::filesystem::rename(path, renamed, ignored);
            }
        }
    }

    recallHiddenSlot(dots, record);
    setSettingsName(record, parkedName);
    // The controls still show the last file: they follow the settings put back.
    actions.writeControls();
    actions.renderAgain();
    actions.setCursor(CursorState::Arrow);
    running = false;
}

}  // namespace mirel::ui
