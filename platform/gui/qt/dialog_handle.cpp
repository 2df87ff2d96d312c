// The Qt backend of dialog.h: running template dialogs and the handle a dialog
// procedure acts through.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <memory>

#include "platform/gui/dialog.h"
#include "platform/gui/qt/dialog_window.h"
#include "platform/gui/qt/qt_runtime.h"

namespace mirel::gui {

namespace {

// The owner only if it really is one of this process's widgets: a host may
// hand over a handle of some other kind, and it must not be dereferenced.
QWidget* resolveOwner(void* owner) {
    if (!owner) return nullptr;
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget* widget : widgets)
        if (widget == owner) return widget;
    return nullptr;
}

template <typename W>
W* widgetOf(const DialogWindow& window, int id) {
    const DialogWindow::Control* control = window.findControl(id);
    return control ? qobject_cast<W*>(control->widget) : nullptr;
}

Qt::CursorShape toShape(CursorShape shape) {
    switch (shape) {
        case CursorShape::Arrow:
            return Qt::ArrowCursor;
        case CursorShape::Wait:
            return Qt::WaitCursor;
        case CursorShape::Cross:
            return Qt::CrossCursor;
        case CursorShape::OpenHand:
            return Qt::OpenHandCursor;
        case CursorShape::ClosedHand:
            return Qt::ClosedHandCursor;
    }
    return Qt::ArrowCursor;
}

QImage toQImage(const Image& image) {
    // A deep copy: Qt keeps pixmaps and cursors beyond the caller's picture.
    return QImage(image.rgba.data(), image.width, image.height, image.width * 4,
                  QImage::Format_RGBA8888)
        .copy();
}

Rect toRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

}  // namespace

// ---- DialogHandle -----------------------------------------------------------

std::string DialogHandle::title() const {
    return window_.windowTitle().toStdString();
}

std::vector<int> DialogHandle::controlIds() const {
    std::vector<int> ids;
    for (const DialogWindow::Control& control : window_.controls())
        if (control.source.id != kUnaddressedId) ids.push_back(control.source.id);
    return ids;
}

bool DialogHandle::hasControl(int id) const {
    return window_.findControl(id) != nullptr;
}

std::string DialogHandle::controlText(int id) const {
    const DialogWindow::Control* control = window_.findControl(id);
    if (!control) return {};
    if (auto* button = qobject_cast<QAbstractButton*>(control->widget))
        return button->text().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(control->widget)) return edit->text().toStdString();
    if (control->source.controlClass == ControlClass::StaticText ||
        control->source.controlClass == ControlClass::UserDrawn)
        return control->text;
    return {};
}

bool DialogHandle::setControlText(int id, std::string_view text) {
    DialogWindow::Control* control = window_.findControl(id);
    if (!control) return false;
    if (auto* button = qobject_cast<QAbstractButton*>(control->widget)) {
        button->setText(fromUtf8(text));
        return true;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control->widget)) {
        edit->setText(fromUtf8(text));  // sends the text-changed command
        return true;
    }
    if (control->source.controlClass == ControlClass::StaticText) {
        control->text = std::string(text);
        if (auto* label = qobject_cast<QLabel*>(control->widget))
            label->setText(withoutAccessMarkers(text));
        return true;
    }
    if (control->source.controlClass == ControlClass::UserDrawn) {
        control->text = std::string(text);
        return true;
    }
    return false;
}

bool DialogHandle::enableControl(int id, bool enabled) {
    DialogWindow::Control* control = window_.findControl(id);
    if (!control) return false;
    control->enabled = enabled;
    if (!control->widget) return true;
    const bool hadFocus = !enabled && control->widget->hasFocus();
    control->widget->setEnabled(enabled);
    // Qt passes the focus on to the next control, a button that Enter would
    // then press; Enter means the default button, so the focus goes there.
    if (hadFocus) window_.focusDefaultButton();
    return true;
}

bool DialogHandle::isControlEnabled(int id) const {
    const DialogWindow::Control* control = window_.findControl(id);
    return control && control->enabled;
}

bool DialogHandle::isChecked(int id) const {
    const DialogWindow::Control* control = window_.findControl(id);
    if (!control || (control->source.controlClass != ControlClass::CheckBox &&
                     control->source.controlClass != ControlClass::RadioButton))
        return false;
    auto* button = qobject_cast<QAbstractButton*>(control->widget);
    return button && button->isChecked();
}

