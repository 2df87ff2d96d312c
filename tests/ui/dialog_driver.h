// Driving the main dialog of the real plug-in, run by the real host code, as
// a person would: pointer and keys synthesised on Qt's offscreen platform,
// what the dialog shows read back from its window.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "apps/host/filter_host.h"
#include "apps/mirel/image_file.h"
#include "settings/parameter_block.h"

namespace mirel::testing {

// Control ids of the dialog, as its template gives them.
namespace ids {
constexpr int kCancel = 2, kOk = 3, kWaterColor = 7, kPreview = 18, kNextMode = 21;
constexpr int kZoomIn = 32, kZoomOut = 33, kZoomPercent = 34;
constexpr int kHorizonSlider = 37, kHorizonField = 86, kOffsetSlider = 57, kOffsetField = 91;
constexpr int kSpinSlider = 152, kSpinField = 153, kBlurSlider = 61, kBlurField = 93;
constexpr int kModeLabel = 70, kModeList = 73, kStyleLabel = 146, kStyleList = 147;
constexpr int kLightPad = 150, kGlitterColor = 120;
}  // namespace ids

// The test's application, made before the plug-in needs one (the plug-in then uses it).
void ensureTestApplication();

class DialogDriver {
  public:
    explicit DialogDriver(QWidget* window) : window_(window) {}

    QWidget* window() const { return window_; }
    // A control's rectangle as the template places it, in client pixels.
    QRect rectOf(int id) const;
    QPoint centreOf(int id) const { return rectOf(id).center(); }
    // The pane inside the preview control's frame, and its middle, where the
    // middle of the picture shows.
    QRect paneRect() const { return rectOf(ids::kPreview).adjusted(2, 2, -2, -2); }
    QPoint paneMiddle() const {
        const QRect pane = paneRect();
        return {pane.x() + pane.width() / 2, pane.y() + pane.height() / 2};
    }

    // What a program-drawn control shows (a slider's position).
    int controlValue(int id) const;
    QLineEdit* field(int id) const;
    QComboBox* list(int id) const;
    QAbstractButton* button(int id) const;

    // Replaces a field's text key by key (the typing timer starts).
    void typeInto(int fieldId, const QString& text);
    // Clicks a button with the pointer.
    void click(int id);
    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void moveTo(QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void release(QPoint at, Qt::MouseButton button = Qt::LeftButton);
    void drag(QPoint from, QPoint to);
    void key(Qt::Key key);
    // Lets the dialog's own timers and events run.
    void wait(int milliseconds);
    QImage grab() const;
    // Answers the next colour dialog with `color` (an invalid colour cancels it).
    void answerColorDialog(const QColor& color);

  private:
    QWidget* window_;
    Qt::MouseButton held_ = Qt::NoButton;
};

// Calls Start on `host` (Parameters and Prepare done) and runs `script` once
// the main dialog is on screen. A dialog the script leaves open is closed
// (as Cancel) and fails the test. Returns Start's result.
std::int16_t startWithDialog(hostkit::FilterHost& host,
                             const std::function<void(DialogDriver&)>& script);

// A whole first run from the filter menu with the dialog: Parameters,
// Prepare, Start with `script`, Finish when Start succeeded.
std::int16_t runWithDialog(hostkit::FilterHost& host,
                           const std::function<void(DialogDriver&)>& script);

// The host's parameter block to change between Prepare and Start, as a
// record left by an earlier run would (host_fixture.h reads it).
ParameterBlock& writableParametersOf(hostkit::FilterHost& host);

// An 8-bit RGB picture of smooth colour ramps.
host_app::Picture rampPicture(std::int32_t width, std::int32_t height, int bits = 8);

}  // namespace mirel::testing
