// The test driver on the Qt backend: synthesised input through Qt's own
// routing (QTEST_QPA_MOUSE_HANDLING), what the widgets show read back.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstring>

#include "platform/gui/qt/qt_runtime.h"
#include "tests/platform_gui/gui_driver.h"

namespace mirel::gui::testing {

namespace {

QWidget* widget(void* window) {
    return static_cast<QWidget*>(window);
}

Qt::MouseButton toQt(MouseButton button) {
    switch (button) {
        case MouseButton::Left:
            return Qt::LeftButton;
        case MouseButton::Right:
            return Qt::RightButton;
        case MouseButton::Middle:
            return Qt::MiddleButton;
        case MouseButton::None:
            break;
    }
    return Qt::NoButton;
}

Qt::KeyboardModifiers toQt(unsigned modifiers) {
    Qt::KeyboardModifiers held;
    if (modifiers & kModifierShift) held |= Qt::ShiftModifier;
    if (modifiers & kModifierControl) held |= Qt::ControlModifier;
    if (modifiers & kModifierAlt) held |= Qt::AltModifier;
    return held;
}

Qt::Key toQt(Key key) {
    switch (key) {
        case Key::Escape:
            return Qt::Key_Escape;
        case Key::Return:
            return Qt::Key_Return;
        case Key::Down:
            return Qt::Key_Down;
        case Key::Up:
            return Qt::Key_Up;
        case Key::End:
            return Qt::Key_End;
        case Key::Tab:
            return Qt::Key_Tab;
        case Key::Delete:
            return Qt::Key_Delete;
    }
    return Qt::Key_Escape;
}

Qt::MouseButtons heldButtons;

}  // namespace

void ensureWindowSystem() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "mirel_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

void* shownDialogTitled(std::string_view title) {
    QWidget* window = QApplication::activeModalWidget();
    if (!window || !window->isVisible() ||
        window->windowTitle() != QString::fromUtf8(title.data(), qsizetype(title.size())))
        return nullptr;
    return window;
}

void pressAt(void* window, Point at, MouseButton button, unsigned modifiers) {
    heldButtons |= toQt(button);
    QTest::mousePress(widget(window), toQt(button), toQt(modifiers), QPoint(at.x, at.y));
}

void moveTo(void* window, Point to, unsigned modifiers) {
    if (modifiers == 0) {
        QTest::mouseMove(widget(window), QPoint(to.x, to.y));
        return;
    }
    // QTest moves carry no keys; a move with keys held is sent as the window system would.
    const QPointF local(to.x, to.y);
    QMouseEvent event(QEvent::MouseMove, local, widget(window)->mapToGlobal(local), Qt::NoButton,
                      heldButtons, toQt(modifiers));
    QApplication::sendEvent(widget(window), &event);
}

void releaseAt(void* window, Point at, MouseButton button, unsigned modifiers) {
    QTest::mouseRelease(widget(window), toQt(button), toQt(modifiers), QPoint(at.x, at.y));
    heldButtons &= ~toQt(button);
}

void pressKey(void* window, Key key) {
    // The window's focus child, even while the window is not the active one
    // (offscreen windows are not always activated).
    QWidget* focused = widget(window)->focusWidget();
    QTest::keyClick(focused ? focused : widget(window), toQt(key));
}

void closeFromWindowSystem(void* window) {
    widget(window)->windowHandle()->close();
}

void processEvents(int milliseconds) {
    if (milliseconds > 0)
        QTest::qWait(milliseconds);
    else
        QCoreApplication::processEvents();
}

void retryFromEventLoop(std::function<bool()> attempt) {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [timer, attempt = std::move(attempt)] {
        if (!attempt()) return;
        timer->stop();
        timer->deleteLater();
    });
    timer->start(10);
}

void* controlWindowAt(void* window, const Rect& rect) {
    // Found by place: labels let the mouse through, so childAt() would not
    // find them; a combo box is as high as its font makes it.
    for (QWidget* child : widget(window)->findChildren<QWidget*>())
        if (child->parentWidget() == widget(window) && child->x() == rect.x &&
            child->y() == rect.y && child->width() == rect.width)
            return child;
    return nullptr;
}

void focusControlWindow(void*, void* control) {
    if (control) widget(control)->setFocus();
}

bool hasKeyboardFocus(void* window, void* control) {
    return control && widget(window)->focusWidget() == widget(control);
}

void typeIntoControl(void*, void* control, std::string_view text, bool replace) {
    auto* edit = qobject_cast<QLineEdit*>(widget(control));
    if (!edit) return;
    if (replace) edit->selectAll();
    if (text.empty()) {
        if (replace) QTest::keyClick(edit, Qt::Key_Delete);
        return;
    }
    QTest::keyClicks(edit, QString::fromUtf8(text.data(), qsizetype(text.size())));
}

std::string textOfControl(void* control) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget(control))) return edit->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(widget(control)))
        return button->text().toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(widget(control)))
        return combo->currentText().toStdString();
    return {};
}

bool isControlWindowEnabled(void* control) {
    return control && widget(control)->isEnabled();
}

int comboCountOf(void* control) {
    auto* combo = qobject_cast<QComboBox*>(widget(control));
    return combo ? combo->count() : 0;
}

int comboSelectionOf(void* control) {
    auto* combo = qobject_cast<QComboBox*>(widget(control));
    return combo ? combo->currentIndex() : -1;
}

std::string comboEntryOf(void* control, int index) {
    auto* combo = qobject_cast<QComboBox*>(widget(control));
    return combo ? combo->itemText(index).toStdString() : std::string();
}