bool DialogHandle::setChecked(int id, bool checked) {
    const DialogWindow::Control* control = window_.findControl(id);
    if (!control || (control->source.controlClass != ControlClass::CheckBox &&
                     control->source.controlClass != ControlClass::RadioButton))
        return false;
    auto* button = qobject_cast<QAbstractButton*>(control->widget);
    if (!button) return false;
    button->setChecked(checked);  // `clicked` is not emitted, so no command
    return true;
}

bool DialogHandle::addComboItem(int id, std::string_view text) {
    auto* combo = widgetOf<QComboBox>(window_, id);
    if (!combo) return false;
    // Qt selects the first entry added to an empty box; the system leaves
    // the box without a selection until one is chosen.
    const int selected = combo->currentIndex();
    combo->addItem(fromUtf8(text));
    combo->setCurrentIndex(selected);
    return true;
}

bool DialogHandle::clearCombo(int id) {
    auto* combo = widgetOf<QComboBox>(window_, id);
    if (!combo) return false;
    combo->clear();
    return true;
}

int DialogHandle::comboCount(int id) const {
    auto* combo = widgetOf<QComboBox>(window_, id);
    return combo ? combo->count() : 0;
}

int DialogHandle::comboSelection(int id) const {
    auto* combo = widgetOf<QComboBox>(window_, id);
    return combo ? combo->currentIndex() : -1;
}

bool DialogHandle::setComboSelection(int id, int index) {
    auto* combo = widgetOf<QComboBox>(window_, id);
    if (!combo || index < -1 || index >= combo->count()) return false;
    combo->setCurrentIndex(index);
    return true;
}

