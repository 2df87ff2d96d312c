// GIMP's pixels as the host's pictures: a drawable's buffer read and written a run
// of pixels at a time through GEGL, in the format the filter is handed, and the
// image's selection as the mask.
#pragma once

#include <gegl.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "apps/host/picture_store.h"

namespace mirel::gimp_app {

// How a drawable of one format is handed to the filter: 8 and 16 bits as GIMP keeps
// them (16 bits scaled to the interface's 0..32768 on the way), every other precision
// as 32-bit float in the drawable's own colour model and space.
struct HandedFormat {
    const Babl* format = nullptr;
    hostkit::PictureShape shape;  // width and height are left to the caller
};

// False with one line in `error` for a format the filter cannot take (indexed colour).
bool handedFormatOf(const Babl* drawableFormat, HandedFormat& handed, std::string& error);

// A GEGL buffer the size of the picture. Takes a reference to the buffer.
class GeglPicture final : public hostkit::PictureStore {
  public:
    GeglPicture(GeglBuffer* buffer, const HandedFormat& handed, std::int32_t width,
                std::int32_t height, std::vector<std::uint8_t> iccProfile);
    ~GeglPicture() override;
    GeglPicture(const GeglPicture&) = delete;
    GeglPicture& operator=(const GeglPicture&) = delete;

    hostkit::PictureShape shape() const override { return shape_; }
    void readPixels(std::int32_t x, std::int32_t y, std::int32_t count,
                    std::uint8_t* samples) const override;
    void writePixels(std::int32_t x, std::int32_t y, std::int32_t count,
                     const std::uint8_t* samples) override;
    std::span<const std::uint8_t> iccProfileBytes() const override { return iccProfile_; }

  private:
    GeglBuffer* buffer_;
    const Babl* format_;
    hostkit::PictureShape shape_;
    std::vector<std::uint8_t> iccProfile_;
    mutable std::vector<std::uint8_t> scratch_;  // 16-bit rows on their way out
};

// The image's selection over a drawable: one 8-bit channel of the drawable's size,
// read from the selection at the drawable's offset in the image; 0 outside the image.
class GeglMask final : public hostkit::PictureStore {
  public:
    GeglMask(GeglBuffer* selection, std::int32_t offsetX, std::int32_t offsetY, std::int32_t width,
             std::int32_t height);
    ~GeglMask() override;
    GeglMask(const GeglMask&) = delete;
    GeglMask& operator=(const GeglMask&) = delete;

    hostkit::PictureShape shape() const override { return {width_, height_, 1, 8}; }
    void readPixels(std::int32_t x, std::int32_t y, std::int32_t count,
                    std::uint8_t* samples) const override;
    // The selection is only read.
    void writePixels(std::int32_t, std::int32_t, std::int32_t, const std::uint8_t*) override {}

  private:
    GeglBuffer* selection_;
    std::int32_t offsetX_, offsetY_, width_, height_;
};

}  // namespace mirel::gimp_app
