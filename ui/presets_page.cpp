// The presets page from the main dialog.
#include "ui/presets_page.h"

#include <string>

#include "export/html_gallery.h"
#include "host/plugin_main.h"
#include "platform/gui/open_url.h"
#include "ui/file_dialogs.h"

namespace mirel::ui {

namespace {

constexpr const char* kProposedPageName = "Mirel presets.html";

}  // namespace

void runPresetsPage(FilterContext& ctx, gui::DialogHandle& dialog) {
    if (!ctx.params || ctx.fileDialogOpen) return;
    FileChoice source;
    source.type = FileType::Settings;
    source.title = "Choose any file in the source folder";
    source.folder = &ctx.params->sourceFolder;
    std::string anyFile;
    if (!chooseFile(ctx, source, anyFile)) return;
    const std::string sourceFolder = folderOfPath(anyFile);

    FileChoice page;
    page.type = FileType::Html;
    page.save = true;
    page.title = "Save an HTML page";
    page.proposedName = kProposedPageName;
    page.folder = &ctx.params->exportFolder;
    std::string pagePath;
    if (!chooseFile(ctx, page, pagePath)) return;

    gui::Cursor wait;
    wait.shape = gui::CursorShape::Wait;
    dialog.setCursor(wait);
    const html::HtmlPageResult result = html::writePresetsPage(sourceFolder, pagePath);
    if (result.written()) gui::openUrl(pagePath);
    dialog.setCursor(gui::Cursor{});
    if (!result.written() && result.status != html::HtmlPageStatus::Cancelled)
        gui::messageDialog("Save an HTML page", result.message, ctx.dialogWindow);
}

}  // namespace mirel::ui
