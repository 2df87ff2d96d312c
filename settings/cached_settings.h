// The settings of the last confirmed run, kept in "Mirel cached settings D" in the
// temporary folder: written after a confirmed run, read at the next start. The host's
// parameter block is reset at every prepare, so this file is what carries settings over.
#pragma once

#include "image/tiled_image.h"
#include "settings/settings_record.h"

namespace mirel {

// Stores `record` (without thumbnail). A file that cannot be written is skipped
// silently: the next run starts from the previous cache or the defaults. True when written.
bool writeCachedSettings(SettingsRecord& record);

// Reads the cached settings over `record` when the file exists (the thumbnail, should
// the file hold one, into `thumbnail` if given). Without the file nothing changes.
// True when a file of a known version was read.
bool readCachedSettings(SettingsRecord& record, image::TiledImage* thumbnail);

}  // namespace mirel
