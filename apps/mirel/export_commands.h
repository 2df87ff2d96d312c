// The command line's exports: a filtered picture written as a layered PSD
// document, and the HTML presets page of a folder of settings files. Both go
// through the same writers as the dialog's buttons.
#pragma once

#include <cstdint>
#include <string>

#include "apps/mirel/host_commands.h"
#include "apps/mirel/image_file.h"

namespace mirel::host_app {

// True when `path` ends in ".psd" (any letter case).
bool isPsdPath(const std::string& path);

// Writes `picture` (the filter's result) as a layered PSD: layer "layer 1"
// holds it with its transparency (opaque without), over the checkerboard in
// the merged image; the depth follows the picture, grey becomes RGB, the ICC
// profile goes along, and the keywords name `outputMode` as the dialog's
// export does. The file is replaced only by a complete document. False with
// one line in `error` otherwise.
bool writePictureAsPsd(const std::string& path, const Picture& picture, std::int32_t outputMode,
                       std::string& error);

// `mirel gallery FOLDER -o PAGE.html`: the presets page of FOLDER, its images
// in "web_images" beside the page.
RunOutcome writeGallery(const std::string& folder, const std::string& pagePath, bool showProgress);

}  // namespace mirel::host_app
