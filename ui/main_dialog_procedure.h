// The main dialog's procedure: start-up, commands, mouse, timer, painting.
// Private to ui/; main_dialog.h is the interface.
#pragma once

#include <cstdint>

#include "platform/gui/dialog.h"
#include "settings/settings_record.h"
#include "ui/dialog_state.h"
#include "ui/memory_dot_ring.h"
#include "ui/preview_pane.h"
#include "ui/resource_images.h"
#include "ui/undo_steps.h"

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

// Typed values take effect this long after the last keystroke.
constexpr int kTypingTimerId = 8064;
constexpr int kTypingDelayMs = 1000;

class MainDialogProcedure final : public gui::DialogProcedure {
  public:
    explicit MainDialogProcedure(FilterContext& ctx);

    void onInit(gui::DialogHandle& dialog) override;
    bool onCommand(gui::DialogHandle& dialog, int controlId, int notification) override;
    void onMouseDown(gui::DialogHandle& dialog, const gui::MouseEvent& event) override;
    void onMouseMove(gui::DialogHandle& dialog, const gui::MouseEvent& event) override;
    void onMouseUp(gui::DialogHandle& dialog, const gui::MouseEvent& event) override;
    void onTimer(gui::DialogHandle& dialog, int timerId) override;
    void onPaint(gui::DialogHandle& dialog, gui::DrawingSurface& surface,
                 const gui::Rect& dirty) override;
    void onDrawItem(gui::DialogHandle& dialog, gui::DrawingSurface& surface,
                    const gui::DrawItem& item) override;

  private:
    SettingsRecord& settings();

    // The record into the controls, and the controls into the record.
    void writeControls(gui::DialogHandle& dialog);
    void readControls(gui::DialogHandle& dialog);
    void showWhatTheStyleUses(gui::DialogHandle& dialog);
    // A value field whose text holds no number goes back to the last good value.
    void restoreUnreadableField(gui::DialogHandle& dialog, int fieldId);
    void writeField(gui::DialogHandle& dialog, int fieldId, double value);
    void setSliderPosition(gui::DialogHandle& dialog, int sliderId, int position);
    void fieldTextChanged(gui::DialogHandle& dialog, int fieldId);
    // Reads the controls, renders the preview and draws it.
    void renderAgain(gui::DialogHandle& dialog);
    void setCursorState(gui::DialogHandle& dialog, CursorState cursor);
    void updateCursor(gui::DialogHandle& dialog, gui::Point pointer);

    // The first control under the pointer that the mouse works on.
    int controlAt(const gui::DialogHandle& dialog, gui::Point pointer) const;
    void dragSlider(gui::DialogHandle& dialog, gui::Point pointer);
    void dragLight(gui::DialogHandle& dialog, gui::Point pointer, bool controlHeld);
    void pressPreview(gui::DialogHandle& dialog, gui::Point pointer);
    void releasePreview(gui::DialogHandle& dialog, gui::Point pointer);

    // Click handlers, in the order the command handling runs them. Each acts
    // only on its own ids and sets `renderAgain` when the preview must follow.
    void chooseColor(gui::DialogHandle& dialog, int controlId, bool& renderAgain);
    void zoom(int controlId, bool& renderAgain);
    void filesExportAndDots(gui::DialogHandle& dialog, int controlId, bool& renderAgain);
    void aboutAndInfo(gui::DialogHandle& dialog, int controlId);
    void undo(gui::DialogHandle& dialog, int controlId, bool& renderAgain);
    void nextModeAndRandom(gui::DialogHandle& dialog, int controlId, bool& renderAgain);
    void newSeed(gui::DialogHandle& dialog, int controlId, bool& renderAgain);
    void plainSettings(gui::DialogHandle& dialog, int controlId, bool& renderAgain);
    void closeWithOk(gui::DialogHandle& dialog);
    void closeWithCancel(gui::DialogHandle& dialog);

    // Painting by kind.
    void paintControl(gui::DialogHandle& dialog, gui::DrawingSurface& surface, int controlId,
                      const gui::Rect& rect);
    void paintLabel(gui::DialogHandle& dialog, gui::DrawingSurface& surface, int controlId,
                    const gui::Rect& rect);
    double scaleFactor(const gui::DialogHandle& dialog) const;

    FilterContext& ctx_;
    DialogState state_;
    ControlRuntime runtime_;
    SettingsRecord entryCopy_{};
    ResourceImages images_;
    PreviewPane pane_;
    MemoryDotRing dots_;
};

}  // namespace mirel::ui
