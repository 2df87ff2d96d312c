// Reading and writing GIMP's buffers for the host, with the 16-bit scale mapping of
// the host program's picture files.
#include "apps/gimp-mirel/gegl_picture.h"

#include <cstring>

#include "apps/mirel/image_file.h"

namespace mirel::gimp_app {

namespace {

GeglRectangle rowOf(std::int32_t x, std::int32_t y, std::int32_t count) {
    return GeglRectangle{x, y, count, 1};
}

}  // namespace

bool handedFormatOf(const Babl* drawableFormat, HandedFormat& handed, std::string& error) {
    if (!drawableFormat || babl_format_is_palette(drawableFormat)) {
        error = "Mirel works on RGB and grey layers; convert an indexed image first";
        return false;
    }
    const int channels = babl_format_get_n_components(drawableFormat);
    if (channels < 1 || channels > 4) {
        error = "Mirel works on RGB and grey layers";
        return false;
    }
    const Babl* type = babl_format_get_type(drawableFormat, 0);
    handed.shape.channels = channels;
    if (type == babl_type("u8")) {
        handed.format = drawableFormat;
        handed.shape.bitsPerChannel = 8;
    } else if (type == babl_type("u16")) {
        handed.format = drawableFormat;
        handed.shape.bitsPerChannel = 16;
    } else {
        // Half floats, 32-bit integers and doubles reach the filter as floats in the
        // drawable's own model (linear or perceptual) and space.
        const std::string model = babl_get_name(babl_format_get_model(drawableFormat));
        handed.format = babl_format_with_space((model + " float").c_str(), drawableFormat);
        handed.shape.bitsPerChannel = 32;
    }
    return handed.format != nullptr;
}

GeglPicture::GeglPicture(GeglBuffer* buffer, const HandedFormat& handed, std::int32_t width,
                         std::int32_t height, std::vector<std::uint8_t> iccProfile)
    : buffer_(static_cast<GeglBuffer*>(g_object_ref(buffer))),
      format_(handed.format),
      shape_(handed.shape),
      iccProfile_(std::move(iccProfile)) {
    shape_.width = width;
    shape_.height = height;
}

GeglPicture::~GeglPicture() {
    g_object_unref(buffer_);
}

void GeglPicture::readPixels(std::int32_t x, std::int32_t y, std::int32_t count,
                             std::uint8_t* samples) const {
    const GeglRectangle row = rowOf(x, y, count);
    gegl_buffer_get(buffer_, &row, 1.0, format_, samples, GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    if (shape_.bitsPerChannel != 16) return;
    const std::int64_t values = std::int64_t(count) * shape_.channels;
    for (std::int64_t i = 0; i < values; ++i) {
        std::uint16_t value;
        std::memcpy(&value, samples + 2 * i, 2);
        value = host_app::fileToInterface16(value);
        std::memcpy(samples + 2 * i, &value, 2);
    }
}

void GeglPicture::writePixels(std::int32_t x, std::int32_t y, std::int32_t count,
                              const std::uint8_t* samples) {
    const GeglRectangle row = rowOf(x, y, count);
    if (shape_.bitsPerChannel == 16) {
        const std::int64_t values = std::int64_t(count) * shape_.channels;
        scratch_.resize(std::size_t(values) * 2);
        for (std::int64_t i = 0; i < values; ++i) {
            std::uint16_t value;
            std::memcpy(&value, samples + 2 * i, 2);
            value = host_app::interfaceToFile16(value);
            std::memcpy(scratch_.data() + 2 * i, &value, 2);
        }
        samples = scratch_.data();
    }
    gegl_buffer_set(buffer_, &row, 0, format_, samples, GEGL_AUTO_ROWSTRIDE);
}

GeglMask::GeglMask(GeglBuffer* selection, std::int32_t offsetX, std::int32_t offsetY,
                   std::int32_t width, std::int32_t height)
    : selection_(static_cast<GeglBuffer*>(g_object_ref(selection))),
      offsetX_(offsetX),
      offsetY_(offsetY),
      width_(width),
      height_(height) {}

GeglMask::~GeglMask() {
    g_object_unref(selection_);
}

void GeglMask::readPixels(std::int32_t x, std::int32_t y, std::int32_t count,
                          std::uint8_t* samples) const {
    const GeglRectangle row = rowOf(x + offsetX_, y + offsetY_, count);
    gegl_buffer_get(selection_, &row, 1.0, babl_format("Y u8"), samples, GEGL_AUTO_ROWSTRIDE,
                    GEGL_ABYSS_NONE);
}

}  // namespace mirel::gimp_app
