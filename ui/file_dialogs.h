// The open and save dialogs of the filter: the three file types, the folders
// they start in, the flag that keeps a second file dialog from opening, and
// the open dialog for settings files with the thumbnail of the file under
// selection beside the list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "settings/parameter_block.h"

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

enum class FileType { Settings = 1, Psd = 2, Html = 3 };

struct FileTypeEntry {
    std::string_view description;
    std::string_view pattern;
};

// The description and pattern a dialog of this type shows.
FileTypeEntry fileTypeEntry(FileType type);
// The extension a typed name without one gets: the pattern without "*.".
std::string_view defaultExtension(FileType type);

// Where the chosen file `path` lives, with its final separator ("/a/b/x.q8r"
// gives "/a/b/"); empty for a bare name.
std::string folderOfPath(std::string_view path);
// The file's name without its folder ("/a/b/x.q8r" gives "x.q8r").
std::string fileNameOfPath(std::string_view path);

// The thumbnail area of the open dialog for settings files in dialog units,
// taken from the FANCY_OPEN4 template (control 123). False when the template
// is missing or has no such control: the plain dialog opens then.
bool fancyOpenPreviewArea(int& width, int& height);

struct FileChoice {
    FileType type = FileType::Settings;
    bool save = false;
    std::string_view title;
    std::string_view proposedName;  // the name a save dialog offers
    // The caller's remembered folder: where the dialog starts, and after a
    // choice the chosen file's folder.
    char (*folder)[kFolderPathSize] = nullptr;
};

// Runs the dialog over the main dialog's window. True with the chosen file's
// path in `path` (the remembered folder updated); false when cancelled, when
// another file dialog is open, or when no dialog can be shown. Open dialogs
// for settings files show the thumbnail of the selected file.
bool chooseFile(FilterContext& ctx, const FileChoice& choice, std::string& path);

}  // namespace mirel::ui
