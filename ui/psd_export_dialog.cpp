// The PSD export from the main dialog.
#include "ui/psd_export_dialog.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <string>

#include "export/psd_export.h"
#include "export/psd_writer.h"
#include "host/plugin_main.h"
#include "platform/gui/dialog.h"
#include "platform/os/os.h"
#include "resources/resources.h"
#include "settings/parameter_block.h"
#include "ui/file_dialogs.h"
#include "ui/window_centring.h"

namespace mirel::ui {

namespace {

constexpr const char* kProposedPsdName = "Mirel result.psd";

// The number in a size field: every character but digits and signs dropped, a
// leading sign taken, the digits read up to the next sign; 0 when there are
// none. Far too many digits read as a number beyond any limit.
long long parseSizeText(std::string_view text) {
    std::string kept;
    for (char c : text)
        if ((c >= '0' && c <= '9') || c == '+' || c == '-') kept += c;
    const char* first = kept.data();
    const char* last = first + kept.size();
    const bool negative = first != last && *first == '-';
    if (first != last && (*first == '+' || *first == '-')) ++first;
    long long value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        value = INT32_MAX;
    else if (error != std::errc())
        value = 0;
    return negative ? -value : value;
}

bool loadTemplate(const char* name, gui::DialogTemplate& out) {
    std::string error;
    if (gui::parseDialogTemplate(findResource("DIALOG", name), out, error)) return true;
    os::debugOutput((std::string(name) + ": " + error + "\n").c_str());
    return false;
}

std::int32_t validChoice(std::int32_t choice) {
    return choice >= kExportSameSize && choice <= kExportCustomSize ? choice : kExportSameSize;
}

// The options dialog. Its fields follow the choice; typing in them may change it.
class PsdOptionsProcedure final : public gui::DialogProcedure {
  public:
    PsdOptionsProcedure(ParameterBlock& params, std::int32_t inputWidth, std::int32_t inputHeight)
        : params_(params), inputWidth_(inputWidth), inputHeight_(inputHeight) {}

    std::int32_t width = 0;
    std::int32_t height = 0;

    void onInit(gui::DialogHandle& dialog) override {
        centreDialog(dialog);
        choice_ = validChoice(params_.exportSizeChoice);
        if (choice_ == kExportCustomSize)
            setFields(dialog, params_.exportWidth, params_.exportHeight);
        else
            setFields(dialog, inputWidth_, inputHeight_);
        dialog.setChecked(radioOf(choice_), true);
    }

    bool onCommand(gui::DialogHandle& dialog, int controlId, int notification) override {
        if (notification == gui::kNotifyTextChanged) {
            // Only typing counts: the fields this dialog fills itself are no change of mind.
            if (!settingFields_ && (controlId == kPsdWidthField || controlId == kPsdHeightField))
                typed(dialog, controlId);
            return true;
        }
        if (notification != gui::kNotifyClicked) return true;
        switch (controlId) {
            case kPsdSameSize:
                choice_ = kExportSameSize;
                setFields(dialog, inputWidth_, inputHeight_);
                break;
            case kPsdSameProportions: {
                choice_ = kExportSameProportions;
                const std::int32_t typedWidth = fieldValue(dialog, kPsdWidthField);
                setFields(dialog, typedWidth,
                          proportionalSide(inputHeight_, typedWidth, inputWidth_,
                                           fieldValue(dialog, kPsdHeightField)));
                break;
            }
            case kPsdCustomSize:
                choice_ = kExportCustomSize;
                break;
            case gui::kIdOk:
                width = readSizeField(dialog.controlText(kPsdWidthField));
                height = readSizeField(dialog.controlText(kPsdHeightField));
                params_.exportSizeChoice = choice_;
                if (choice_ == kExportCustomSize) {
                    params_.exportWidth = width;
                    params_.exportHeight = height;
                }
                dialog.endDialog(gui::kIdOk);
                break;
            case gui::kIdCancel:
                dialog.endDialog(gui::kIdCancel);
                break;
            default:
                break;
        }
        return true;
    }

  private:
    static int radioOf(std::int32_t choice) {
        return choice == kExportSameProportions ? kPsdSameProportions
               : choice == kExportCustomSize    ? kPsdCustomSize
                                                : kPsdSameSize;
    }

    // The field as a number while the user types; OK reads it with the limits.
    static std::int32_t fieldValue(const gui::DialogHandle& dialog, int field) {
        return std::int32_t(
            std::clamp<long long>(parseSizeText(dialog.controlText(field)), INT32_MIN, INT32_MAX));
    }

    void setFields(gui::DialogHandle& dialog, std::int32_t w, std::int32_t h) {
        settingFields_ = true;
        dialog.setControlText(kPsdWidthField, std::to_string(w));
        dialog.setControlText(kPsdHeightField, std::to_string(h));
        settingFields_ = false;
    }