bool DialogHandle::setButtonImage(int id, const Image& image) {
    auto* button = widgetOf<QAbstractButton>(window_, id);
    if (!button) return false;
    if (image.empty()) {
        button->setIcon(QIcon());
        return true;
    }
    // Shown at the size it was drawn for, shrunk when the button is smaller
    // (less a margin of 2 pixels a side); a dense picture stays sharp on a
    // dense display because the pixmap carries its density.
    const Rect r = window_.findControl(id)->pixels;
    const double density = image.density > 0 ? image.density : 1.0;
    const QSizeF drawnFor(image.width / density, image.height / density);
    const QSizeF room(std::max(1, r.width - 4), std::max(1, r.height - 4));
    const QSize logical = (drawnFor.width() <= room.width() && drawnFor.height() <= room.height()
                               ? drawnFor
                               : drawnFor.scaled(room, Qt::KeepAspectRatio))
                              .toSize()
                              .expandedTo(QSize(1, 1));
    const qreal ratio = std::max<qreal>(1.0, window_.devicePixelRatioF());
    QPixmap pixmap = QPixmap::fromImage(
        toQImage(image).scaled(logical * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    button->setIcon(QIcon(pixmap));
    button->setIconSize(logical);
    return true;
}

bool DialogHandle::setControlValue(int id, int value) {
    DialogWindow::Control* control = window_.findControl(id);
    if (!control) return false;
    control->value = value;
    window_.setProperty(controlValueProperty(id).constData(), value);
    return true;
}

int DialogHandle::controlValue(int id) const {
    const DialogWindow::Control* control = window_.findControl(id);
    return control ? control->value : 0;
}

void DialogHandle::setCursor(const Cursor& cursor) {
    if (cursor.image && !cursor.image->empty()) {
        QPixmap pixmap = QPixmap::fromImage(toQImage(*cursor.image));
        // A dense cursor picture keeps its size on screen; the hot spot is in client pixels.
        pixmap.setDevicePixelRatio(cursor.image->density > 0 ? cursor.image->density : 1.0);
        window_.setCursor(QCursor(pixmap, cursor.hotSpot.x, cursor.hotSpot.y));
    } else {
        window_.setCursor(toShape(cursor.shape));
    }
}

Rect DialogHandle::windowRect() const {
    // Before the window is first shown Qt knows no frame; the client
    // rectangle stands for it then.
    return toRect(window_.frameGeometry());
}

Rect DialogHandle::ownerClientRect() const {
    if (const QWidget* owner = window_.parentWidget()) {
        const QPoint origin = owner->mapToGlobal(QPoint(0, 0));
        return {origin.x(), origin.y(), owner->width(), owner->height()};
    }
    return screenWorkArea();
}

Rect DialogHandle::screenWorkArea() const {
    const QScreen* screen = window_.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? toRect(screen->availableGeometry()) : Rect{};
}

int DialogHandle::captionButtonWidth() const {
    return window_.style()->pixelMetric(QStyle::PM_TitleBarButtonSize, nullptr, &window_);
}

void DialogHandle::moveWindow(Point topLeft) {
    window_.move(topLeft.x, topLeft.y);
}

Rect DialogHandle::controlRect(int id) const {
    const DialogWindow::Control* control = window_.findControl(id);
    return control ? control->pixels : Rect{};
}

Rect DialogHandle::clientRect() const {
    return {0, 0, window_.width(), window_.height()};
}

Rect DialogHandle::dialogUnitsToPixels(const Rect& dialogUnits) const {
    return window_.toPixels(dialogUnits);
}

void DialogHandle::redraw(const Rect& pixels) {
    if (pixels.width > 0 && pixels.height > 0)
        window_.update(pixels.x, pixels.y, pixels.width, pixels.height);
}

void DialogHandle::redrawAll() {
    window_.update();
}

void DialogHandle::repaintNow() {
    window_.repaint();
}

bool DialogHandle::setTimer(int id, int periodMs) {
    return window_.setTimer(id, periodMs);
}

bool DialogHandle::killTimer(int id) {
    return window_.killTimer(id);
}

void DialogHandle::postCommand(int id, int notification) {
    // Queued on the dialog itself: if the window is gone when the event
    // loop gets to it, Qt drops the call.
    DialogWindow* window = &window_;
    QMetaObject::invokeMethod(
        window, [window, id, notification] { window->dispatchCommand(id, notification); },
        Qt::QueuedConnection);
}

bool DialogHandle::clickButton(int id) {
    auto* button = widgetOf<QAbstractButton>(window_, id);
    if (!button || !button->isEnabled() || window_.ended()) return false;
    button->click();
    return true;
}

void DialogHandle::requestClose() {
    if (!window_.ended()) window_.close();
}

void DialogHandle::endDialog(int code) {
    window_.end(code);
}

bool DialogHandle::hasEnded() const {
    return window_.ended();
}

void* DialogHandle::nativeWindow() const {
    return static_cast<QWidget*>(&window_);
}

int runModalDialog(const DialogTemplate& dialogTemplate, DialogProcedure& procedure,
                   void* ownerWindow) {
    if (dialogTemplate.width <= 0 || dialogTemplate.height <= 0) return kDialogFailed;
    if (!ensureApplication()) return kDialogFailed;
    auto window =
        std::make_unique<DialogWindow>(dialogTemplate, procedure, resolveOwner(ownerWindow));
    return window->run();
}

void* showModelessDialog(const DialogTemplate& dialogTemplate,
                         std::unique_ptr<DialogProcedure> procedure, void* ownerWindow) {
    if (!procedure || dialogTemplate.width <= 0 || dialogTemplate.height <= 0) return nullptr;
    if (!ensureApplication()) return nullptr;
    // Parented to its owner, so that the owner's end takes it away too.
    auto* window = new DialogWindow(dialogTemplate, *procedure, resolveOwner(ownerWindow));
    if (!window->showModeless(std::move(procedure))) {
        delete window;
        return nullptr;
    }
    return static_cast<QWidget*>(window);
}

namespace {

// A live, not yet ended dialog window of this layer, or null.
DialogWindow* liveDialog(void* window) {
    auto* widget = resolveOwner(window);
    auto* dialog = dynamic_cast<DialogWindow*>(widget);
    return dialog && !dialog->ended() ? dialog : nullptr;
}

}  // namespace

bool dialogWindowExists(void* window) {
    return window && QCoreApplication::instance() && liveDialog(window) != nullptr;
}

bool bringDialogToFront(void* window) {
    if (!dialogWindowExists(window)) return false;
    DialogWindow* dialog = liveDialog(window);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return true;
}

void requestDialogClose(void* window) {
    if (!dialogWindowExists(window)) return;
    liveDialog(window)->dispatchCommand(kIdCancel, kNotifyClicked);
}

}  // namespace mirel::gui
