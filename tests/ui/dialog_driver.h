// Driving the main dialog of the real plug-in, run by the real host code, as
// a person would: pointer and keys synthesised through the window system's
// routing, what the dialog shows read back from its window. The plug-in has
// its own copy of the window-system layer, so the driver knows the dialog by
// its window only; it works on either backend (tests/platform_gui/gui_driver.h).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "apps/host/filter_host.h"
#include "apps/mirel/image_file.h"
#include "platform/gui/dialog.h"
#include "settings/parameter_block.h"
#include "tests/platform_gui/gui_driver.h"

namespace mirel::testing {

using gui::testing::Key;

// Control ids of the dialog, as its template gives them.
namespace ids {
constexpr int kCancel = 2, kOk = 3, kWaterColor = 7, kPreview = 18, kNextMode = 21;
constexpr int kZoomIn = 32, kZoomOut = 33, kZoomPercent = 34;
constexpr int kHorizonSlider = 37, kHorizonField = 86, kOffsetSlider = 57, kOffsetField = 91;
constexpr int kSpinSlider = 152, kSpinField = 153, kBlurSlider = 61, kBlurField = 93;
constexpr int kModeLabel = 70, kModeList = 73, kStyleLabel = 146, kStyleList = 147;
constexpr int kLightPad = 150, kGlitterColor = 120;
}  // namespace ids

// The test's application, made before the plug-in needs one (the plug-in
// then uses it); nothing to make where the window system needs none.
void ensureTestApplication();

inline gui::Point operator+(gui::Point a, gui::Point b) {
    return {a.x + b.x, a.y + b.y};
}
inline gui::Point operator-(gui::Point a, gui::Point b) {
    return {a.x - b.x, a.y - b.y};
}
inline gui::Point centreOf(const gui::Rect& r) {
    return {r.x + r.width / 2, r.y + r.height / 2};
}

class DialogDriver {
  public:
    explicit DialogDriver(void* window) : window_(window) {}

    // The dialog's window as the layer's nativeWindow gives it.
    void* window() const { return window_; }
    // A control's rectangle as the template places it, in client pixels.
    gui::Rect rectOf(int id) const;
    gui::Point centreOf(int id) const { return testing::centreOf(rectOf(id)); }
    // The pane inside the preview control's frame, and its middle, where the
    // middle of the picture shows.
    gui::Rect paneRect() const;
    gui::Point paneMiddle() const;

    // What a program-drawn control shows (a slider's position).
    int controlValue(int id) const;
    // Edit fields, buttons and lists: their text, state and entries.
    std::string textOf(int id) const;
    bool isEnabled(int id) const;
    bool hasFocus(int id) const;
    void focus(int id);
    int listCount(int id) const;
    int listSelection(int id) const;
    std::string listEntry(int id, int index) const;

    // Replaces a field's text key by key (the typing timer starts).
    void typeInto(int fieldId, std::string_view text);
    // Clicks a button with the pointer.
    void click(int id);
    void press(gui::Point at, gui::MouseButton button = gui::MouseButton::Left,
               unsigned modifiers = 0);
    void moveTo(gui::Point to, unsigned modifiers = 0);
    void release(gui::Point at, gui::MouseButton button = gui::MouseButton::Left);
    void drag(gui::Point from, gui::Point to);
    void key(Key key);
    // Lets the dialog's own timers and events run.
    void wait(int milliseconds);
    // The client area as it is on screen.
    gui::Image grab() const;
    // Answers the next colour dialog with `color` (none cancels it).
    void answerColorDialog(std::optional<gui::Rgb> color);

  private:
    void* control(int id) const;

    void* window_;
};

// One pixel of a grabbed picture, and a part of it.
gui::Rgb pixelOf(const gui::Image& image, gui::Point at);
gui::Image cropOf(const gui::Image& image, const gui::Rect& rect);
bool operator==(gui::Rgb a, gui::Rgb b);
bool samePixels(const gui::Image& a, const gui::Image& b);

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
