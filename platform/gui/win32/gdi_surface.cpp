// Painting for dialog procedures with GDI.
#include "platform/gui/win32/gdi_surface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gui/win32/image_scale.h"
#include "platform/gui/win32/win32_runtime.h"

namespace mirel::gui::win32 {

namespace {

COLORREF toColorref(Rgb color) {
    return RGB(color.red, color.green, color.blue);
}

// Points of the design resolution as a character height in pixels, rounded
// as the Qt backend rounds its pixel sizes.
int textPixels(double points) {
    return std::max(1, int(std::lround(points * kDesignDpi / 72.0)));
}

}  // namespace

GdiSurface::GdiSurface(HDC dc) : dc_(dc) {}

GdiSurface::~GdiSurface() {
    for (auto& [key, handle] : fonts_) ::DeleteObject(handle);
}

HFONT GdiSurface::font(const FontRequest& request) {
    const auto key = std::make_tuple(request.name, textPixels(request.points), request.bold);
    const auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second;
    HFONT made = createFont(request.name, std::get<1>(key), request.bold);
    fonts_.emplace(key, made);
    return made;
}

void GdiSurface::fillRect(const Rect& rect, Rgb color) {
    if (rect.width <= 0 || rect.height <= 0) return;
    const RECT r = toRECT(rect);
    ::SetDCBrushColor(dc_, toColorref(color));
    ::FillRect(dc_, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
}

void GdiSurface::frameRect(const Rect& rect, Rgb color) {
    if (rect.width <= 0 || rect.height <= 0) return;
    fillRect({rect.x, rect.y, rect.width, 1}, color);
    fillRect({rect.x, rect.y + rect.height - 1, rect.width, 1}, color);
    fillRect({rect.x, rect.y, 1, rect.height}, color);
    fillRect({rect.x + rect.width - 1, rect.y, 1, rect.height}, color);
}

void GdiSurface::setPixel(Point point, Rgb color) {
    ::SetPixelV(dc_, point.x, point.y, toColorref(color));
}

void GdiSurface::drawText(const Rect& rect, std::string_view text, const FontRequest& request,
                          Rgb color, TextAlign align) {
    if (rect.width <= 0 || rect.height <= 0 || text.empty()) return;
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    switch (align) {
        case TextAlign::Left:
            format |= DT_LEFT;
            break;
        case TextAlign::Center:
            format |= DT_CENTER;
            break;
        case TextAlign::Right:
            format |= DT_RIGHT;
            break;
    }
    RECT box = toRECT(rect);
    const std::wstring shown = wide(text);
    const HGDIOBJ previousFont = ::SelectObject(dc_, font(request));
    const int previousMode = ::SetBkMode(dc_, TRANSPARENT);
    const COLORREF previousColor = ::SetTextColor(dc_, toColorref(color));
    // DrawText clips to the box unless told otherwise.
    ::DrawTextW(dc_, shown.c_str(), int(shown.size()), &box, format);
    ::SetTextColor(dc_, previousColor);
    ::SetBkMode(dc_, previousMode);
    ::SelectObject(dc_, previousFont);
}

void GdiSurface::drawLine(Point from, Point to, Rgb color) {
    HPEN pen = ::CreatePen(PS_SOLID, 1, toColorref(color));
    const HGDIOBJ previous = ::SelectObject(dc_, pen);
    ::MoveToEx(dc_, from.x, from.y, nullptr);
    ::LineTo(dc_, to.x, to.y);
    ::SelectObject(dc_, previous);
    ::DeleteObject(pen);
    // GDI leaves out a line's last pixel; this surface's lines include both ends.
    setPixel(to, color);
}

void GdiSurface::drawFocusRect(const Rect& rect) {
    if (rect.width <= 0 || rect.height <= 0) return;
    const RECT r = toRECT(rect);
    // DrawFocusRect inverts; on a known background black and white read best.
    const COLORREF previousText = ::SetTextColor(dc_, RGB(0, 0, 0));
    const COLORREF previousBack = ::SetBkColor(dc_, RGB(255, 255, 255));
    ::DrawFocusRect(dc_, &r);
    ::SetBkColor(dc_, previousBack);
    ::SetTextColor(dc_, previousText);
}

void GdiSurface::drawBitmap(Point at, const Bgr24View& bitmap) {
    if (!bitmap.bits || bitmap.width <= 0 || bitmap.height <= 0 ||
        bitmap.rowBytes < std::int64_t(bitmap.width) * 3 || bitmap.rowBytes > INT32_MAX)
        return;
    // A device-independent bitmap's rows are padded to four bytes; a view with
    // other rows is copied into that layout first.
    const std::int64_t dibRow = (std::int64_t(bitmap.width) * 3 + 3) & ~std::int64_t(3);
    const std::uint8_t* bits = bitmap.bits;
    std::vector<std::uint8_t> copy;
    if (bitmap.rowBytes != dibRow) {
        copy.assign(std::size_t(dibRow) * bitmap.height, 0);
        for (int y = 0; y < bitmap.height; ++y)
            std::memcpy(copy.data() + std::size_t(dibRow) * y,
                        bitmap.bits + std::size_t(bitmap.rowBytes) * y,
                        std::size_t(bitmap.width) * 3);
        bits = copy.data();
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = bitmap.width;
    info.bmiHeader.biHeight = -bitmap.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    ::SetDIBitsToDevice(dc_, at.x, at.y, DWORD(bitmap.width), DWORD(bitmap.height), 0, 0, 0,
                        UINT(bitmap.height), bits, &info, DIB_RGB_COLORS);
}

void GdiSurface::drawImage(const Rect& target, const Image& image) {
    if (image.empty() || target.width <= 0 || target.height <= 0) return;
    const Image sized = resampled(image, target.width, target.height);
    if (sized.empty()) return;
    const std::vector<std::uint8_t> pixels = premultipliedBgra(sized);
    if (isOpaque(sized)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = sized.width;
        info.bmiHeader.biHeight = -sized.height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        ::SetDIBitsToDevice(dc_, target.x, target.y, DWORD(sized.width), DWORD(sized.height), 0, 0,
                            0, UINT(sized.height), pixels.data(), &info, DIB_RGB_COLORS);
        return;
    }
    HBITMAP bitmap = createDibSection(sized.width, sized.height, pixels.data());
    if (!bitmap) return;
    HDC source = ::CreateCompatibleDC(dc_);
    if (source) {
        const HGDIOBJ previous = ::SelectObject(source, bitmap);
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::GdiAlphaBlend(dc_, target.x, target.y, sized.width, sized.height, source, 0, 0,
                        sized.width, sized.height, blend);
        ::SelectObject(source, previous);
        ::DeleteDC(source);
    }
    ::DeleteObject(bitmap);
}

BufferedPaint::BufferedPaint(HDC target, const RECT& area, POINT at)
    : target_(target), area_(area), at_(at) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    buffer_ = ::CreateCompatibleDC(target);
    bitmap_ = buffer_ ? ::CreateCompatibleBitmap(target, width, height) : nullptr;
    if (!bitmap_) {
        if (buffer_) ::DeleteDC(buffer_);
        buffer_ = nullptr;
        return;
    }
    previous_ = ::SelectObject(buffer_, bitmap_);
    // Client coordinates on the buffer: its origin is the area's corner.
    ::SetViewportOrgEx(buffer_, -area.left, -area.top, nullptr);
}

BufferedPaint::~BufferedPaint() {
    if (!buffer_) return;
    ::SetViewportOrgEx(buffer_, 0, 0, nullptr);
    ::BitBlt(target_, at_.x, at_.y, area_.right - area_.left, area_.bottom - area_.top, buffer_, 0,
             0, SRCCOPY);
    ::SelectObject(buffer_, previous_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(buffer_);
}

}  // namespace mirel::gui::win32
