// What a program hands the host to filter: a picture it keeps (pixels, planes,
// depth, ICC profile), read and written a run of pixels at a time, so that the
// picture may live in the program's own memory, in a paint program's buffers or
// anywhere else. A selection mask is a second store of one 8-bit channel.
#pragma once

#include <cstdint>
#include <span>

namespace mirel::hostkit {

// Full-scale value of a 16-bit sample as the plug-in interface sees it.
inline constexpr std::uint32_t kInterface16Max = 32768;

// channels: 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA. Samples are in the
// interface's scales: 8 bits 0..255, 16 bits 0..32768, 32 bits float with 0..1
// nominal (other values kept).
struct PictureShape {
    std::int32_t width = 0, height = 0;
    int channels = 0;
    int bitsPerChannel = 8;

    int sampleBytes() const { return bitsPerChannel / 8; }
    bool hasAlpha() const { return channels == 2 || channels == 4; }
    bool isGrey() const { return channels <= 2; }
};

class PictureStore {
  public:
    virtual ~PictureStore() = default;

    virtual PictureShape shape() const = 0;

    // Copy `count` pixels of row `y` from column `x` on, every channel
    // interleaved, out of or into `samples`. The host asks only for pixels
    // inside the picture.
    virtual void readPixels(std::int32_t x, std::int32_t y, std::int32_t count,
                            std::uint8_t* samples) const = 0;
    virtual void writePixels(std::int32_t x, std::int32_t y, std::int32_t count,
                             const std::uint8_t* samples) = 0;

    // The picture's ICC profile; empty when it has none. The host offers the
    // filter a copy to read.
    virtual std::span<const std::uint8_t> iccProfileBytes() const { return {}; }
};

}  // namespace mirel::hostkit
