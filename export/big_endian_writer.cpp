// Buffered big-endian writing into a byte sink.
#include "export/big_endian_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace mirel {

namespace {

// Large enough that a document of many megabytes goes out in few system calls,
// small enough to keep beside a render's images.
constexpr std::size_t kBufferBytes = 1 << 18;

}  // namespace

bool MemorySink::write(std::span<const std::uint8_t> bytes) {
    try {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

BigEndianWriter::BigEndianWriter(ByteSink& sink) : sink_(sink) {
    heapBuffer_.reset(new (std::nothrow) std::uint8_t[kBufferBytes]);
    if (heapBuffer_) {
        buffer_ = heapBuffer_.get();
        capacity_ = kBufferBytes;
    }
}

BigEndianWriter::~BigEndianWriter() {
    flush();
}

bool BigEndianWriter::flush() {
    if (used_ > 0) {
        // After a failure nothing more reaches the sink: the file is abandoned.
        if (!failed_ && !sink_.write({buffer_, used_})) failed_ = true;
        used_ = 0;
    }
    return !failed_;
}

void BigEndianWriter::append(const std::uint8_t* bytes, std::size_t size) {
    count_ += size;
    if (size >= capacity_) {
        flush();
        if (!failed_ && !sink_.write({bytes, size})) failed_ = true;
        return;
    }
    if (used_ + size > capacity_) flush();
    std::memcpy(buffer_ + used_, bytes, size);
    used_ += size;
}

void BigEndianWriter::put8(std::uint8_t value) {
    append(&value, 1);
}

void BigEndianWriter::put16(std::uint16_t value) {
    const std::uint8_t bytes[2] = {std::uint8_t(value >> 8), std::uint8_t(value)};
    append(bytes, sizeof bytes);
}

void BigEndianWriter::put32(std::uint32_t value) {
    const std::uint8_t bytes[4] = {std::uint8_t(value >> 24), std::uint8_t(value >> 16),
                                   std::uint8_t(value >> 8), std::uint8_t(value)};
    append(bytes, sizeof bytes);
}

void BigEndianWriter::putFloat(float value) {
    put32(std::bit_cast<std::uint32_t>(value));
}

void BigEndianWriter::putBytes(std::span<const std::uint8_t> bytes) {
    append(bytes.data(), bytes.size());
}

void BigEndianWriter::putText(std::string_view text) {
    append(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void BigEndianWriter::putZeros(std::uint64_t count) {
    static constexpr std::uint8_t kZeros[256] = {};
    while (count > 0) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(count, sizeof kZeros));
        append(kZeros, n);
        count -= n;
    }
}

}  // namespace mirel
