// Drawing the colour swatches and choosing their colours.
#include "ui/color_swatch.h"

#include <array>
#include <cstring>

#include "host/plugin_main.h"
#include "platform/gui/color_dialog.h"
#include "ui/control_table.h"

namespace mirel::ui {

namespace {

constexpr gui::Rgb kBlack{0, 0, 0};
constexpr gui::Rgb kWhite{255, 255, 255};
constexpr gui::Rgb kLight{240, 240, 240};
constexpr gui::Rgb kShadow{128, 128, 128};
constexpr gui::Rgb kDisabledFrame{140, 140, 140};
constexpr gui::Rgb kFace{222, 222, 222};

// The system dialog's custom colours, kept while the plug-in is loaded.
std::array<gui::Rgb, gui::kCustomColorCount>& customColors() {
    static std::array<gui::Rgb, gui::kCustomColorCount> colors = [] {
        std::array<gui::Rgb, gui::kCustomColorCount> white;
        white.fill(kWhite);
        return white;
    }();
    return colors;
}

gui::Rgb toScreen(const Rgb16& color) {
    return {std::uint8_t(color.red >> 8), std::uint8_t(color.green >> 8),
            std::uint8_t(color.blue >> 8)};
}

Rgb16 fromEightBit(int red, int green, int blue) {
    return {std::uint16_t((red & 0xFF) << 8), std::uint16_t((green & 0xFF) << 8),
            std::uint16_t((blue & 0xFF) << 8)};
}

// Two-colour 1-pixel rectangle: `topLeft` on the top and left, `bottomRight`
// on the bottom and right.
void bevel(gui::DrawingSurface& surface, const gui::Rect& r, gui::Rgb topLeft,
           gui::Rgb bottomRight) {
    surface.fillRect({r.x, r.y, r.width, 1}, topLeft);
    surface.fillRect({r.x, r.y, 1, r.height}, topLeft);
    surface.fillRect({r.x, r.y + r.height - 1, r.width, 1}, bottomRight);
    surface.fillRect({r.x + r.width - 1, r.y, 1, r.height}, bottomRight);
}

gui::Rect inset(const gui::Rect& r, int by) {
    return {r.x + by, r.y + by, r.width - 2 * by, r.height - 2 * by};
}

enum class HostPick { Chosen, Cancelled, Failed };

// The host's picker: the prompt as a length-prefixed string, the colour as
// 8-bit components.
HostPick chooseWithHost(pi::FilterRecord& record, Rgb16& color, int promptIndex) {
    const std::string_view prompt = labelText(promptIndex);
    pi::Str255 text{};
    const std::size_t length = std::min<std::size_t>(prompt.size(), sizeof(text) - 1);
    text[0] = std::uint8_t(length);
    std::memcpy(text + 1, prompt.data(), length);
    pi::ColorServicesInfo info{};
    info.infoSize = sizeof(info);
    info.selector = pi::kChooseColor;
    info.sourceSpace = pi::kRGBSpace;
    info.resultSpace = pi::kRGBSpace;
    info.colorComponents[0] = std::int16_t(color.red >> 8);
    info.colorComponents[1] = std::int16_t(color.green >> 8);
    info.colorComponents[2] = std::int16_t(color.blue >> 8);
    info.selectorParameter.pickerPrompt = &text;
    const pi::OSErr error = record.colorServices(&info);
    if (error == pi::kUserCanceledErr) return HostPick::Cancelled;
    if (error != pi::kNoErr) return HostPick::Failed;
    color = fromEightBit(info.colorComponents[0], info.colorComponents[1], info.colorComponents[2]);
    return HostPick::Chosen;
}

}  // namespace

void drawColorSwatch(gui::DrawingSurface& surface, const gui::DrawItem& item, const Rgb16& color) {
    const gui::Rect r = item.rect;
    if (r.width <= 0 || r.height <= 0) return;
    surface.fillRect(r, kFace);
    if (!item.enabled) {
        surface.frameRect(r, kDisabledFrame);
    } else if (item.pressed) {
        surface.frameRect(r, kBlack);
        surface.frameRect(inset(r, 1), kShadow);
    } else {
        bevel(surface, r, kLight, kBlack);
        bevel(surface, inset(r, 1), kWhite, kShadow);
    }
    surface.fillRect(inset(r, item.focused ? 3 : 2), toScreen(color));
    if (item.focused) surface.drawFocusRect(inset(r, 4));
}

bool chooseSwatchColor(FilterContext& ctx, Rgb16& color, int promptIndex, void* ownerWindow) {
    // A host whose picker fails (many offer the service and answer every request
    // with an error) leaves the choice to our own colour dialog.
    if (ctx.record && ctx.record->colorServices) {
        const HostPick picked = chooseWithHost(*ctx.record, color, promptIndex);
        if (picked != HostPick::Failed) return picked == HostPick::Chosen;
    }
    gui::Rgb picked = toScreen(color);
    if (!gui::chooseColor(picked, customColors(), ownerWindow)) return false;
    color = fromEightBit(picked.red, picked.green, picked.blue);
    return true;
}

}  // namespace mirel::ui
