// Driving the plug-in's main dialog from a test, through the window system.
#include "tests/ui/dialog_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "platform/gui/dialog_template.h"
#include "platform/gui/dialog_units.h"
#include "resources/resources.h"
#include "tests/platform_gui/gui_test_support.h"
#include "tests/support/scratch.h"

namespace mirel::testing {

namespace gt = gui::testing;

namespace {

constexpr const char* kDialogTitle = "Mirel 2";
// The pane lies inside the preview control's 1-pixel frame and a 1-pixel gap.
constexpr int kPaneInset = 2;

const gui::DialogTemplate& mainTemplate() {
    static const gui::DialogTemplate parsed = [] {
        gui::DialogTemplate t;
        std::string error;
        EXPECT_TRUE(gui::parseDialogTemplate(findResource("DIALOG", "DISSOLVESANSPARAM"), t, error))
            << error;
        return t;
    }();
    return parsed;
}

}  // namespace

void ensureTestApplication() {
    gt::ensureWindowSystem();
}

bool operator==(gui::Rgb a, gui::Rgb b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

gui::Rgb pixelOf(const gui::Image& image, gui::Point at) {
    if (at.x < 0 || at.y < 0 || at.x >= image.width || at.y >= image.height) return {};
    const std::uint8_t* p = &image.rgba[(std::size_t(at.y) * image.width + at.x) * 4];
    return {p[0], p[1], p[2]};
}

gui::Image cropOf(const gui::Image& image, const gui::Rect& rect) {
    gui::Image part;
    const int left = std::max(0, rect.x), top = std::max(0, rect.y);
    const int right = std::min(image.width, rect.x + rect.width);
    const int bottom = std::min(image.height, rect.y + rect.height);
    if (right <= left || bottom <= top) return part;
    part.width = right - left;
    part.height = bottom - top;
    part.rgba.reserve(std::size_t(part.width) * part.height * 4);
    for (int y = top; y < bottom; ++y) {
        const auto row = image.rgba.begin() + (std::ptrdiff_t(y) * image.width + left) * 4;
        part.rgba.insert(part.rgba.end(), row, row + std::ptrdiff_t(part.width) * 4);
    }
    return part;
}

bool samePixels(const gui::Image& a, const gui::Image& b) {
    return a.width == b.width && a.height == b.height && a.rgba == b.rgba;
}

gui::Rect DialogDriver::rectOf(int id) const {
    const gui::ControlTemplate* control = mainTemplate().findControl(id);
    if (!control) return {};
    return gui::dialogUnitsToPixels(control->rect, gt::templateBaseUnits(window_, mainTemplate()));
}

gui::Rect DialogDriver::paneRect() const {
    const gui::Rect r = rectOf(ids::kPreview);
    return {r.x + kPaneInset, r.y + kPaneInset, r.width - 2 * kPaneInset,
            r.height - 2 * kPaneInset};
}

gui::Point DialogDriver::paneMiddle() const {
    const gui::Rect pane = paneRect();
    return {pane.x + pane.width / 2, pane.y + pane.height / 2};
}

void* DialogDriver::control(int id) const {
    return gt::controlWindowAt(window_, rectOf(id));
}

int DialogDriver::controlValue(int id) const {
    const std::optional<int> value = gt::controlValueOf(window_, id);
    EXPECT_TRUE(value.has_value()) << "control " << id << " shows no value";
    return value.value_or(0);
}

std::string DialogDriver::textOf(int id) const {
    void* found = control(id);
    return found ? gt::textOfControl(found) : std::string("<no control>");
}

bool DialogDriver::isEnabled(int id) const {
    return gt::isControlWindowEnabled(control(id));
}

bool DialogDriver::hasFocus(int id) const {
    return gt::hasKeyboardFocus(window_, control(id));
}

void DialogDriver::focus(int id) {
    gt::focusControlWindow(window_, control(id));
}

int DialogDriver::listCount(int id) const {
    return gt::comboCountOf(control(id));
}

int DialogDriver::listSelection(int id) const {
    return gt::comboSelectionOf(control(id));
}

std::string DialogDriver::listEntry(int id, int index) const {
    return gt::comboEntryOf(control(id), index);
}

void DialogDriver::typeInto(int fieldId, std::string_view text) {
    void* field = control(fieldId);
    ASSERT_NE(field, nullptr) << "no field " << fieldId;
    gt::focusControlWindow(window_, field);
    gt::typeIntoControl(window_, field, text, true);
}

void DialogDriver::click(int id) {
    ASSERT_NE(control(id), nullptr) << "no button " << id;
    const gui::Point middle = centreOf(id);
    gt::pressAt(window_, middle);
    gt::releaseAt(window_, middle);
}

void DialogDriver::press(gui::Point at, gui::MouseButton button, unsigned modifiers) {
    gt::pressAt(window_, at, button, modifiers);
}

void DialogDriver::moveTo(gui::Point to, unsigned modifiers) {
    gt::moveTo(window_, to, modifiers);
}

void DialogDriver::release(gui::Point at, gui::MouseButton button) {
    gt::releaseAt(window_, at, button);
}

void DialogDriver::drag(gui::Point from, gui::Point to) {
    press(from);
    // In steps, as a hand moves.
    constexpr int kSteps = 4;
    for (int i = 1; i <= kSteps; ++i)
        moveTo({from.x + (to.x - from.x) * i / kSteps, from.y + (to.y - from.y) * i / kSteps});
    release(to);
}

void DialogDriver::key(Key key) {
    gt::pressKey(window_, key);
}

void DialogDriver::wait(int milliseconds) {
    gt::processEvents(milliseconds);
}

gui::Image DialogDriver::grab() const {
    return gt::grabClientArea(window_);
}

void DialogDriver::answerColorDialog(std::optional<gui::Rgb> color) {
    gt::answerNextColorDialog(color);
}

std::int16_t startWithDialog(hostkit::FilterHost& host,
                             const std::function<void(DialogDriver&)>& script) {
    ensureTestApplication();
    gui::testing::Watchdog watchdog(std::chrono::seconds(120));
    // Runs inside the plug-in's modal loop once the dialog is on screen; the
    // flag outlives the retries, which the loop may still hold after Start.
    auto shown = std::make_shared<bool>(false);
    auto done = std::make_shared<bool>(false);
    gt::retryFromEventLoop([&script, shown, done] {
        if (*done) return true;
        void* window = gt::shownDialogTitled(kDialogTitle);
        if (!window) return false;
        *shown = true;
        gt::processEvents(0);
        DialogDriver driver(window);
        script(driver);
        if (gt::isShownOnScreen(window) && gt::shownDialogTitled(kDialogTitle) == window) {
            ADD_FAILURE() << "the script left the dialog open";
            gt::closeFromWindowSystem(window);
        }
        return true;
    });
    const std::int16_t result = host.call(pi::kFilterSelectorStart);
    *done = true;
    if (!*shown) ADD_FAILURE() << "the main dialog never showed";
    return result;
}

std::int16_t runWithDialog(hostkit::FilterHost& host,
                           const std::function<void(DialogDriver&)>& script) {
    if (const std::int16_t r = host.call(pi::kFilterSelectorParameters); r != 0) return r;
    if (const std::int16_t r = host.call(pi::kFilterSelectorPrepare); r != 0) return r;
    const std::int16_t started = startWithDialog(host, script);
    if (started != 0) return started;
    return host.call(pi::kFilterSelectorFinish);
}

ParameterBlock& writableParametersOf(hostkit::FilterHost& host) {
    return *reinterpret_cast<ParameterBlock*>(host.parametersBlock()->memory);
}

host_app::Picture rampPicture(std::int32_t width, std::int32_t height, int bits) {
    host_app::Picture picture;
    std::string error;
    EXPECT_TRUE(host_app::allocatePicture(picture, width, height, 3, bits, error)) << error;
    const float full = host_app::fullScale(picture);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const float u = float(x) / std::max(1, width - 1);
            const float v = float(y) / std::max(1, height - 1);
            host_app::setSampleValue(picture, x, y, 0, full * u);
            host_app::setSampleValue(picture, x, y, 1, full * v);
            host_app::setSampleValue(picture, x, y, 2, full * (1.0f - 0.5f * (u + v)));
        }
    return picture;
}

}  // namespace mirel::testing
