// The memory dot ring and the dot preview on the main dialog.
#include "ui/memory_dot_ring.h"

#include "host/plugin_main.h"
#include "host/preview_render.h"
#include "image/thumbnails.h"
#include "settings/memory_dots.h"
#include "ui/control_table.h"
#include "ui/folder_rebuild.h"
#include "ui/memory_dots_page.h"
#include "ui/thumbnail_view.h"

namespace mirel::ui {

namespace {

// JPEG images of a dot, pressed and not pressed, by its state and kept flag.
struct DotImages {
    int pressed;
    int normal;
};
constexpr DotImages kEmptyImages{341, 342};
constexpr DotImages kFilledImages{331, 332};
constexpr DotImages kCurrentImages{333, 334};
constexpr DotImages kFilledKeptImages{337, 338};
constexpr DotImages kCurrentKeptImages{339, 340};

// The thumbnail sits inside the frame: 4/96 of the width in, 88/96 of it wide.
constexpr int kFrameUnits = 96;
constexpr int kThumbnailInsetUnits = 4;
constexpr int kThumbnailUnits = 88;

DotImages imagesFor(DotState state, bool kept) {
    switch (state) {
        case DotState::Empty:
            return kEmptyImages;
        case DotState::Filled:
            return kept ? kFilledKeptImages : kFilledImages;
        case DotState::Current:
            return kept ? kCurrentKeptImages : kCurrentImages;
    }
    return kEmptyImages;
}

}  // namespace

MemoryDotRing::MemoryDotRing(FilterContext& ctx) : ctx_(ctx) {}

MemoryDots& MemoryDotRing::dots() const {
    return ctx_.memoryDots;
}

void MemoryDotRing::bindImages() {
    dots().thumbnail = ctx_.session.thumbnailImage.get();
    dots().dotPreview = &ctx_.session.dotPreviewImage;
}

bool MemoryDotRing::isDot(int controlId) {
    return controlId >= id::kFirstMemoryDot && controlId <= id::kLastMemoryDot;
}

int MemoryDotRing::dotIndexOf(int controlId) {
    return isDot(controlId) ? controlId - id::kFirstMemoryDot : kNoDot;
}

void MemoryDotRing::redrawDot(gui::DialogHandle& dialog, int index) {
    if (!isDotIndex(index)) return;
    const int controlId = id::kFirstMemoryDot + index;
    const auto i = std::size_t(index);
    int value = int(dots().state[i]);
    if (dots().kept[i]) value += kDotValueKept;
    if (pressed_[i]) value += kDotValuePressed;
    dialog.setControlValue(controlId, value);
    dialog.redraw(dialog.controlRect(controlId));
}

void MemoryDotRing::redrawPreview(gui::DialogHandle& dialog) {
    dialog.setControlValue(id::kDotPreview, dots().previewShown ? dots().hovered : kNoDot);
    dialog.redraw(dialog.controlRect(id::kDotPreview));
}

void MemoryDotRing::redrawAllDots(gui::DialogHandle& dialog) {
    for (int i = 0; i < kMemoryDotCount; ++i) redrawDot(dialog, i);
    redrawPreview(dialog);
}

void MemoryDotRing::clear(gui::DialogHandle& dialog) {
    bindImages();
    pressed_.fill(false);
    clearDotStates(dots());
    redrawAllDots(dialog);
}

void MemoryDotRing::open(gui::DialogHandle& dialog) {
    bindImages();
    clearDotStates(dots());
    restoreKeptDots(dots());
    const int first = firstUnkeptDot(dots());
    if (first != kNoDot) store(dialog, first);
    redrawAllDots(dialog);
}

void MemoryDotRing::store(gui::DialogHandle& dialog, int index) {
    if (!isDotIndex(index) || !ctx_.params) return;
    if (image::TiledImage* thumbnail = ctx_.session.thumbnailImage.get())
        makeThumbnailFromCleanPreview(ctx_, *thumbnail);
    storeDot(dots(), index, ctx_.params->settings);
    redrawAllDots(dialog);
}

void MemoryDotRing::paintDot(gui::DrawingSurface& surface, ResourceImages& images, int controlId,
                             const gui::Rect& rect) const {
    const int index = dotIndexOf(controlId);
    if (index == kNoDot) return;
    const auto i = std::size_t(index);
    const DotImages ids = imagesFor(dots().state[i], dots().kept[i] != 0);
    images.drawJpeg(surface, rect, pressed_[i] ? ids.pressed : ids.normal);
}

void MemoryDotRing::paintPreview(gui::DrawingSurface& surface, ResourceImages& images,
                                 const gui::Rect& rect) const {
    // Drawn square: as high as it is wide.
    const gui::Rect square{rect.x, rect.y, rect.width, rect.width};
    images.drawBitmap(surface, square, image_id::kDotPreviewFrame, kNoImage);
    const std::unique_ptr<image::TiledImage>& shown = ctx_.session.dotPreviewImage;
    if (!dots().previewShown || dots().hovered == kNoDot || !shown) return;
    const int inset = rect.width * kThumbnailInsetUnits / kFrameUnits;
    const int side = rect.width * kThumbnailUnits / kFrameUnits;
    drawThumbnail(surface, {rect.x + inset, rect.y + inset, side, side}, *shown);
}

void MemoryDotRing::hover(gui::DialogHandle& dialog, gui::Point pointer) {
    for (int i = 0; i < kMemoryDotCount; ++i) {
        if (!dialog.controlRect(id::kFirstMemoryDot + i).contains(pointer)) continue;
        if (!isFilled(dots(), i)) {
            if (dots().hovered != kNoDot || dots().previewShown) {
                clearDotPreview(dots());
                redrawPreview(dialog);
            }
        } else if (dots().hovered != i) {
            loadDotThumbnail(dots(), i);
            redrawPreview(dialog);
        }
    }
}

void MemoryDotRing::pressedMove(gui::DialogHandle& dialog, int controlId, gui::Point pointer) {
    const int index = dotIndexOf(controlId);
    if (index == kNoDot) return;
    const bool inside = dialog.controlRect(controlId).contains(pointer);
    if (pressed_[std::size_t(index)] == inside) return;
    pressed_[std::size_t(index)] = inside;
    redrawDot(dialog, index);
}

void MemoryDotRing::released(gui::DialogHandle& dialog, int controlId) {
    const int index = dotIndexOf(controlId);
    if (index == kNoDot || !pressed_[std::size_t(index)]) return;
    pressed_[std::size_t(index)] = false;
    redrawDot(dialog, index);
}

DotClickResult MemoryDotRing::click(gui::DialogHandle& dialog, int controlId, PointerButton button,
                                    bool shift, const DotRingActions& actions,
                                    bool& rebuildRunning) {
    if (!ctx_.params) return {};
    bindImages();
    if (isDot(controlId)) return clickDot(dialog, dotIndexOf(controlId), button, shift);
    if (controlId == id::kDotPreview)
        return clickPreview(dialog, button, shift, actions, rebuildRunning);
    return {};
}

DotClickResult MemoryDotRing::clickDot(gui::DialogHandle& dialog, int index, PointerButton button,
                                       bool shift) {
    const auto i = std::size_t(index);
    const bool right = button == PointerButton::Right;
    DotClickResult result;
    if (!isFilled(dots(), index)) {
        // Left with Shift stores for this opening only; the others keep the dot.
        dots().kept[i] = right || !shift ? 1 : 0;
        store(dialog, index);
    } else if (right) {
        eraseDot(dots(), index);
        redrawAllDots(dialog);
    } else if (shift) {
        forgetDot(dots(), index);
        redrawDot(dialog, index);
    } else {
        recallDot(dots(), index, ctx_.params->settings);
        redrawAllDots(dialog);
        result.settingsChanged = true;
    }
    // A dot that holds settings after the click is a full step, unless Shift was held.
    if (isFilled(dots(), index) && !shift) result.undoStep = UndoStep::Full;
    return result;
}

DotClickResult MemoryDotRing::clickPreview(gui::DialogHandle& dialog, PointerButton button,
                                           bool shift, const DotRingActions& actions,
                                           bool& rebuildRunning) {
    DotClickResult result;
    if (button == PointerButton::Right) {
        writeMemoryDotsPageFromDialog(ctx_, actions);
        return result;
    }
    if (shift) {
        rebuildSettingsFolder(ctx_, actions, rebuildRunning);
        return result;
    }
    const int hovered = dots().hovered;
    if (!isFilled(dots(), hovered)) return result;
    recallDot(dots(), hovered, ctx_.params->settings);
    redrawAllDots(dialog);
    result.settingsChanged = true;
    result.undoStep = UndoStep::Full;
    return result;
}

}  // namespace mirel::ui
