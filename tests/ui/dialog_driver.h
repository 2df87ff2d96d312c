// Driving the main dialog of the real plug-in, run by the real host code, as
// a person would: pointer and keys synthesised on Qt's offscreen platform,
// what the dialog shows read back from its window.
#pragma once

#include <QAbstractButton>
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

// The test's application, made before the plug-in needs one (the plug-in then uses it).
void ensureTestApplication();

class DialogDriver {
  public:
    explicit DialogDriver(QWidget* window) : window_(window) {}

    QWidget* window() const { return window_; }
    // A control's rectangle as the template places it, in client pixels.
    QRect rectOf(int id) const;
    QPoint centreOf(int id) const { return rectOf(id).center(); }

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
