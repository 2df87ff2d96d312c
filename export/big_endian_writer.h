// Streams of big-endian numbers and raw bytes into a sink, buffered, with the
// byte count kept and the first failure remembered, so that a writer of a long
// file can write section after section and check once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace mirel {

// Where a writer's bytes go: a file, memory, or a test's failing stand-in.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Takes all of `bytes` or returns false.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
};

// A sink that keeps everything in memory.
class MemorySink final : public ByteSink {
  public:
    bool write(std::span<const std::uint8_t> bytes) override;
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

class BigEndianWriter {
  public:
    explicit BigEndianWriter(ByteSink& sink);
    ~BigEndianWriter();  // flushes what is buffered
    BigEndianWriter(const BigEndianWriter&) = delete;
    BigEndianWriter& operator=(const BigEndianWriter&) = delete;

    void put8(std::uint8_t value);
    void put16(std::uint16_t value);
    void put32(std::uint32_t value);
    void putFloat(float value);  // the IEEE-754 bit pattern, big-endian
    void putBytes(std::span<const std::uint8_t> bytes);
    void putText(std::string_view text);  // the characters, no length, no terminator
    void putZeros(std::uint64_t count);

    // Hands the buffer to the sink. False once any write has failed.
    bool flush();
    // Bytes accepted so far (buffered or written); counts on after a failure.
    std::uint64_t count() const { return count_; }
    bool failed() const { return failed_; }

  private:
    void append(const std::uint8_t* bytes, std::size_t size);

    static constexpr std::size_t kFallbackBytes = 512;

    ByteSink& sink_;
    std::unique_ptr<std::uint8_t[]> heapBuffer_;
    std::uint8_t fallback_[kFallbackBytes];  // when the large buffer cannot be had
    std::uint8_t* buffer_ = fallback_;
    std::size_t capacity_ = kFallbackBytes;
    std::size_t used_ = 0;
    std::uint64_t count_ = 0;
    bool failed_ = false;
};

}  // namespace mirel
