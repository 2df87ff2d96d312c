// Decoding and drawing the pictures among the resources.
#include "ui/resource_images.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "resources/resources.h"
#include "settings/jpeg_codec.h"
#include "ui/control_table.h"

namespace mirel::ui {

namespace {

gui::Image fromRgb(const JpegPixels& pixels) {
    gui::Image image;
    image.width = pixels.width;
    image.height = pixels.height;
    image.rgba.resize(std::size_t(pixels.width) * pixels.height * 4);
    const std::uint8_t* from = pixels.rgb.data();
    std::uint8_t* to = image.rgba.data();
    for (std::size_t i = 0, n = std::size_t(pixels.width) * pixels.height; i < n; ++i) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
        to[3] = 255;
        from += 3;
        to += 4;
    }
    return image;
}

int deviceSize(int logical, double ratio) {
    return std::max(1, int(std::lround(logical * std::max(ratio, 1.0))));
}

}  // namespace

bool decodeJpegResource(int id, gui::Image& out) {
    out = gui::Image{};
    JpegPixels pixels;
    if (!decodeJpegPixels(findResource(kJpegType, id), pixels)) return false;
    out = fromRgb(pixels);
    return true;
}

gui::Image shrinkImage(const gui::Image& source, int width, int height) {
    gui::Image out;
    if (source.empty() || width < 1 || height < 1) return out;
    out.width = width;
    out.height = height;
    out.rgba.assign(std::size_t(width) * height * 4, 0);
    // Each target pixel averages the source area it covers, edges weighted by
    // the part they cover: a box filter, which does not alias when shrinking.
    const double sx = double(source.width) / width;
    const double sy = double(source.height) / height;
    std::vector<double> sums(static_cast<std::size_t>(width) * 4);
    std::vector<double> weights(static_cast<std::size_t>(width));
    for (int ty = 0; ty < height; ++ty) {
        std::fill(sums.begin(), sums.end(), 0.0);
        std::fill(weights.begin(), weights.end(), 0.0);
        const double y0 = ty * sy;
        const double y1 = y0 + sy;
        for (int y = int(y0); y < std::min(source.height, int(std::ceil(y1))); ++y) {
            const double wy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
            if (wy <= 0) continue;
            const std::uint8_t* row = source.rgba.data() + std::size_t(y) * source.width * 4;
            for (int tx = 0; tx < width; ++tx) {
                const double x0 = tx * sx;
                const double x1 = x0 + sx;
                for (int x = int(x0); x < std::min(source.width, int(std::ceil(x1))); ++x) {
                    const double wx = std::min<double>(x + 1, x1) - std::max<double>(x, x0);
                    if (wx <= 0) continue;
                    const std::uint8_t* p = row + std::size_t(x) * 4;
                    const double w = wx * wy;
                    const double a = p[3] * w;
                    double* sum = &sums[std::size_t(tx) * 4];
                    sum[0] += p[0] * a;
                    sum[1] += p[1] * a;
                    sum[2] += p[2] * a;
                    sum[3] += a;
                    weights[std::size_t(tx)] += w;
                }
            }
        }
        std::uint8_t* to = out.rgba.data() + std::size_t(ty) * width * 4;
        for (int tx = 0; tx < width; ++tx, to += 4) {
            const double* sum = &sums[std::size_t(tx) * 4];
            const double w = weights[std::size_t(tx)];
            if (sum[3] <= 0 || w <= 0) continue;  // transparent stays transparent black
            for (int c = 0; c < 3; ++c)
                to[c] = std::uint8_t(std::clamp(sum[c] / sum[3] + 0.5, 0.0, 255.0));
            to[3] = std::uint8_t(std::clamp(sum[3] / w + 0.5, 0.0, 255.0));
        }
    }
    return out;
}

bool prefersLargeVariant(int deviceWidth, int smallWidth) {
    if (smallWidth <= 0) return true;
    return std::abs(deviceWidth - 2 * smallWidth) < std::abs(deviceWidth - smallWidth);
}

const ResourceImages::Entry& ResourceImages::entry(std::string_view type, int id) {
    const auto key = std::make_pair(std::string(type), id);
    const auto found = decoded_.find(key);
    if (found != decoded_.end()) return found->second;
    Entry made;
    if (id != kNoImage) {
        if (type == kJpegType)
            made.present = decodeJpegResource(id, made.image);
        else
            made.present = gui::decodeImage(findResource(type, id), made.image, &made.hotSpot);
    }
    return decoded_.emplace(key, std::move(made)).first->second;
}

const gui::Image* ResourceImages::find(std::string_view type, int id) {
    const Entry& found = entry(type, id);
    return found.present ? &found.image : nullptr;
}

const gui::Image* ResourceImages::findCursor(int id, gui::Point& hotSpot) {
    const Entry& found = entry(kCursorType, id);
    hotSpot = found.hotSpot;
    return found.present ? &found.image : nullptr;
}

void ResourceImages::drawBitmap(gui::DrawingSurface& surface, const gui::Rect& target, int normalId,
                                int largeId) {
    if (target.width <= 0 || target.height <= 0) return;
    const gui::Image* normal = find(kBitmapType, normalId);
    const gui::Image* large = largeId != kNoImage ? find(kBitmapType, largeId) : nullptr;
    const gui::Image* chosen = normal;
    const int device = deviceSize(target.width, surface.devicePixelRatio());
    if (large && (!normal || prefersLargeVariant(device, normal->width))) chosen = large;
    if (chosen) surface.drawImage(target, *chosen);
}

void ResourceImages::drawIcon(gui::DrawingSurface& surface, const gui::Rect& target, int id) {
    if (const gui::Image* icon = find(kIconType, id)) surface.drawImage(target, *icon);
}

void ResourceImages::drawJpeg(gui::DrawingSurface& surface, const gui::Rect& target, int id) {
    if (target.width <= 0 || target.height <= 0) return;
    const gui::Image* picture = find(kJpegType, id);
    if (!picture) return;
    const double ratio = surface.devicePixelRatio();
    const int width = deviceSize(target.width, ratio);
    const int height = deviceSize(target.height, ratio);
    if (width >= picture->width && height >= picture->height) {
        surface.drawImage(target, *picture);
        return;
    }
    const auto key = std::make_tuple(id, width, height);
    auto found = shrunk_.find(key);
    if (found == shrunk_.end())
        found = shrunk_.emplace(key, shrinkImage(*picture, width, height)).first;
    surface.drawImage(target, found->second);
}

}  // namespace mirel::ui
