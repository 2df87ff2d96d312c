// Drawing a settings thumbnail into a window.
#include "ui/thumbnail_view.h"

namespace mirel::ui {

gui::Image thumbnailPicture(const image::TiledImage& thumbnail, int width, int height) {
    gui::Image picture;
    if (!image::hasTiles(thumbnail) || width < 1 || height < 1) return picture;
    std::unique_ptr<image::TiledImage> sized =
        image::create(width, height, image::SampleFormat::Rgba8);
    if (!sized || !image::copyImage(thumbnail, *sized)) return picture;
    picture.width = width;
    picture.height = height;
    picture.rgba.resize(std::size_t(width) * std::size_t(height) * 4);
    std::uint8_t* out = picture.rgba.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t word = image::readRgba8(*sized, x, y, 0);
            *out++ = std::uint8_t(word >> 24);
            *out++ = std::uint8_t(word >> 16);
            *out++ = std::uint8_t(word >> 8);
            // The window shows the colours as they are; transparency plays no part.
            *out++ = 255;
        }
    }
    return picture;
}

void drawThumbnail(gui::DrawingSurface& surface, const gui::Rect& rect,
                   const image::TiledImage& thumbnail) {
    const gui::Image picture = thumbnailPicture(thumbnail, rect.width, rect.height);
    if (picture.empty()) return;
    // Centred on the rectangle's middle, as whole pixels.
    const int left = rect.x + rect.width / 2 - picture.width / 2;
    const int top = rect.y + rect.height / 2 - picture.height / 2;
    surface.drawImage({left, top, picture.width, picture.height}, picture);
}

}  // namespace mirel::ui
