// The main dialog: start-up, reading and writing the controls, commands,
// the mouse, the typing timer, OK and Cancel.
#include "ui/main_dialog.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <string>

#include "host/plugin_main.h"
#include "platform/os/os.h"
#include "render/output_modes.h"
#include "resources/resources.h"
#include "settings/randomiser.h"
#include "settings/undo_history.h"
#include "ui/about_box.h"
#include "ui/color_swatch.h"
#include "ui/control_table.h"
#include "ui/info_box.h"
#include "ui/light_pad.h"
#include "ui/main_dialog_procedure.h"
#include "ui/presets_page.h"
#include "ui/psd_export_dialog.h"
#include "ui/settings_file_buttons.h"
#include "ui/slider_control.h"
#include "ui/window_centring.h"

namespace mirel::ui {

namespace {

// Which record field each slider sets.
struct SliderBinding {
    int slider;
    float SettingsRecord::*field;
};

constexpr SliderBinding kSliderBindings[] = {
    {37, &SettingsRecord::horizon},     {57, &SettingsRecord::offset},
    {39, &SettingsRecord::perspective}, {103, &SettingsRecord::altitude},
    {152, &SettingsRecord::spin},       {59, &SettingsRecord::waviness},
    {63, &SettingsRecord::complexity},  {65, &SettingsRecord::brilliance},
    {61, &SettingsRecord::blur},        {55, &SettingsRecord::size},
    {12, &SettingsRecord::height},      {51, &SettingsRecord::undulation},
};

constexpr char kStyleNames[][8] = {"Simple", "Complex"};

// Outcomes the dialog records in the filter context.
constexpr std::int32_t kOutcomeOk = 1;
constexpr std::int32_t kOutcomeCancel = 2;

bool isThirtyTwoBit(const pi::FilterRecord& record) {
    return record.imageMode == pi::kModeRGB96 || record.imageMode == pi::kModeGray32 ||
           record.depth == 32;
}

// The mouse works on these kinds (and on the preview, by id).
bool takesTheMouse(ControlKind kind) {
    return kind == ControlKind::Slider || kind == ControlKind::LightPad ||
           kind == ControlKind::AboutIcon || kind == ControlKind::MemoryDot ||
           kind == ControlKind::DotPreview;
}

// A list shows value - 1; a value outside its entries shows no selection.
int listIndexOf(int value, int count) {
    return value >= 1 && value <= count ? value - 1 : -1;
}

}  // namespace

MainDialogProcedure::MainDialogProcedure(FilterContext& ctx) : ctx_(ctx), pane_(ctx), dots_(ctx) {}

SettingsRecord& MainDialogProcedure::settings() {
    return ctx_.params->settings;
}

// ---- Start-up -------------------------------------------------------------------

void MainDialogProcedure::onInit(gui::DialogHandle& dialog) {
    ctx_.dialogWindow = dialog.nativeWindow();
    centreDialog(dialog);

    runtime_.enabled.fill(true);
    ctx_.params->zoomLevel = 1;
    state_.capturedId = kNoControl;
    snapshotCopy(settings(), entryCopy_);

    for (int id = 0; id < kControlIdCount; ++id) {
        runtime_.images[std::size_t(id)] = controlSpec(id).images;
        if (controlKind(id) != ControlKind::IconButton) continue;
        // A button whose icon is missing keeps its text, so it still says what it does.
        const gui::Image* icon = images_.find(kIconType, controlSpec(id).images[kImageIcon]);
        if (icon && dialog.setButtonImage(id, *icon)) dialog.setControlText(id, "");
    }

    for (const render::OutputModeInfo& mode : render::outputModes())
        dialog.addComboItem(id::kModeList, mode.name);
    for (const char* name : kStyleNames) dialog.addComboItem(id::kStyleList, name);

    for (int id = 0; id < kControlIdCount; ++id) {
        if (controlKind(id) != ControlKind::Slider) continue;
        runtime_.minimum[std::size_t(id)] = controlSpec(id).minimum;
        runtime_.maximum[std::size_t(id)] = controlSpec(id).maximum;
    }

    writeControls(dialog);
    readControls(dialog);

    for (int dot = id::kFirstMemoryDot; dot <= id::kLastMemoryDot; ++dot)
        runtime_.value[std::size_t(dot)] = 0;
    state_.hoveredDot = -1;
    dots_.clear(dialog);
    if (isThirtyTwoBit(*ctx_.record)) {
        // The output modes need 16-bit channels; a float picture keeps "normal".
        for (int id : {id::kModeList, id::kModeLabel, id::kNextMode}) {
            runtime_.enabled[std::size_t(id)] = false;
            dialog.enableControl(id, false);
        }
    }

    pane_.setUp(dialog);
    if (pane_.previewPossible()) {
        setCursorState(dialog, CursorState::Wait);
        const bool stopAsked = ctx_.record->abortProc && ctx_.record->abortProc();
        if (!stopAsked) pane_.render(dialog);
        setCursorState(dialog, CursorState::Arrow);
    }

    dots_.open(dialog);
    pane_.updateZoomButtons(dialog);
    dialog.redrawAll();
}

// ---- The controls and the record -------------------------------------------------

void MainDialogProcedure::setSliderPosition(gui::DialogHandle& dialog, int sliderId, int position) {
    runtime_.value[std::size_t(sliderId)] = position;
    dialog.setControlValue(sliderId, position);
    dialog.redraw(dialog.controlRect(sliderId));
}

void MainDialogProcedure::writeField(gui::DialogHandle& dialog, int fieldId, double value) {
    dialog.setControlText(fieldId, formatFieldValue(value));
    // A change made here is no typing.
    dialog.killTimer(kTypingTimerId);
}

void MainDialogProcedure::writeControls(gui::DialogHandle& dialog) {
    SettingsRecord& record = settings();
    for (const SliderBinding& binding : kSliderBindings) {
        const double value = record.*binding.field;
        setSliderPosition(dialog, binding.slider, sliderPositionOf(value));
        writeField(dialog, controlSpec(binding.slider).fieldId, value);
    }
    const int modes = dialog.comboCount(id::kModeList);
    runtime_.value[id::kModeList] = record.outputMode;
    dialog.setComboSelection(id::kModeList, listIndexOf(record.outputMode, modes));
    const int styles = dialog.comboCount(id::kStyleList);
    runtime_.value[id::kStyleList] = record.waterStyle;
    dialog.setComboSelection(id::kStyleList, listIndexOf(record.waterStyle, styles));
    dialog.redraw(dialog.controlRect(id::kWaterColor));
    dialog.redraw(dialog.controlRect(id::kGlitterColor));
    dialog.redraw(dialog.controlRect(id::kLightPad));
    dialog.redraw(dialog.controlRect(id::kStatusLine));
    showWhatTheStyleUses(dialog);
}

// Simple water has no light and no glitter: their pad, swatch and label are
// greyed while it is chosen, as the mode list is for float pictures.
void MainDialogProcedure::showWhatTheStyleUses(gui::DialogHandle& dialog) {
    const bool lit = settings().waterStyle == kWaterStyleComplex;
    for (int id : {id::kLightPad, id::kGlitterColor, id::kGlitterLabel}) {
        if (runtime_.enabled[std::size_t(id)] == lit) continue;
        runtime_.enabled[std::size_t(id)] = lit;
        dialog.enableControl(id, lit);
        dialog.redraw(dialog.controlRect(id));
    }
}

void MainDialogProcedure::readControls(gui::DialogHandle& dialog) {
    SettingsRecord& record = settings();
    for (const SliderBinding& binding : kSliderBindings) {
        const int field = controlSpec(binding.slider).fieldId;
        const std::optional<double> typed = parseFieldValue(dialog.controlText(field));
        if (!typed) {
            restoreUnreadableField(dialog, field);
            continue;
        }
        const double value =
            std::clamp(*typed, double(runtime_.minimum[std::size_t(binding.slider)]),
                       double(runtime_.maximum[std::size_t(binding.slider)]));
        if (value != *typed) writeField(dialog, field, value);
        record.*binding.field = float(value);
    }
    // No selection reads as 0.
    record.outputMode = dialog.comboSelection(id::kModeList) + 1;
    record.waterStyle = dialog.comboSelection(id::kStyleList) + 1;
    runtime_.value[id::kModeList] = record.outputMode;
    runtime_.value[id::kStyleList] = record.waterStyle;
    showWhatTheStyleUses(dialog);
}

void MainDialogProcedure::restoreUnreadableField(gui::DialogHandle& dialog, int fieldId) {
    if (parseFieldValue(dialog.controlText(fieldId))) return;
    for (const SliderBinding& binding : kSliderBindings) {
        if (controlSpec(binding.slider).fieldId != fieldId) continue;
        const double kept = settings().*binding.field;
        writeField(dialog, fieldId, kept);
        setSliderPosition(dialog, binding.slider, sliderPositionOf(kept));
    }
}

void MainDialogProcedure::fieldTextChanged(gui::DialogHandle& dialog, int fieldId) {
    const int slider = controlSpec(fieldId).sliderId;
    if (slider == kNoControl) return;
    const std::optional<double> typed = parseFieldValue(dialog.controlText(fieldId));
    if (!typed) return;  // the slider stays until the text holds a number
    const double value = std::clamp(*typed, double(runtime_.minimum[std::size_t(slider)]),
                                    double(runtime_.maximum[std::size_t(slider)]));
    setSliderPosition(dialog, slider, sliderPositionOf(value));
}

void MainDialogProcedure::renderAgain(gui::DialogHandle& dialog) {
    readControls(dialog);
    if (!pane_.previewPossible()) return;
    setCursorState(dialog, CursorState::Wait);
    pane_.render(dialog);
    setCursorState(dialog, CursorState::Arrow);
}

// ---- Commands ---------------------------------------------------------------------

bool MainDialogProcedure::onCommand(gui::DialogHandle& dialog, int controlId, int notification) {
    const ControlKind kind = controlKind(controlId);
    if (kind == ControlKind::DropList && notification == gui::kNotifySelectionChanged) {
        runtime_.value[std::size_t(controlId)] = dialog.comboSelection(controlId) + 1;
        readControls(dialog);
        recordUndoStep(ctx_, UndoStep::Ordinary);
        dialog.killTimer(kTypingTimerId);
        renderAgain(dialog);
        return true;
    }
    if (notification == gui::kNotifyFocusLost) {
        if (kind == ControlKind::ValueField) restoreUnreadableField(dialog, controlId);
        return true;
    }
    if (notification == gui::kNotifyTextChanged) {
        if (kind == ControlKind::ValueField) {
            fieldTextChanged(dialog, controlId);
            dialog.setTimer(kTypingTimerId, kTypingDelayMs);
        }
        return true;
    }
    if (notification != gui::kNotifyClicked) return true;

    bool render = false;
    chooseColor(dialog, controlId, render);
    zoom(controlId, render);
    pane_.updateZoomButtons(dialog);
    filesExportAndDots(dialog, controlId, render);
    aboutAndInfo(dialog, controlId);
    undo(dialog, controlId, render);
    nextModeAndRandom(dialog, controlId, render);
    newSeed(dialog, controlId, render);
    plainSettings(dialog, controlId, render);

    readControls(dialog);
    recordUndoStep(ctx_, undoStepForClick(controlId));
    dialog.killTimer(kTypingTimerId);
    if (render) renderAgain(dialog);

    if (!state_.rebuildRunning) {
        if (controlId == id::kOk) closeWithOk(dialog);
        if (controlId == id::kCancel) closeWithCancel(dialog);
    }
    // Every command is the dialog's own: none of its buttons closes it unasked.
    return true;
}

void MainDialogProcedure::chooseColor(gui::DialogHandle& dialog, int controlId, bool& render) {
    if (controlKind(controlId) != ControlKind::ColorSwatch) return;
    Rgb16& color = controlId == id::kWaterColor ? settings().waterColor : settings().glitterColor;
    if (!chooseSwatchColor(ctx_, color, controlSpec(controlId).labelIndex, dialog.nativeWindow()))
        return;
    dialog.redraw(dialog.controlRect(controlId));
    render = true;
}

void MainDialogProcedure::zoom(int controlId, bool& render) {
    if (controlId != id::kZoomIn && controlId != id::kZoomOut && controlId != id::kZoomPercent)
        return;
    if (pane_.zoomClicked(controlId)) render = true;
}

void MainDialogProcedure::filesExportAndDots(gui::DialogHandle& dialog, int controlId,
                                             bool& render) {
    if (controlId == id::kSaveSettings && saveSettingsFromDialog(ctx_))
        dialog.redraw(dialog.controlRect(id::kStatusLine));
    if (controlId == id::kLoadSettings && loadSettingsFromDialog(ctx_)) {
        writeControls(dialog);
        render = true;
    }
    if (controlId == id::kPsdExport) runPsdExport(ctx_);
    if (controlId == id::kHtmlExport) runPresetsPage(ctx_, dialog);
    if (MemoryDotRing::isDot(controlId) || controlId == id::kDotPreview) {
        const DotRingActions actions{[&] { writeControls(dialog); }, [&] { renderAgain(dialog); },
                                     [&](CursorState cursor) { setCursorState(dialog, cursor); }};
        const DotClickResult clicked = dots_.click(
            dialog, controlId, state_.button, state_.shiftAtPress, actions, state_.rebuildRunning);
        if (clicked.settingsChanged) {
            writeControls(dialog);
            render = true;
        }
        recordUndoStep(ctx_, clicked.undoStep);
    }
}

void MainDialogProcedure::aboutAndInfo(gui::DialogHandle&, int controlId) {
    if (controlId == id::kAboutIcon) openAboutBox(ctx_);
    if (controlId == id::kInfo) openInfoBox(ctx_);
    // OK and Cancel take the small windows with them.
    if ((controlId == id::kOk || controlId == id::kCancel) && !state_.rebuildRunning) {
        closeAboutBox(ctx_);
        closeInfoBox(ctx_);
    }
}

void MainDialogProcedure::undo(gui::DialogHandle& dialog, int controlId, bool& render) {
    if (controlId != id::kUndo || !ctx_.run) return;
    if (!mirel::undo(ctx_.run->undo, settings(), ctx_.session.thumbnailImage.get())) return;
    writeControls(dialog);
    render = true;
}

void MainDialogProcedure::nextModeAndRandom(gui::DialogHandle& dialog, int controlId,
                                            bool& render) {
    if (controlId == id::kNextMode) {
        // A value typed a moment ago is taken before the record is written
        // back into the controls, not thrown away.
        readControls(dialog);
        SettingsRecord& record = settings();
        record.outputMode = record.outputMode + 1;
        if (record.outputMode > render::kOutputModeCount || record.outputMode < 1)
            record.outputMode = 1;
        writeControls(dialog);
        render = true;
    }
    if (controlId == id::kRandomSettings) {
        randomizeSettings(settings(), ctx_.random);
        writeControls(dialog);
        setSettingsName(settings(), kRandomSettingsName);
        dialog.redraw(dialog.controlRect(id::kStatusLine));
        render = true;
    }
}

void MainDialogProcedure::newSeed(gui::DialogHandle& dialog, int controlId, bool& render) {
    if (controlId != id::kNewSeed) return;
    newRandomSeed(settings(), ctx_.random);
    writeControls(dialog);
    setSettingsName(settings(), kRandomSettingsName);
    dialog.redraw(dialog.controlRect(id::kStatusLine));
    render = true;
}

void MainDialogProcedure::plainSettings(gui::DialogHandle& dialog, int controlId, bool& render) {
    if (controlId != id::kPlainSettings) return;
    applyDefaults(settings());
    setSettingsName(settings(), "plain settings");
    writeControls(dialog);
    render = true;
}

void MainDialogProcedure::closeWithOk(gui::DialogHandle& dialog) {
    dialog.killTimer(kTypingTimerId);
    readControls(dialog);
    ctx_.setResult(pi::kNoErr);
    ctx_.dialogFlags = kOutcomeOk;
    dialog.endDialog(kMainDialogOk);
}

void MainDialogProcedure::closeWithCancel(gui::DialogHandle& dialog) {
    dialog.killTimer(kTypingTimerId);
    // The centre point is not part of the copy: one picked in the preview stays.
    snapshotCopy(entryCopy_, settings());
    ctx_.setResult(pi::kUserCanceledErr);
    ctx_.dialogFlags = kOutcomeCancel;
    dialog.endDialog(kMainDialogCancelled);
}

void MainDialogProcedure::onTimer(gui::DialogHandle& dialog, int timerId) {
    if (timerId != kTypingTimerId) return;
    readControls(dialog);
    recordUndoStep(ctx_, UndoStep::Ordinary);
    dialog.killTimer(kTypingTimerId);
    renderAgain(dialog);
}

// ---- Mouse ------------------------------------------------------------------------

int MainDialogProcedure::controlAt(const gui::DialogHandle& dialog, gui::Point pointer) const {
    for (int id = 0; id < kControlIdCount; ++id) {
        if (!runtime_.enabled[std::size_t(id)]) continue;
        if (id != id::kPreview && !takesTheMouse(controlKind(id))) continue;
        if (dialog.controlRect(id).contains(pointer)) return id;
    }
    return kNoControl;
}

void MainDialogProcedure::setCursorState(gui::DialogHandle& dialog, CursorState cursor) {
    if (cursor == state_.cursor) return;
    state_.cursor = cursor;
    gui::Cursor shape;
    gui::Point hotSpot;
    switch (cursor) {
        case CursorState::Arrow:
            break;
        case CursorState::Wait:
            shape.shape = gui::CursorShape::Wait;
            break;
        case CursorState::Pane:
            shape.shape = gui::CursorShape::Cross;
            shape.image = images_.findCursor(image_id::kPaneCursor, hotSpot);
            break;
        case CursorState::Pan:
            shape.shape = gui::CursorShape::ClosedHand;
            shape.image = images_.findCursor(image_id::kPanCursor, hotSpot);
            break;
    }
    shape.hotSpot = hotSpot;
    dialog.setCursor(shape);
}

void MainDialogProcedure::updateCursor(gui::DialogHandle& dialog, gui::Point pointer) {
    if (state_.capturedId == id::kPreview)
        setCursorState(dialog, CursorState::Pan);
    else if (pane_.controlRect().contains(pointer))
        setCursorState(dialog, CursorState::Pane);
    else
        setCursorState(dialog, CursorState::Arrow);
}

void MainDialogProcedure::onMouseDown(gui::DialogHandle& dialog, const gui::MouseEvent& event) {
    if (event.button == gui::MouseButton::Left) {
        state_.button = PointerButton::Left;
        state_.shiftAtPress = (event.modifiers & gui::kModifierShift) != 0;
    } else if (event.button == gui::MouseButton::Right) {
        state_.button = PointerButton::Right;
        state_.shiftAtPress = false;
    } else {
        return;
    }
    const int id = controlAt(dialog, event.point);
    if (id == kNoControl) return;
    if (id == id::kPreview) {
        pressPreview(dialog, event.point);
        return;
    }
    state_.capturedId = id;
    state_.pressTicks = os::tickCount();
    state_.moved = false;
    // Nothing seen yet, so the move at the press point makes the control react at once.
    state_.lastPointer = {INT_MIN, INT_MIN};
    gui::MouseEvent atPress = event;
    atPress.button = gui::MouseButton::None;
    onMouseMove(dialog, atPress);
}

void MainDialogProcedure::onMouseMove(gui::DialogHandle& dialog, const gui::MouseEvent& event) {
    const int captured = state_.capturedId;
    if (captured == kNoControl) {
        updateCursor(dialog, event.point);
        dots_.hover(dialog, event.point);
        return;
    }
    if (captured == id::kPreview) {
        updateCursor(dialog, event.point);
        if (pane_.panBy(dialog, state_.lastPointer, event.point)) state_.moved = true;
        state_.lastPointer = event.point;
        return;
    }
    switch (controlKind(captured)) {
        case ControlKind::Slider:
            dragSlider(dialog, event.point);
            break;
        case ControlKind::LightPad:
            dragLight(dialog, event.point, (event.modifiers & gui::kModifierControl) != 0);
            break;
        case ControlKind::MemoryDot:
            dots_.pressedMove(dialog, captured, event.point);
            break;
        default:
            break;
    }
}

void MainDialogProcedure::onMouseUp(gui::DialogHandle& dialog, const gui::MouseEvent& event) {
    const int captured = state_.capturedId;
    if (captured == kNoControl) return;
    state_.capturedId = kNoControl;
    if (captured == id::kPreview) {
        releasePreview(dialog, event.point);
        updateCursor(dialog, event.point);
        return;
    }
    const ControlKind kind = controlKind(captured);
    dots_.released(dialog, captured);
    if (kind == ControlKind::AboutIcon || kind == ControlKind::MemoryDot ||
        kind == ControlKind::DotPreview) {
        // These act as clicks, wherever the button is let go.
        dialog.postCommand(captured, gui::kNotifyClicked);
        return;
    }
    readControls(dialog);
    recordUndoStep(ctx_, UndoStep::Ordinary);
    dialog.killTimer(kTypingTimerId);
    renderAgain(dialog);
}

void MainDialogProcedure::dragSlider(gui::DialogHandle& dialog, gui::Point pointer) {
    const int slider = state_.capturedId;
    const gui::Point seen{pointer.x - 4, pointer.y};
    if (seen.x == state_.lastPointer.x && seen.y == state_.lastPointer.y) return;
    const std::size_t i = std::size_t(slider);
    const int position = sliderPositionAt(pointer.x, dialog.controlRect(slider),
                                          runtime_.minimum[i], runtime_.maximum[i]);
    setSliderPosition(dialog, slider, position);
    writeField(dialog, controlSpec(slider).fieldId, position);
    state_.lastPointer = seen;
}

void MainDialogProcedure::dragLight(gui::DialogHandle& dialog, gui::Point pointer,
                                    bool controlHeld) {
    if (pointer.x == state_.lastPointer.x && pointer.y == state_.lastPointer.y &&
        controlHeld == state_.lastControlHeld)
        return;
    const gui::Rect pad = dialog.controlRect(id::kLightPad);
    const gui::Rect square{pad.x, pad.y, pad.width, pad.width};
    settings().lightDirection = lightDirectionAt(lightPadGeometry(square), pointer, controlHeld);
    dialog.redraw(pad);
    state_.lastPointer = pointer;
    state_.lastControlHeld = controlHeld;
}

void MainDialogProcedure::pressPreview(gui::DialogHandle& dialog, gui::Point pointer) {
    if (pane_.zoomLevel() == pane_.fitLevel()) {
        // The whole picture shows: a press picks the centre at once.
        pane_.setCenterAt(pointer);
        dialog.killTimer(kTypingTimerId);
        renderAgain(dialog);
        return;
    }
    state_.capturedId = id::kPreview;
    state_.pressTicks = os::tickCount();
    state_.moved = false;
    state_.lastPointer = pointer;
    setCursorState(dialog, CursorState::Pane);
}

void MainDialogProcedure::releasePreview(gui::DialogHandle& dialog, gui::Point pointer) {
    if (!state_.moved) {
        // A press without motion is a centre click.
        pane_.setCenterAt(pointer);
        recordUndoStep(ctx_, UndoStep::Ordinary);
        dialog.killTimer(kTypingTimerId);
    }
    renderAgain(dialog);
}

// ---- Running the dialog ---------------------------------------------------------

int runMainDialog(FilterContext& ctx) {
    if (!ctx.params || !ctx.record || !ctx.run) return gui::kDialogFailed;
    gui::DialogTemplate dialogTemplate;
    std::string error;
    if (!gui::parseDialogTemplate(findResource("DIALOG", "DISSOLVESANSPARAM"), dialogTemplate,
                                  error)) {
        os::debugOutput(("DISSOLVESANSPARAM: " + error + "\n").c_str());
        return gui::kDialogFailed;
    }
    void* owner = nullptr;
    if (const auto* platform = static_cast<const pi::PlatformData*>(ctx.record->platformData))
        owner = reinterpret_cast<void*>(platform->hwnd);
    MainDialogProcedure procedure(ctx);
    const int code = gui::runModalDialog(dialogTemplate, procedure, owner);
    ctx.dialogWindow = nullptr;
    return code;
}

}  // namespace mirel::ui
