// Finding a selection's bounds a row at a time.
#include "apps/host/selection_bounds.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace mirel::hostkit {

std::optional<IntRect> selectionBounds(const PictureStore& mask) {
    const PictureShape shape = mask.shape();
    if (shape.width <= 0 || shape.height <= 0 || shape.channels != 1 || shape.bitsPerChannel != 8)
        return std::nullopt;
    std::vector<std::uint8_t> row(std::size_t(shape.width));
    IntRect bounds{shape.height, shape.width, 0, 0};
    for (std::int32_t y = 0; y < shape.height; ++y) {
        mask.readPixels(0, y, shape.width, row.data());
        const auto first = std::find_if(row.begin(), row.end(), [](std::uint8_t v) { return v; });
        if (first == row.end()) continue;
        const auto last = std::find_if(row.rbegin(), row.rend(), [](std::uint8_t v) { return v; });
        bounds.top = std::min(bounds.top, y);
        bounds.bottom = y + 1;
        bounds.left = std::min(bounds.left, std::int32_t(first - row.begin()));
        bounds.right = std::max(bounds.right, std::int32_t(row.rend() - last));
    }
    if (bounds.empty()) return std::nullopt;
    return bounds;
}

}  // namespace mirel::hostkit
