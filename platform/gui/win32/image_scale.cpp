// Resampling pictures for GDI, and making bitmaps, icons and cursors of them.
#include "platform/gui/win32/image_scale.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mirel::gui::win32 {

namespace {

// The weights of one output position along one axis: the first source index
// and the normalised weights from there on.
struct Taps {
    int first = 0;
    std::vector<float> weights;
};

std::vector<Taps> tentTaps(int sourceSize, int targetSize) {
    std::vector<Taps> taps(static_cast<std::size_t>(targetSize));
    const double scale = double(sourceSize) / targetSize;
    // Shrinking widens the filter to cover every source pixel that falls into
    // the target pixel; enlarging keeps it one source pixel wide (bilinear).
    const double support = std::max(1.0, scale);
    for (int i = 0; i < targetSize; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        const int first = int(std::floor(centre - support)) + 1;
        const int last = int(std::ceil(centre + support)) - 1;
        Taps& t = taps[std::size_t(i)];
        t.first = std::clamp(first, 0, sourceSize - 1);
        const int end = std::clamp(last, 0, sourceSize - 1);
        t.weights.assign(std::size_t(end - t.first + 1), 0.0f);
        double sum = 0;
        for (int j = first; j <= last; ++j) {
            const double w = std::max(0.0, 1.0 - std::abs(j - centre) / support);
            // Beyond the edges the edge pixel stands in.
            const int at = std::clamp(j, 0, sourceSize - 1);
            t.weights[std::size_t(at - t.first)] += float(w);
            sum += w;
        }
        if (sum > 0)
            for (float& w : t.weights) w = float(w / sum);
    }
    return taps;
}

}  // namespace

Image resampled(const Image& image, int width, int height) {
    Image out;
    if (image.empty() || width < 1 || height < 1) return out;
    out.width = width;
    out.height = height;
    out.density = image.density;
    if (width == image.width && height == image.height) {
        out.rgba = image.rgba;
        return out;
    }
    const std::vector<Taps> across = tentTaps(image.width, width);
    const std::vector<Taps> down = tentTaps(image.height, height);
    // Horizontal pass into premultiplied floats, then the vertical pass.
    std::vector<float> rows(std::size_t(width) * image.height * 4);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* source = image.rgba.data() + std::size_t(y) * image.width * 4;
        float* row = rows.data() + std::size_t(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            const Taps& t = across[std::size_t(x)];
            float sum[4] = {0, 0, 0, 0};
            for (std::size_t k = 0; k < t.weights.size(); ++k) {
                const std::uint8_t* p = source + (std::size_t(t.first) + k) * 4;
                const float a = p[3] * t.weights[k];
                sum[0] += p[0] * a;
                sum[1] += p[1] * a;
                sum[2] += p[2] * a;
                sum[3] += a;
            }
            std::memcpy(row + std::size_t(x) * 4, sum, sizeof sum);
        }
    }
    out.rgba.assign(std::size_t(width) * height * 4, 0);
    for (int y = 0; y < height; ++y) {
        const Taps& t = down[std::size_t(y)];
        std::uint8_t* target = out.rgba.data() + std::size_t(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            float sum[4] = {0, 0, 0, 0};
            for (std::size_t k = 0; k < t.weights.size(); ++k) {
                const float* p = rows.data() + ((std::size_t(t.first) + k) * width + x) * 4;
                for (int c = 0; c < 4; ++c) sum[c] += p[c] * t.weights[k];
            }
            std::uint8_t* q = target + std::size_t(x) * 4;
            if (sum[3] <= 0.0f) continue;  // transparent stays transparent black
            for (int c = 0; c < 3; ++c)
                q[c] = std::uint8_t(std::clamp(sum[c] / sum[3] + 0.5f, 0.0f, 255.0f));
            q[3] = std::uint8_t(std::clamp(sum[3] + 0.5f, 0.0f, 255.0f));
        }
    }
    return out;
}

std::vector<std::uint8_t> premultipliedBgra(const Image& image) {
    std::vector<std::uint8_t> out;
    if (image.empty()) return out;
    const std::size_t count = std::size_t(image.width) * image.height;
    out.resize(count * 4);
    const std::uint8_t* p = image.rgba.data();
    std::uint8_t* q = out.data();
    for (std::size_t i = 0; i < count; ++i, p += 4, q += 4) {
        const unsigned a = p[3];
        q[0] = std::uint8_t((p[2] * a + 127) / 255);
        q[1] = std::uint8_t((p[1] * a + 127) / 255);
        q[2] = std::uint8_t((p[0] * a + 127) / 255);
        q[3] = std::uint8_t(a);
    }
    return out;
}

bool isOpaque(const Image& image) {
    for (std::size_t i = 3; i < image.rgba.size(); i += 4)
        if (image.rgba[i] != 255) return false;
    return true;
}

HBITMAP createDibSection(int width, int height, const std::uint8_t* pixels) {
    if (width < 1 || height < 1) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) ::DeleteObject(bitmap);
        return nullptr;
    }
    if (pixels) std::memcpy(bits, pixels, std::size_t(width) * height * 4);
    return bitmap;
}

HICON createIconFrom(const Image& image, bool cursor, Point hotSpot) {
    if (image.empty()) return nullptr;
    // Icons take straight (not premultiplied) alpha in a 32-bit colour bitmap;
    // the mask is unused then but must exist.
    std::vector<std::uint8_t> bgra(image.rgba.size());
    for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
        bgra[i] = image.rgba[i + 2];
        bgra[i + 1] = image.rgba[i + 1];
        bgra[i + 2] = image.rgba[i];
        bgra[i + 3] = image.rgba[i + 3];
    }
    HBITMAP color = createDibSection(image.width, image.height, bgra.data());
    // The colour bitmap's alpha says what shows; the mask still outlines the
    // shape, since the system draws a disabled button's icon from it.
    const std::size_t maskRow = std::size_t((image.width + 15) / 16) * 2;
    std::vector<std::uint8_t> outline(maskRow * image.height, 0);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.rgba[(std::size_t(y) * image.width + x) * 4 + 3] < 128)
                outline[maskRow * y + std::size_t(x) / 8] |= std::uint8_t(0x80u >> (x % 8));
    HBITMAP mask = ::CreateBitmap(image.width, image.height, 1, 1, outline.data());
    HICON icon = nullptr;
    if (color && mask) {
        ICONINFO info{};
        info.fIcon = cursor ? FALSE : TRUE;
        info.xHotspot = DWORD(std::clamp(hotSpot.x, 0, image.width - 1));
        info.yHotspot = DWORD(std::clamp(hotSpot.y, 0, image.height - 1));
        info.hbmMask = mask;
        info.hbmColor = color;
        icon = ::CreateIconIndirect(&info);
    }
    if (color) ::DeleteObject(color);
    if (mask) ::DeleteObject(mask);
    return icon;
}

}  // namespace mirel::gui::win32
