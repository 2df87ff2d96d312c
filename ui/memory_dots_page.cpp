// The memory dots page, one full-size render at a time.
#include "ui/memory_dots_page.h"

#include "export/html_gallery.h"
#include "host/plugin_main.h"
#include "host/render_entry.h"
#include "host/source_tiles.h"
#include "platform/gui/dialog.h"
#include "platform/gui/open_url.h"
#include "platform/pi/rects.h"
#include "settings/memory_dots.h"
#include "settings/settings_file.h"
#include "settings/temp_files.h"
#include "ui/file_dialogs.h"

namespace mirel::ui {

bool writeMemoryDotsPageFromDialog(FilterContext& ctx, const DotRingActions& actions) {
    if (!ctx.params || !ctx.record || ctx.fileDialogOpen) return false;
    FileChoice choice;
    choice.type = FileType::Html;
    choice.save = true;
    choice.title = "Save an HTML page";
    choice.proposedName = kMemoryDotsPageName;
    choice.folder = &ctx.params->exportFolder;
    std::string pagePath;
    if (!chooseFile(ctx, choice, pagePath)) return false;
    MemoryDots& dots = ctx.memoryDots;
    SettingsRecord& record = ctx.params->settings;
    const IntRect filter = filterRectOf(*ctx.record);
    const auto format = image::SampleFormat(sourceFormatCodeFor(*ctx.record));

    actions.setCursor(CursorState::Wait);
    html::HtmlGallery gallery(pagePath, html::PageKind::MemoryDots);
    if (gallery.begin()) {
        const std::string parkedName(settingsNameView(record));
        for (int i = 0; i < kMemoryDotCount; ++i) {
            if (!isFilled(dots, i)) continue;
            storeHiddenSlot(dots, record);
            readSettingsFile(memoryDotFilePath(i), SettingsReadMode::Load, record, dots.thumbnail);
            std::unique_ptr<image::TiledImage> picture =
                image::create(filter.width(), filter.height(), format);
            const bool rendered = picture && renderForExport(ctx, *picture, [](std::int32_t) {
                                                 return true;
                                             }) == pi::kNoErr;
            recallHiddenSlot(dots, record);
            setSettingsName(record, parkedName);
            const std::string name = html::memoryDotName(i);
            gallery.addImage(rendered ? picture.get() : nullptr, filter.width(), filter.height(),
                             name, name);
        }
    }
    const html::HtmlPageResult result = gallery.finish();
    actions.setCursor(CursorState::Arrow);
    if (result.written())
        gui::openUrl(pagePath);
    else
        gui::messageDialog("Save an HTML page", result.message, ctx.dialogWindow);
    return result.written();
}

}  // namespace mirel::ui
