// The memory dots page, one full-size render at a time.
#include "ui/memory_dots_page.h"

#include "export/html_gallery.h"
#include "host/plugin_main.h"
#include "host/render_entry.h"
#include "host/source_tiles.h"
#include "platform/pi/rects.h"
#include "settings/memory_dots.h"
#include "settings/settings_file.h"
#include "settings/temp_files.h"

namespace mirel::ui {

std::string memoryDotsPagePath(const FilterContext& ctx) {
    std::string folder = ctx.params ? std::string(folderView(ctx.params->exportFolder)) : "";
    if (folder.empty()) folder = tempFolder();
    if (folder.back() != '/') folder.push_back('/');
    return folder + kMemoryDotsPageName;
}

bool writeMemoryDotsPageFromDialog(FilterContext& ctx, const DotRingActions& actions) {
    if (!ctx.params || !ctx.record) return false;
    MemoryDots& dots = ctx.memoryDots;
    SettingsRecord& record = ctx.params->settings;
    const IntRect filter = filterRectOf(*ctx.record);
    const auto format = image::SampleFormat(sourceFormatCodeFor(*ctx.record));

    actions.setCursor(CursorState::Wait);
    html::HtmlGallery gallery(memoryDotsPagePath(ctx), html::PageKind::MemoryDots);
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
    const bool written = gallery.finish().written();
    actions.setCursor(CursorState::Arrow);
    return written;
}

}  // namespace mirel::ui
