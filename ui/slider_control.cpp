// The program-drawn sliders and the text of their value fields.
#include "ui/slider_control.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "settings/settings_record.h"
#include "ui/control_table.h"
#include "ui/resource_images.h"

namespace mirel::ui {

namespace {

// The slider's geometry is in units of one thirteenth of its height: the
// thumb is 12 units wide and the travel keeps one unit free at each end.
constexpr double kSliderUnits = 13.0;
constexpr double kThumbUnits = 12.0;
// Drag arithmetic: the pointer's x is taken 4 pixels left of where it is,
// and the travel is the width less 14 pixels.
constexpr int kDragPointerShift = 4;
constexpr int kDragTravelMargin = 14;

constexpr gui::Rgb kDisabledFill{222, 222, 222};
constexpr gui::Rgb kDisabledFrame{140, 140, 140};

int rangeOf(int minimum, int maximum) {
    const long long range = (long long)maximum - minimum;
    return range <= 0 ? 1 : int(std::min<long long>(range, INT32_MAX));
}

}  // namespace

gui::Rect sliderThumbRect(const gui::Rect& slider, int position, int minimum, int maximum) {
    const int left = slider.x;
    const int right = slider.x + slider.width;
    const int top = slider.y;
    const int bottom = slider.y + slider.height;
    const double u = slider.height / kSliderUnits;
    const int a = int(left + u);
    const int b = int(right - kThumbUnits * u - u);
    const long long r = rangeOf(minimum, maximum);
    const int thumbLeft = a + int((long long)(b - a) * ((long long)position - minimum) / r);
    const int thumbRight = int(thumbLeft + kThumbUnits * u);
    const int thumbTop = int(top + u);
    const int thumbBottom = int(bottom - u);
    return {thumbLeft, thumbTop, thumbRight - thumbLeft, thumbBottom - thumbTop};
}

int sliderPositionAt(int pointerX, const gui::Rect& slider, int minimum, int maximum) {
    const long long travel = std::max(1, slider.width - kDragTravelMargin);
    const long long r = rangeOf(minimum, maximum);
    const long long offset = (long long)pointerX - kDragPointerShift - slider.x - 1;
    const long long position = minimum + offset * r / travel;
    return int(std::clamp<long long>(position, minimum, maximum));
}

void drawSlider(gui::DrawingSurface& surface, ResourceImages& images, const gui::Rect& slider,
                int trackImage, int position, int minimum, int maximum, bool enabled) {
    if (slider.width <= 0 || slider.height <= 0) return;
    if (!enabled) {
        const gui::Rect box{slider.x, slider.y, slider.width - 1, slider.height};
        surface.fillRect(box, kDisabledFill);
        surface.frameRect(box, kDisabledFrame);
        return;  // a disabled slider shows no thumb
    }
    images.drawBitmap(surface, slider, trackImage, kNoImage);
    images.drawBitmap(surface, sliderThumbRect(slider, position, minimum, maximum),
                      image_id::kSliderThumb, image_id::kSliderThumbLarge);
}

std::string formatFieldValue(double value) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    if (error != std::errc()) return "0";
    return std::string(buffer, end);
}

std::optional<double> parseFieldValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t digitsStart = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    std::size_t digits = i - digitsStart;
    if (i < text.size() && text[i] == '.') {
        ++i;
        const std::size_t fraction = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        digits += i - fraction;
    }
    if (digits == 0) return std::nullopt;
    // An exponent counts only when digits follow it.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        const std::size_t exponentDigits = j;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
        if (j > exponentDigits) i = j;
    }
    // from_chars takes no '+'.
    std::string_view number = text.substr(start, i - start);
    bool negative = false;
    if (!number.empty() && (number[0] == '+' || number[0] == '-')) {
        negative = number[0] == '-';
        number.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too large gives the largest value, too small zero; clamping does the rest.
        const std::size_t e = number.find_first_of("eE");
        const bool tiny =
            e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::max();
    } else if (error != std::errc() || end != number.data() + number.size()) {
        return 0.0;
    }
    return negative ? -value : value;
}

int sliderPositionOf(double value) {
    return truncateToInt32(value);
}

}  // namespace mirel::ui
