// The two undo snapshots and their files.
#include "settings/undo_history.h"

#include <cstring>

#include "settings/settings_file.h"
#include "settings/temp_files.h"

namespace mirel {

void clearUndoHistory(UndoHistory& history) {
    std::memset(&history, 0, sizeof history);
}

void recordUndoStep(UndoHistory& history, const SettingsRecord& record, bool withFile) {
    const int slot = 1 - (history.toggle != 0 ? 1 : 0);
    history.toggle = slot;
    snapshotCopy(record, history.snapshots[slot]);
    if (withFile) {
        // A copy is written: writing stamps the version and refreshes the mirrors,
        // and taking a step must leave the settings in use as they are. A file
        // that cannot be written is no reason to lose the step: the snapshot
        // still restores everything but the centre.
        SettingsRecord written = record;
        writeSettingsFile(undoFilePath(slot), written, nullptr);
    }
    history.hasFile[slot] = withFile ? 1 : 0;
    history.valid[slot] = 1;
}

bool undo(UndoHistory& history, SettingsRecord& record, image::TiledImage* thumbnail) {
    const int slot = 1 - (history.toggle != 0 ? 1 : 0);
    if (!history.valid[slot]) return false;
    snapshotCopy(history.snapshots[slot], record);
    if (history.hasFile[slot]) {
        // The file brings back the centre (and the thumbnail). Everything else is
        // taken from the snapshot: the file keeps the light direction only to
        // hundredths, and undo must give back exactly what was there.
        SettingsRecord fromFile = record;
        if (readSettingsFile(undoFilePath(slot), SettingsReadMode::Load, fromFile, thumbnail)
                .versionRead)
            record.center = fromFile.center;
    }
    history.toggle = slot;
    return true;
}

}  // namespace mirel
