// The system's open and save dialogs: one file type, a default extension, an
// initial folder and name, the prompt before replacing a file, and on the
// open dialog an optional preview area beside the file list that the caller
// paints for the file under selection.
#pragma once

#include <functional>
#include <string>

#include "platform/gui/dialog_template.h"
#include "platform/gui/drawing_surface.h"

namespace mirel::gui {

enum class FileDialogKind { Open, Save };

// A preview area for the open dialog. The size is in dialog units of the
// system's dialog font, as a template gives it.
struct FilePreview {
    Rect area;
    // The selected file changed (an empty path when nothing or a folder is
    // selected); the area is painted again afterwards.
    std::function<void(const std::string& path)> selectionChanged;
    // Paints the area; `rect` is the whole area in the surface's pixels.
    std::function<void(DrawingSurface& surface, const Rect& rect)> paint;
};

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;
    std::string title;
    std::string typeDescription;   // "Mirel presets (*.q8r)"
    std::string pattern;           // "*.q8r"
    std::string defaultExtension;  // appended to a typed name without one, without the dot
    std::string initialFolder;     // empty: the system chooses
    std::string initialName;       // the name proposed in the name field
    // Shown beside the list of an open dialog when set.
    const FilePreview* preview = nullptr;
};

// Shows the dialog modally over `ownerWindow` (as DialogHandle::nativeWindow
// gives it, or null), centred over it. An open dialog accepts only an existing
// file; a save dialog asks before it lets the user pick an existing one.
// True with the chosen file's absolute path in `path`; false, with `path`
// unchanged, when cancelled or when no display can be used.
bool runFileDialog(const FileDialogRequest& request, void* ownerWindow, std::string& path);

}  // namespace mirel::gui