    void setField(gui::DialogHandle& dialog, int field, std::int32_t value) {
        settingFields_ = true;
        dialog.setControlText(field, std::to_string(value));
        settingFields_ = false;
    }

    void typed(gui::DialogHandle& dialog, int field) {
        if (choice_ == kExportSameSize) {
            choice_ = kExportCustomSize;
            dialog.setChecked(kPsdSameSize, false);
            dialog.setChecked(kPsdCustomSize, true);
            return;
        }
        if (choice_ != kExportSameProportions) return;
        const std::int32_t value = fieldValue(dialog, field);
        if (field == kPsdWidthField)
            setField(dialog, kPsdHeightField,
                     proportionalSide(inputHeight_, value, inputWidth_,
                                      fieldValue(dialog, kPsdHeightField)));
        else
            setField(dialog, kPsdWidthField,
                     proportionalSide(inputWidth_, value, inputHeight_,
                                      fieldValue(dialog, kPsdWidthField)));
    }

    ParameterBlock& params_;
    std::int32_t inputWidth_;
    std::int32_t inputHeight_;
    std::int32_t choice_ = kExportSameSize;
    bool settingFields_ = false;
};

// The progress window: the export runs from its timer, so that the window is
// on screen first.
class PsdProgressProcedure final : public gui::DialogProcedure {
  public:
    PsdProgressProcedure(FilterContext& ctx, const std::string& path, std::int32_t width,
                         std::int32_t height)
        : ctx_(ctx), path_(path), width_(width), height_(height) {}

    std::int16_t result = pi::kUserCanceledErr;

    void onInit(gui::DialogHandle& dialog) override {
        centreDialog(dialog);
        gui::Cursor wait;
        wait.shape = gui::CursorShape::Wait;
        dialog.setCursor(wait);
        dialog.setTimer(kProgressTimerId, kProgressTimerMs);
    }

    void onTimer(gui::DialogHandle& dialog, int timerId) override {
        if (timerId != kProgressTimerId) return;
        dialog.killTimer(kProgressTimerId);
        PsdExportOptions options;
        options.width = width_;
        options.height = height_;
        options.progress = [&dialog](std::int32_t permille) {
            // One layer: the share of it that is done.
            char percent[16];
            std::snprintf(percent, sizeof percent, "%d%%", std::clamp(permille, 0, 1000) / 10);
            dialog.setControlText(kProgressPercent, percent);
            gui::bringDialogToFront(dialog.nativeWindow());
            dialog.repaintNow();
            return true;
        };
        result = exportPsd(ctx_, options, path_);
        dialog.setCursor(gui::Cursor{});
        dialog.endDialog(gui::kIdOk);
    }

    // Closing the window before the export starts cancels it.
    bool onCommand(gui::DialogHandle& dialog, int controlId, int) override {
        if (controlId == gui::kIdCancel) dialog.endDialog(gui::kIdCancel);
        return true;
    }

  private:
    FilterContext& ctx_;
    const std::string& path_;
    std::int32_t width_;
    std::int32_t height_;
};

}  // namespace

std::int32_t readSizeField(std::string_view text) {
    return std::int32_t(std::clamp<long long>(parseSizeText(text), kExportMinSide, kExportMaxSide));
}

std::int32_t proportionalSide(std::int32_t otherInput, std::int32_t typed, std::int32_t typedInput,
                              std::int32_t current) {
    if (typedInput == 0) return current;
    // 64-bit: 30000 x 30000 and more fit, and a typed number may be larger still.
    const long long side = (long long)otherInput * typed / typedInput;
    return std::int32_t(std::clamp<long long>(side, INT32_MIN, INT32_MAX));
}

void runPsdExport(FilterContext& ctx) {
    if (!ctx.params || !ctx.run || ctx.fileDialogOpen) return;
    gui::DialogTemplate options;
    if (!loadTemplate("CHOOSEPSDWITHSIZE", options)) return;
    PsdOptionsProcedure chooser(*ctx.params, ctx.run->filterWidth, ctx.run->filterHeight);
    if (gui::runModalDialog(options, chooser, ctx.dialogWindow) != gui::kIdOk) return;

    FileChoice choice;
    choice.type = FileType::Psd;
    choice.save = true;
    choice.title = "Save a PSD file";
    choice.proposedName = kProposedPsdName;
    choice.folder = &ctx.params->exportFolder;
    std::string path;
    if (!chooseFile(ctx, choice, path)) return;

    gui::DialogTemplate progressTemplate;
    if (!loadTemplate("MONDO_PROGRESS", progressTemplate)) return;
    PsdProgressProcedure progress(ctx, path, chooser.width, chooser.height);
    if (gui::runModalDialog(progressTemplate, progress, ctx.dialogWindow) == gui::kDialogFailed)
        return;
    if (progress.result == psd::kPsdWriteFailed)
        gui::messageDialog("Export PSD image", "The PSD file could not be written:\n" + path,
                           ctx.dialogWindow);
}

}  // namespace mirel::ui
