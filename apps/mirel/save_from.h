// Settings files with the thumbnail of their effect on a picture: the preview the
// dialog would show of that picture is rendered here, in the host program's own
// process, and the thumbnail is made from it as the dialog's Save makes it.
#pragma once

#include <functional>
#include <string>

#include "apps/mirel/host_commands.h"
#include "image/tiled_image.h"
#include "settings/settings_record.h"

namespace mirel::host_app {

// Writes the file `outputPath` with the thumbnail it is given; false when it cannot.
using ThumbnailWriter = std::function<bool(const image::TiledImage& thumbnail)>;

// Reads the picture at `picturePath`, renders the preview of `settings` on it at the
// zoom that fits it into the dialog's preview pane, makes the 128 x 128 thumbnail from
// that preview and hands it to `write` while the run still holds it. Every failure
// prints one line on stderr and writes nothing; a cancel (Ctrl-C) writes nothing either.
// (The settings file's writer is the caller's: its header and the render's cannot
// share a translation unit.)
RunOutcome writeWithEffectThumbnail(const std::string& outputPath, const SettingsRecord& settings,
                                    const std::string& picturePath, const ThumbnailWriter& write);

}  // namespace mirel::host_app
