// Tile-job memory from the host's buffer suite or from global memory.
#include "host/host_buffers.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace mirel {

namespace {

constexpr std::int16_t kNeededBufferProcs = 6;

bool obtainFromSuite(const pi::BufferProcs& procs, std::size_t bytes, HostBuffer& buffer) {
    // The suite counts in 32 bits; larger buffers come from global memory.
    if (bytes > std::size_t(std::numeric_limits<std::int32_t>::max())) return false;
    pi::BufferID id = nullptr;
    if (procs.allocateProc(std::int32_t(bytes), &id) != pi::kNoErr || !id) return false;
    pi::Ptr memory = procs.lockProc(id, 1);
    if (!memory) {
        procs.freeProc(id);
        return false;
    }
    std::memset(memory, 0, bytes);
    buffer.data = reinterpret_cast<std::uint8_t*>(memory);
    buffer.size = bytes;
    buffer.bufferId = id;
    return true;
}

bool obtainFromGlobalMemory(std::size_t bytes, HostBuffer& buffer) {
    os::GlobalHandle handle = os::globalAlloc(bytes);
    if (!handle) return false;
    void* memory = os::globalLock(handle);
    if (!memory) {
        os::globalFree(handle);
        return false;
    }
    buffer.data = static_cast<std::uint8_t*>(memory);
    buffer.size = bytes;
    buffer.globalHandle = handle;
    return true;
}

}  // namespace

bool bufferSuiteUsable(const pi::BufferProcs* procs) {
    if (!procs || procs->bufferProcsVersion != pi::kCurrentBufferProcsVersion) return false;
    if (procs->numBufferProcs < kNeededBufferProcs) return false;
    return pi::procPresent(procs, &pi::BufferProcs::allocateProc) &&
           pi::procPresent(procs, &pi::BufferProcs::lockProc) &&
           pi::procPresent(procs, &pi::BufferProcs::unlockProc) &&
           pi::procPresent(procs, &pi::BufferProcs::freeProc) &&
           pi::procPresent(procs, &pi::BufferProcs::spaceProc);
}

bool obtainHostBuffer(const pi::FilterRecord& record, std::size_t bytes, HostBuffer& buffer) {
    buffer = {};
    if (bytes == 0) bytes = 1;
    if (bufferSuiteUsable(record.bufferProcs) &&
        obtainFromSuite(*record.bufferProcs, bytes, buffer))
        return true;
    return obtainFromGlobalMemory(bytes, buffer);
}

void releaseHostBuffer(const pi::FilterRecord& record, HostBuffer& buffer) {
    if (buffer.bufferId) {
        // Obtained through the suite, which the host keeps for the whole run.
        const pi::BufferProcs* procs = record.bufferProcs;
        if (procs) {
            procs->unlockProc(buffer.bufferId);
            procs->freeProc(buffer.bufferId);
        }
    } else if (buffer.globalHandle) {
        os::globalUnlock(buffer.globalHandle);
        os::globalFree(buffer.globalHandle);
    }
    buffer = {};
}

jobs::HostBufferService hostBufferService(const pi::FilterRecord& record) {
    jobs::HostBufferService service;
    service.obtain = [&record](std::size_t bytes, void*& token) -> void* {
        std::unique_ptr<HostBuffer> buffer(new (std::nothrow) HostBuffer);
        if (!buffer || !obtainHostBuffer(record, bytes, *buffer)) return nullptr;
        void* memory = buffer->data;
        token = buffer.release();
        return memory;
    };
    service.release = [&record](void* token) {
        std::unique_ptr<HostBuffer> buffer(static_cast<HostBuffer*>(token));
        releaseHostBuffer(record, *buffer);
    };
    return service;
}

}  // namespace mirel
