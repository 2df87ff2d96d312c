// RunState: the working state of one filter run, kept in the 31944-byte block
// whose handle the host stores in PluginMain's data slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "settings/settings_record.h"

namespace mirel {

constexpr std::size_t kRunStateSize = 31944;
constexpr std::size_t kSmallBufferCount = 4;
constexpr std::size_t kSmallBufferBytes = 16;
constexpr std::size_t kWorkingBlockBytes = 65032;

// Pointers to the memory a run allocates in Start and frees at its end.
// Null means "not allocated"; freeing is idempotent.
struct WorkingMemory {
    std::uint8_t* rowBuffer;  // scratch rows of the tile store
    std::uint8_t* smallBuffers[kSmallBufferCount];
    std::uint8_t* workingBlock;  // render and preview working block
    void* dotPreviewImage;       // the 100 x 100 image of the memory-dot preview
    void* sourceImage;           // the source picture's tile store
    void* thumbnailImage;        // the 128 x 128 thumbnail
};

// Lives in host memory that may arrive zero-filled; a plain record.
struct RunState {
    // Header, initialised when the block is first created.
    std::int32_t showDialog;           // set by Parameters; cleared at the end of Start
    std::int32_t resetExportOptions;   // set by Parameters; consumed at the next Start
    std::int32_t filterTop, filterLeft, filterBottom, filterRight;
    std::int32_t filterWidth, filterHeight;
    float scale;  // 1.0 until a render sets it

    // Working sizes derived from the filter rectangle in Prepare.
    std::int64_t rowBufferBytes;

    // The current region requested from the host (top, left, bottom, right).
    std::int32_t regionTop, regionLeft, regionBottom, regionRight;
    std::int32_t regionWidth, regionHeight;

    WorkingMemory memory;

    // Two undo slots and the toggle naming the one that holds the newest state.
    std::int32_t undoToggle;
    SettingsRecord undoSlots[2];
};

static_assert(std::is_standard_layout_v<RunState>);
static_assert(std::is_trivially_copyable_v<RunState>);
static_assert(sizeof(RunState) <= kRunStateSize, "RunState must fit the host block");

// Brings a newly created block's header to its first state: geometry zero,
// scale 1.0, no working memory, the show-dialog flag set.
void initRunStateHeader(RunState& state);

}  // namespace mirel
