// Movable, zero-filled "global memory" blocks addressed by handle. A block
// may move only while nobody holds it locked, so locked pointers stay valid.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/os/os.h"

namespace mirel::os {

// One block. `lockCount` nests like the system's lock count; the pointer
// handed out by globalLock stays valid until the count falls back to zero.
// A block is used by one thread at a time (the pool's driver thread).
struct GlobalBlock {
    void* data = nullptr;
    std::size_t size = 0;
    std::uint32_t lockCount = 0;
};

namespace {

// Sizes beyond this cannot be indexed with a signed difference of pointers;
// refusing them early also keeps size arithmetic of callers from wrapping.
constexpr std::size_t kMaxBlockBytes =
    static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());

// An empty block still owns one byte, so that locking it gives a usable,
// non-null pointer as for any other block.
std::size_t storageFor(std::size_t bytes) {
    return bytes == 0 ? 1 : bytes;
}

}  // namespace

GlobalHandle globalAlloc(std::size_t bytes) {
    if (bytes > kMaxBlockBytes) return nullptr;
    auto* block = static_cast<GlobalBlock*>(std::calloc(1, sizeof(GlobalBlock)));
    if (!block) return nullptr;
    block->data = std::calloc(storageFor(bytes), 1);
    if (!block->data) {
        std::free(block);
        return nullptr;
    }
    block->size = bytes;
    block->lockCount = 0;
    return block;
}

void* globalLock(GlobalHandle handle) {
    if (!handle) return nullptr;
    // A count at its limit means unbalanced calls; refusing keeps the block
    // from ever looking unlocked while pointers to it are out.
    if (handle->lockCount == std::numeric_limits<std::uint32_t>::max()) return nullptr;
    ++handle->lockCount;
    return handle->data;
}

void globalUnlock(GlobalHandle handle) {
    if (handle && handle->lockCount > 0) --handle->lockCount;
}

std::size_t globalSize(GlobalHandle handle) {
    return handle ? handle->size : 0;
}

bool globalResize(GlobalHandle handle, std::size_t bytes) {
    if (!handle || handle->lockCount > 0 || bytes > kMaxBlockBytes) return false;
    if (bytes == handle->size) return true;
    void* moved = std::realloc(handle->data, storageFor(bytes));
    if (!moved) return false;  // realloc left the old block as it was
    // Bytes past the old size are new to the caller and must read as zero,
    // including bytes that were dropped by an earlier shrink.
    if (bytes > handle->size)
        std::memset(static_cast<unsigned char*>(moved) + handle->size, 0, bytes - handle->size);
    handle->data = moved;
    handle->size = bytes;
    return true;
}

void globalFree(GlobalHandle handle) {
    if (!handle) return;
    std::free(handle->data);
    std::free(handle);
}

}  // namespace mirel::os
