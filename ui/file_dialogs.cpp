// The filter's open and save dialogs on the window-system layer.
#include "ui/file_dialogs.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "host/plugin_main.h"
#include "image/thumbnails.h"
#include "platform/gui/dialog_template.h"
#include "platform/gui/file_dialog.h"
#include "platform/os/os.h"
#include "resources/resources.h"
#include "settings/settings_file.h"
#include "ui/thumbnail_view.h"

namespace mirel::ui {

namespace {

constexpr int kThumbnailAreaId = 123;

constexpr FileTypeEntry kEntries[] = {
    {"Mirel presets (*.q8r)", "*.q8r"},
    {"Photoshop files (*.psd)", "*.psd"},
    {"HTML files (*.html)", "*.html"},
};

bool holdsSettingsExtension(std::string_view path) {
    constexpr std::string_view kExtension = ".q8r";
    if (path.size() < kExtension.size()) return false;
    for (std::size_t start = 0; start + kExtension.size() <= path.size(); ++start) {
        bool same = true;
        for (std::size_t i = 0; i < kExtension.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(path[start + i])) == kExtension[i];
        if (same) return true;
    }
    return false;
}

// The thumbnail of the file under selection in the open dialog. It reads into
// an image of its own, so that browsing leaves the filter's thumbnail alone.
class ThumbnailPreview {
  public:
    ThumbnailPreview() : thumbnail_(image::createThumbnailImage()) {}

    void select(const std::string& path) {
        loaded_ = false;
        if (!thumbnail_ || path.empty() || !holdsSettingsExtension(path)) return;
        SettingsRecord scratch{};
        loaded_ = readSettingsFile(path, SettingsReadMode::ThumbnailOnly, scratch, thumbnail_.get())
                      .thumbnailLoaded;
    }

    void paint(gui::DrawingSurface& surface, const gui::Rect& rect) const {
        if (loaded_ && thumbnail_) drawThumbnail(surface, rect, *thumbnail_);
    }

  private:
    std::unique_ptr<image::TiledImage> thumbnail_;
    bool loaded_ = false;
};

}  // namespace

FileTypeEntry fileTypeEntry(FileType type) {
    const int index = std::clamp(int(type), 1, 3) - 1;
    return kEntries[index];
}

std::string_view defaultExtension(FileType type) {
    return fileTypeEntry(type).pattern.substr(2);
}

std::string folderOfPath(std::string_view path) {
    const std::size_t slash = path.find_last_of(os::kPathSeparators);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string fileNameOfPath(std::string_view path) {
    const std::size_t slash = path.find_last_of(os::kPathSeparators);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool fancyOpenPreviewArea(int& width, int& height) {
    gui::DialogTemplate fancy;
    std::string error;
    if (!gui::parseDialogTemplate(findResource("DIALOG", "FANCY_OPEN4"), fancy, error))
        return false;
    const gui::ControlTemplate* area = fancy.findControl(kThumbnailAreaId);
    if (!area || area->rect.width <= 0 || area->rect.height <= 0) return false;
    width = area->rect.width;
    height = area->rect.height;
    return true;
}

bool chooseFile(FilterContext& ctx, const FileChoice& choice, std::string& path) {
    if (ctx.fileDialogOpen) return false;
    const FileTypeEntry entry = fileTypeEntry(choice.type);
    gui::FileDialogRequest request;
    request.kind = choice.save ? gui::FileDialogKind::Save : gui::FileDialogKind::Open;
    request.title = std::string(choice.title);
    request.typeDescription = std::string(entry.description);
    request.pattern = std::string(entry.pattern);
    request.defaultExtension = std::string(defaultExtension(choice.type));
    if (choice.folder) request.initialFolder = std::string(folderView(*choice.folder));
    request.initialName = std::string(choice.proposedName);

    ThumbnailPreview thumbnail;
    gui::FilePreview preview;
    int width = 0, height = 0;
    if (!choice.save && choice.type == FileType::Settings && fancyOpenPreviewArea(width, height)) {
        preview.area = {0, 0, width, height};
        preview.selectionChanged = [&thumbnail](const std::string& selected) {
            thumbnail.select(selected);
        };
        preview.paint = [&thumbnail](gui::DrawingSurface& surface, const gui::Rect& rect) {
            thumbnail.paint(surface, rect);
        };
        request.preview = &preview;
    }

    ctx.fileDialogOpen = true;
    std::string chosen;
    const bool ok = gui::runFileDialog(request, ctx.dialogWindow, chosen);
    ctx.fileDialogOpen = false;
    if (!ok) return false;
    if (choice.folder) setFolder(*choice.folder, folderOfPath(chosen));
    path = std::move(chosen);
    return true;
}

}  // namespace mirel::ui
