// The 25 memory dots on their arc under the preview and the dot preview in
// the middle: how they look by state, hovering that shows a dot's thumbnail,
// the pressed look while the button is held, and what a click does by the
// dot's state, the button and Shift. The store behind them is
// settings/memory_dots.h.
#pragma once

#include <array>
#include <functional>

#include "image/tiled_image.h"
#include "platform/gui/dialog.h"
#include "settings/memory_dots.h"
#include "ui/dialog_state.h"
#include "ui/resource_images.h"
#include "ui/undo_steps.h"

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

// What the dialog does for the ring: write the record into its controls,
// render the preview again, show a cursor.
struct DotRingActions {
    std::function<void()> writeControls;
    std::function<void()> renderAgain;
    std::function<void(CursorState)> setCursor;
};

// What a click on a dot or on the dot preview asks of the dialog afterwards.
struct DotClickResult {
    bool settingsChanged = false;  // write the record into the controls and render again
    UndoStep undoStep = UndoStep::None;
};

// The value a dot shows through DialogHandle::setControlValue, for tests and
// accessibility tools: its state (0 empty, 1 filled, 2 current), plus 4 when
// kept, plus 8 while pressed.
constexpr int kDotValueKept = 4;
constexpr int kDotValuePressed = 8;

class MemoryDotRing {
  public:
    explicit MemoryDotRing(FilterContext& ctx);

    // Every dot empty and the dot preview cleared; the kept flags stay.
    void clear(gui::DialogHandle& dialog);
    // The opening, after the first preview: the kept dots filled, the current
    // settings stored into the first dot not kept (none when all are kept).
    void open(gui::DialogHandle& dialog);

    static bool isDot(int controlId);
    static int dotIndexOf(int controlId);  // -1 for ids that are no dot

    void paintDot(gui::DrawingSurface& surface, ResourceImages& images, int controlId,
                  const gui::Rect& rect) const;
    void paintPreview(gui::DrawingSurface& surface, ResourceImages& images,
                      const gui::Rect& rect) const;

    // A move with nothing captured: the dot under the pointer shows its thumbnail.
    void hover(gui::DialogHandle& dialog, gui::Point pointer);
    // While a dot is captured, its pressed look follows whether the pointer is on it.
    void pressedMove(gui::DialogHandle& dialog, int controlId, gui::Point pointer);
    // The button let go over a captured dot: the pressed look ends.
    void released(gui::DialogHandle& dialog, int controlId);

    // The click command of a dot (121..145) or of the dot preview (119).
    DotClickResult click(gui::DialogHandle& dialog, int controlId, PointerButton button, bool shift,
                         const DotRingActions& actions, bool& rebuildRunning);

  private:
    MemoryDots& dots() const;
    void bindImages();
    void redrawDot(gui::DialogHandle& dialog, int index);
    void redrawPreview(gui::DialogHandle& dialog);
    void redrawAllDots(gui::DialogHandle& dialog);
    // Makes the thumbnail from the preview and stores the settings into dot `index`.
    void store(gui::DialogHandle& dialog, int index);
    DotClickResult clickDot(gui::DialogHandle& dialog, int index, PointerButton button, bool shift);
    DotClickResult clickPreview(gui::DialogHandle& dialog, PointerButton button, bool shift,
                                const DotRingActions& actions, bool& rebuildRunning);

    FilterContext& ctx_;
    std::array<bool, kMemoryDotCount> pressed_{};
};

}  // namespace mirel::ui
