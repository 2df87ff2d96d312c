// Cached settings of the last confirmed run in the temporary folder.
#include "settings/cached_settings.h"

#include "settings/settings_file.h"
#include "settings/temp_files.h"

namespace mirel {

bool writeCachedSettings(SettingsRecord& record) {
    return writeSettingsFile(cachedSettingsPath(), record, nullptr);
}

bool readCachedSettings(SettingsRecord& record, image::TiledImage* thumbnail) {
    return readSettingsFile(cachedSettingsPath(), SettingsReadMode::Load, record, thumbnail)
        .versionRead;
}

}  // namespace mirel
