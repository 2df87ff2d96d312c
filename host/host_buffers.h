// Working memory of the render's tile jobs: from the host's buffer suite when
// it offers a usable one, else zeroed global memory; released the same way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jobs/tiled_jobs.h"
#include "platform/os/os.h"
#include "platform/pi/pi.h"

namespace mirel {

// A buffer suite is used only at version 2 with at least six procedures and
// allocate, lock, unlock, free and space all present.
bool bufferSuiteUsable(const pi::BufferProcs* procs);

struct HostBuffer {
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
    pi::BufferID bufferId = nullptr;          // set when the host's suite gave it
    os::GlobalHandle globalHandle = nullptr;  // set when global memory gave it
};

// Obtains `bytes` of zeroed memory: allocate and lock (moving high) through
// the host's suite, or, when there is none, it refuses or the lock fails,
// zeroed global memory, locked. False when neither can give it.
bool obtainHostBuffer(const pi::FilterRecord& record, std::size_t bytes, HostBuffer& buffer);

// Unlocks and frees the buffer the way it was obtained; an empty buffer is left alone.
void releaseHostBuffer(const pi::FilterRecord& record, HostBuffer& buffer);

// The render's cell grids through obtainHostBuffer and releaseHostBuffer. The
// record must outlive the render.
jobs::HostBufferService hostBufferService(const pi::FilterRecord& record);

}  // namespace mirel
