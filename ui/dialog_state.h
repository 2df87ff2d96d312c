// The main dialog's state while it is open: the per-control runtime tables
// and the interaction state (capture, pointer, cursor). The zoom level and
// pan offset of the preview live in the parameter block, where the render
// reads them.
#pragma once

#include <array>
#include <cstdint>

#include "platform/gui/dialog_template.h"
#include "ui/control_table.h"

namespace mirel::ui {

// Indexed by control id.
struct ControlRuntime {
    std::array<int, kControlIdCount> value{};  // slider position, list choice, dot state
    std::array<int, kControlIdCount> minimum{};
    std::array<int, kControlIdCount> maximum{};
    std::array<bool, kControlIdCount> enabled{};
    std::array<std::array<int, kImageSlotCount>, kControlIdCount> images{};
};

enum class PointerButton { Left = 0, Right = 1 };

// What the pointer shows.
enum class CursorState { Arrow = 0, Pan = 2, Pane = 3, Wait = 4 };

struct DialogState {
    int capturedId = kNoControl;
    std::uint32_t pressTicks = 0;
    bool moved = false;
    gui::Point lastPointer{-1, -1};
    bool lastControlHeld = false;  // the light pad reacts to Ctrl without a move
    PointerButton button = PointerButton::Left;
    bool shiftAtPress = false;
    int hoveredDot = -1;
    int fitLevel = 1;  // the zoom level at which the whole picture shows
    CursorState cursor = CursorState::Arrow;
    bool rebuildRunning = false;  // while a folder of settings files is rebuilt
};

}  // namespace mirel::ui
