// Driving the plug-in's main dialog from a test.
#include "tests/ui/dialog_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <memory>

#include "platform/gui/dialog_template.h"
#include "platform/gui/dialog_units.h"
#include "platform/gui/qt/qt_runtime.h"
#include "resources/resources.h"
#include "tests/platform_gui/gui_test_support.h"
#include "tests/support/scratch.h"

namespace mirel::testing {

namespace {

constexpr const char* kDialogTitle = "Mirel 2";

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

template <typename W>
W* widgetAt(QWidget* window, const QRect& rect) {
    // Combo boxes are as high as their font makes them, not as the template says.
    for (W* widget : window->findChildren<W*>())
        if (widget->x() == rect.x() && widget->y() == rect.y() && widget->width() == rect.width())
            return widget;
    return nullptr;
}

}  // namespace

void ensureTestApplication() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

QRect DialogDriver::rectOf(int id) const {
    const gui::ControlTemplate* control = mainTemplate().findControl(id);
    if (!control) return {};
    const gui::Rect r = gui::dialogUnitsToPixels(
        control->rect, gui::baseUnitsFor(mainTemplate().fontName, mainTemplate().fontPoints));
    return {r.x, r.y, r.width, r.height};
}

int DialogDriver::controlValue(int id) const {
    const QVariant value = window_->property(("mirelControlValue" + std::to_string(id)).c_str());
    EXPECT_TRUE(value.isValid()) << "control " << id << " shows no value";
    return value.toInt();
}

QLineEdit* DialogDriver::field(int id) const {
    return widgetAt<QLineEdit>(window_, rectOf(id));
}

QComboBox* DialogDriver::list(int id) const {
    return widgetAt<QComboBox>(window_, rectOf(id));
}

QAbstractButton* DialogDriver::button(int id) const {
    return widgetAt<QAbstractButton>(window_, rectOf(id));
}

void DialogDriver::typeInto(int fieldId, const QString& text) {
    QLineEdit* edit = field(fieldId);
    ASSERT_NE(edit, nullptr) << "no field " << fieldId;
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
}

void DialogDriver::click(int id) {
    QAbstractButton* target = button(id);
    ASSERT_NE(target, nullptr) << "no button " << id;
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, target->rect().center());
}

void DialogDriver::press(QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    held_ = button;
    QTest::mousePress(window_, button, modifiers, at);
}

void DialogDriver::moveTo(QPoint to, Qt::KeyboardModifiers modifiers) {
    if (modifiers == Qt::NoModifier) {
        QTest::mouseMove(window_, to);
        return;
    }
    // QTest moves carry no keys; a move with Ctrl held is sent as the window system would.
    QMouseEvent event(QEvent::MouseMove, QPointF(to), window_->mapToGlobal(QPointF(to)),
                      Qt::NoButton, held_, modifiers);
    QApplication::sendEvent(window_, &event);
}

void DialogDriver::release(QPoint at, Qt::MouseButton button) {
    QTest::mouseRelease(window_, button, Qt::NoModifier, at);
    held_ = Qt::NoButton;
}

void DialogDriver::drag(QPoint from, QPoint to) {
    press(from);
    // In steps, as a hand moves.
    constexpr int kSteps = 4;
    for (int i = 1; i <= kSteps; ++i) moveTo(from + (to - from) * i / kSteps);
    release(to);
}

void DialogDriver::key(Qt::Key key) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target && target->window() == window_ ? target : window_, key);
}

void DialogDriver::wait(int milliseconds) {
    QTest::qWait(milliseconds);
}

QImage DialogDriver::grab() const {
    return window_->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void DialogDriver::answerColorDialog(const QColor& color) {
    auto* timer = new QTimer(window_);
    QObject::connect(timer, &QTimer::timeout, [timer, color] {
        auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        if (!color.isValid()) {
            dialog->reject();
            return;
        }
        dialog->setCurrentColor(color);
        dialog->accept();
    });
    timer->start(10);
}

std::int16_t startWithDialog(hostkit::FilterHost& host,
                             const std::function<void(DialogDriver&)>& script) {
    ensureTestApplication();
    gui::testing::Watchdog watchdog(std::chrono::seconds(120));
    bool shown = false;
    auto* timer = new QTimer(QApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window || !window->isVisible() || window->windowTitle() != kDialogTitle) return;
        timer->stop();
        timer->deleteLater();
        shown = true;
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        DialogDriver driver(window);
        script(driver);
        if (window->isVisible()) {
            ADD_FAILURE() << "the script left the dialog open";
            window->close();
        }
    });
    timer->start(10);
    const std::int16_t result = host.call(pi::kFilterSelectorStart);
    if (!shown) {
        timer->stop();
        timer->deleteLater();
        ADD_FAILURE() << "the main dialog never showed";
    }
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