std::string titleOf(void* window) {
    return widget(window)->windowTitle().toStdString();
}

bool isShownOnScreen(void* window) {
    return widget(window)->isVisible();
}

std::optional<int> controlValueOf(void* window, int id) {
    const QVariant value =
        widget(window)->property(("mirelControlValue" + std::to_string(id)).c_str());
    if (!value.isValid()) return std::nullopt;
    return value.toInt();
}

Image grabClientArea(void* window) {
    QImage shot = widget(window)->grab().toImage();
    // Client pixels: a dense screen's grab is scaled back to them.
    if (shot.devicePixelRatio() != 1.0)
        shot = shot.scaled(widget(window)->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    shot = shot.convertToFormat(QImage::Format_RGBA8888);
    Image image;
    image.width = shot.width();
    image.height = shot.height();
    image.rgba.resize(std::size_t(image.width) * image.height * 4);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(&image.rgba[std::size_t(y) * image.width * 4], shot.constScanLine(y),
                    std::size_t(image.width) * 4);
    return image;
}

double screenDpi(void*) {
    return QGuiApplication::primaryScreen()->logicalDotsPerInchY();
}

BaseUnits templateBaseUnits(void*, const DialogTemplate& dialogTemplate) {
    return baseUnitsFor(dialogTemplate.fontName, dialogTemplate.fontPoints);
}

void* ownerOf(void* window) {
    return widget(window)->parentWidget();
}

ShownCursor cursorOf(void* window) {
    const QCursor cursor = widget(window)->cursor();
    ShownCursor shown;
    shown.systemArrow = cursor.shape() == Qt::ArrowCursor;
    shown.hotSpot = {cursor.hotSpot().x(), cursor.hotSpot().y()};
    return shown;
}

void answerNextColorDialog(std::optional<Rgb> color) {
    retryFromEventLoop([color] {
        auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return false;
        if (!color) {
            dialog->reject();
            return true;
        }
        dialog->setCurrentColor(QColor(color->red, color->green, color->blue));
        dialog->accept();
        return true;
    });
}

std::vector<void*> windowsTitled(std::string_view title) {
    const QString wanted = QString::fromUtf8(title.data(), qsizetype(title.size()));
    std::vector<void*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowTitle() == wanted) found.push_back(window);
    return found;
}

Rect frameOnScreen(void* window) {
    const QRect r = widget(window)->frameGeometry();
    return {r.x(), r.y(), r.width(), r.height()};
}

Rect workAreaOf(void* window) {
    const QRect r = widget(window)->screen()->availableGeometry();
    return {r.x(), r.y(), r.width(), r.height()};
}

void moveWindowTo(void* window, Point topLeft) {
    widget(window)->move(topLeft.x, topLeft.y);
    QCoreApplication::processEvents();
}

std::vector<ShownControl> controlsOf(void* window) {
    std::vector<ShownControl> controls;
    for (QWidget* child : widget(window)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        ShownControl shown;
        shown.window = child;
        if (qobject_cast<QRadioButton*>(child))
            shown.kind = ControlKind::RadioButton;
        else if (qobject_cast<QCheckBox*>(child))
            shown.kind = ControlKind::CheckBox;
        else if (qobject_cast<QPushButton*>(child))
            shown.kind = ControlKind::PushButton;
        else if (qobject_cast<QLineEdit*>(child))
            shown.kind = ControlKind::EditField;
        else if (qobject_cast<QComboBox*>(child))
            shown.kind = ControlKind::ComboBox;
        else if (qobject_cast<QLabel*>(child))
            shown.kind = ControlKind::Label;
        if (auto* label = qobject_cast<QLabel*>(child))
            shown.text = label->text().toStdString();
        else
            shown.text = textOfControl(child);
        const QRect r = child->geometry();
        shown.rect = {r.x(), r.y(), r.width(), r.height()};
        controls.push_back(shown);
    }
    return controls;
}

bool isControlChecked(void* control) {
    auto* button = qobject_cast<QAbstractButton*>(widget(control));
    return button && button->isChecked();
}

std::vector<ShownLabel> shownLabels(DialogHandle& dialog) {
    std::vector<ShownLabel> labels;
    for (QLabel* label : widget(dialog.nativeWindow())->findChildren<QLabel*>()) {
        ShownLabel shown;
        shown.text = label->text().toStdString();
        const QRect r = label->geometry();
        shown.rect = {r.x(), r.y(), r.width(), r.height()};
        shown.visible = label->isVisible();
        shown.textFits = label->heightForWidth(label->width()) <= label->height();
        shown.enabled = label->isEnabled();
        labels.push_back(shown);
    }
    return labels;
}

Rect windowRectOf(DialogHandle& dialog, int id) {
    void* control = controlWindowAt(dialog.nativeWindow(), dialog.controlRect(id));
    if (!control) return {};
    const QRect r = widget(control)->geometry();
    return {r.x(), r.y(), r.width(), r.height()};
}

bool isDefaultButton(DialogHandle& dialog, int id) {
    auto* button = qobject_cast<QPushButton*>(
        widget(controlWindowAt(dialog.nativeWindow(), dialog.controlRect(id))));
    return button && button->isDefault();
}

void endDialogLater(DialogHandle& dialog, int milliseconds, int code) {
    // Owned by the dialog's window, so it goes away with the dialog; the
    // handle lives exactly as long as that window.
    QTimer::singleShot(milliseconds, widget(dialog.nativeWindow()), [&dialog, code] {
        if (!dialog.hasEnded()) dialog.endDialog(code);
    });
}

}  // namespace mirel::gui::testing
