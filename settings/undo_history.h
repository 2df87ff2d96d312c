// Undo on one button: two snapshots of the settings used in turn, so that a
// second Undo brings back what the first one replaced. A step taken at a
// significant moment (the opening of the dialog, a loaded file, a recalled dot)
// is also written to an undo file in the temporary folder, and restoring it
// reads the file back, which brings back the centre point too.
#pragma once

#include <cstdint>
#include <type_traits>

#include "image/tiled_image.h"
#include "settings/settings_record.h"

namespace mirel {

// Kept in the run's host block: a plain record, valid when zero-filled.
struct UndoHistory {
    std::int32_t toggle;  // the slot that holds the newest state, 0 or 1
    SettingsRecord snapshots[2];
    std::uint8_t valid[2];
    std::uint8_t hasFile[2];
};

static_assert(std::is_trivially_copyable_v<UndoHistory>);

// Both slots empty; the next step goes into slot 1.
void clearUndoHistory(UndoHistory& history);

// Takes a snapshot of `record` (every parameter but the centre) into the other
// slot, which becomes the newest. With `withFile` the whole record, centre
// included, is also written to that slot's undo file; `record` itself is not
// touched (a write of the record would stamp its version and mirrors).
void recordUndoStep(UndoHistory& history, const SettingsRecord& record, bool withFile);

// Puts the older slot back into `record` (and its file over it, when the step
// had one; `thumbnail` takes what the file holds) and makes it the newest. False,
// with nothing changed, when there is no older step.
bool undo(UndoHistory& history, SettingsRecord& record, image::TiledImage* thumbnail);

}  // namespace mirel
