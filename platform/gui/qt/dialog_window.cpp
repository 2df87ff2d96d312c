// The Qt window behind a template dialog.
#include "platform/gui/qt/dialog_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <algorithm>

#include "platform/gui/qt/painter_surface.h"

namespace mirel::gui {

namespace {

// The system never runs a timer faster than this; asking for less gets this.
constexpr int kMinimumTimerPeriodMs = 10;

MouseEvent toMouseEvent(const QMouseEvent& event, MouseButton button) {
    MouseEvent result;
    result.button = button;
    const Qt::KeyboardModifiers held = event.modifiers();
    if (held & Qt::ShiftModifier) result.modifiers |= kModifierShift;
    if (held & Qt::ControlModifier) result.modifiers |= kModifierControl;
    if (held & Qt::AltModifier) result.modifiers |= kModifierAlt;
    const QPoint p = event.position().toPoint();
    result.point = {p.x(), p.y()};
    return result;
}

MouseButton toButton(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return MouseButton::Left;
        case Qt::RightButton:
            return MouseButton::Right;
        case Qt::MiddleButton:
            return MouseButton::Middle;
        default:
            return MouseButton::None;
    }
}

// A push button painted by the dialog procedure (onDrawItem); it keeps the
// button's behaviour: clicks, the keyboard, focus.
class OwnerDrawnButton final : public QAbstractButton {
  public:
    OwnerDrawnButton(DialogWindow& window, int id)
        : QAbstractButton(&window), window_(window), id_(id) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        const DialogWindow::Control* control = window_.findControl(id_);
        if (!control) return;
        QPainter painter(this);
        // The procedure paints in client coordinates, as everywhere else.
        painter.translate(-control->pixels.x, -control->pixels.y);
        DrawItem item;
        item.id = id_;
        item.rect = control->pixels;
        item.pressed = isDown();
        item.focused = hasFocus();
        item.enabled = isEnabled();
        window_.paintItem(*control, painter, item);
    }

  private:
    DialogWindow& window_;
    int id_;
};

// An edit field that tells the procedure when it loses the keyboard focus.
class EditField final : public QLineEdit {
  public:
    EditField(const QString& text, DialogWindow& window, int id)
        : QLineEdit(text, &window), window_(window), id_(id) {}

  protected:
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        window_.dispatchCommand(id_, kNotifyFocusLost);
    }

  private:
    DialogWindow& window_;
    int id_;
};

}  // namespace

QByteArray controlValueProperty(int id) {
    return QByteArray("mirelControlValue") + QByteArray::number(id);
}

QString withoutAccessMarkers(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;  // keep what follows, even a second '&'
        else if (text[i] == '&')
            continue;  // a trailing marker marks nothing
        shown += text[i];
    }
    return QString::fromStdString(shown);
}

DialogWindow::DialogWindow(const DialogTemplate& dialogTemplate, DialogProcedure& procedure,
                           QWidget* owner)
    : QDialog(owner), procedure_(procedure), handle_(*this) {
    units_ = baseUnitsFor(dialogTemplate.fontName, dialogTemplate.fontPoints);
    setFont(dialogFont(dialogTemplate.fontName, dialogTemplate.fontPoints));
    setWindowTitle(fromUtf8(dialogTemplate.title));
    const Rect client = toPixels({0, 0, dialogTemplate.width, dialogTemplate.height});
    setFixedSize(client.width, client.height);
    // Moves without a button pressed reach the procedure too (hover effects).
    setMouseTracking(true);
    controls_.reserve(dialogTemplate.controls.size());
    for (const ControlTemplate& source : dialogTemplate.controls) createControl(source);
}

DialogWindow::~DialogWindow() = default;

Rect DialogWindow::toPixels(const Rect& dialogUnits) const {
    return dialogUnitsToPixels(dialogUnits, units_);
}

void DialogWindow::createControl(const ControlTemplate& source) {
    Control control;
    control.source = source;
    control.pixels = toPixels(source.rect);
    control.text = source.text;
    const int id = source.id;
    QWidget* widget = nullptr;
    switch (source.controlClass) {
        case ControlClass::StaticText: {
            auto* label = new QLabel(this);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            Qt::Alignment align = Qt::AlignTop | Qt::AlignLeft;
            if (source.style & kStyleAlignCenter) align = Qt::AlignTop | Qt::AlignHCenter;
            if (source.style & kStyleAlignRight) align = Qt::AlignTop | Qt::AlignRight;
            label->setAlignment(align);
            if (source.style & kStyleBorder) label->setFrameStyle(QFrame::Box | QFrame::Plain);
            label->setText(withoutAccessMarkers(source.text));
            // Static texts let the mouse through to the dialog, so the
            // procedure sees presses over its labels and drawn areas alike.
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
            widget = label;
            break;
        }
        case ControlClass::PushButton:
        case ControlClass::DefaultPushButton: {
            auto* button = new QPushButton(fromUtf8(source.text), this);
            button->setDefault(source.controlClass == ControlClass::DefaultPushButton);
            connect(button, &QPushButton::clicked, this,
                    [this, id] { dispatchCommand(id, kNotifyClicked); });
            widget = button;
            break;
        }
        case ControlClass::CheckBox:
        case ControlClass::RadioButton: {
            QAbstractButton* button = nullptr;
            if (source.controlClass == ControlClass::CheckBox)
                button = new QCheckBox(fromUtf8(source.text), this);
            else
                button = new QRadioButton(fromUtf8(source.text), this);
            connect(button, &QAbstractButton::clicked, this,
                    [this, id] { dispatchCommand(id, kNotifyClicked); });
            widget = button;
            break;
        }
        case ControlClass::Edit: {
            auto* edit = new EditField(fromUtf8(source.text), *this, id);
            if (source.style & kStyleAlignRight) edit->setAlignment(Qt::AlignRight);
            edit->setReadOnly(source.style & kStyleReadOnly);
            if (source.style & kStyleNumber)
                edit->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("[0-9]*")), edit));
            // Connected after the initial text: the template's text is not a change.
            connect(edit, &QLineEdit::textChanged, this,
                    [this, id] { dispatchCommand(id, kNotifyTextChanged); });
            widget = edit;
            break;
        }
        case ControlClass::ComboBox: {
            auto* combo = new QComboBox(this);
            combo->setEditable(false);
            // The template's height includes the open list; the closed box
            // is as high as the font makes it.
            const int closed = combo->sizeHint().height();
            const int row = std::max(1, combo->fontMetrics().height() + 2);
            combo->setMaxVisibleItems(std::max(1, (control.pixels.height - closed) / row));
            control.pixels.height = closed;
            connect(combo, &QComboBox::activated, this,
                    [this, id] { dispatchCommand(id, kNotifySelectionChanged); });
            widget = combo;
            break;
        }
        case ControlClass::OwnerDrawnButton: {
            auto* button = new OwnerDrawnButton(*this, id);
            button->setFocusPolicy(Qt::StrongFocus);
            connect(button, &QAbstractButton::clicked, this,
                    [this, id] { dispatchCommand(id, kNotifyClicked); });
            widget = button;
            break;
        }
        case ControlClass::UserDrawn:
            break;
    }
    if (widget) {
        const Rect& r = control.pixels;
        widget->setGeometry(r.x, r.y, r.width, r.height);
        if (source.style & kStyleHidden) widget->hide();
    }
    control.widget = widget;
    control.enabled = !(source.style & kStyleDisabled);
    if (widget && !control.enabled) widget->setEnabled(false);
    controls_.push_back(std::move(control));
}

DialogWindow::Control* DialogWindow::findControl(int id) {
    if (id == kUnaddressedId) return nullptr;
    for (Control& control : controls_)
        if (control.source.id == id) return &control;
    return nullptr;
}

const DialogWindow::Control* DialogWindow::findControl(int id) const {
    return const_cast<DialogWindow*>(this)->findControl(id);
}

int DialogWindow::run() {
    // The window system's window exists before init, so that a procedure
    // placing the dialog sees its frame and not only its client area.
    winId();
    procedure_.onInit(handle_);
    if (ended_) return endCode_;
    QTimer::singleShot(0, this, [this] {
        const DialogShownHook hook = currentDialogShownHook();
        if (hook && !ended_) hook(handle_);
    });
    exec();
    // exec() also returns when the window system takes the window away
    // without a close request; that counts as cancel.
    return ended_ ? endCode_ : kIdCancel;
}

bool DialogWindow::showModeless(std::unique_ptr<DialogProcedure> procedure) {
    ownedProcedure_ = std::move(procedure);
    winId();
    procedure_.onInit(handle_);
    if (ended_) return false;
    show();
    raise();
    QTimer::singleShot(0, this, [this] {
        const DialogShownHook hook = currentDialogShownHook();
        if (hook && !ended_) hook(handle_);
    });
    return true;
}

void DialogWindow::focusDefaultButton() {
    for (const Control& control : controls_)
        if (control.source.controlClass == ControlClass::DefaultPushButton && control.widget &&
            control.widget->isEnabled()) {
            control.widget->setFocus(Qt::OtherFocusReason);
            return;
        }
    setFocus(Qt::OtherFocusReason);
}

void DialogWindow::dispatchCommand(int id, int notification) {
    if (ended_) return;
    const bool handled = procedure_.onCommand(handle_, id, notification);
    if (handled || ended_ || notification != kNotifyClicked) return;
    if (id == kIdCancel) {
        end(kIdCancel);
        return;
    }
    const Control* control = findControl(id);
    if (control && (control->source.controlClass == ControlClass::PushButton ||
                    control->source.controlClass == ControlClass::DefaultPushButton))
        end(id);
}

void DialogWindow::end(int code) {
    if (ended_) return;
    ended_ = true;
    endCode_ = code;
    for (auto& [id, timer] : timers_) timer->stop();
    done(code);
    // A modeless window is gone once it ends; later events never reach its procedure.
    if (ownedProcedure_) deleteLater();
}

bool DialogWindow::setTimer(int id, int periodMs) {
    if (periodMs < 0 || ended_) return false;
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (!ended_) procedure_.onTimer(handle_, id);
        });
    }
    timer->start(std::max(periodMs, kMinimumTimerPeriodMs));
    return true;
}

bool DialogWindow::killTimer(int id) {
    // Stopped, not deleted: the procedure may kill a timer from its own event.
    const auto found = timers_.find(id);
    if (found == timers_.end() || !found->second->isActive()) return false;
    found->second->stop();
    return true;
}

void DialogWindow::paintItem(const Control&, QPainter& painter, const DrawItem& item) {
    PainterSurface surface(painter);
    procedure_.onDrawItem(handle_, surface, item);
}

void DialogWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRegion(event->region());
    PainterSurface surface(painter);
    const QRect dirty = event->rect();
    procedure_.onPaint(handle_, surface, {dirty.x(), dirty.y(), dirty.width(), dirty.height()});
}

void DialogWindow::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (!ended_) procedure_.onMouseDown(handle_, toMouseEvent(*event, toButton(event->button())));
}

void DialogWindow::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (!ended_) procedure_.onMouseMove(handle_, toMouseEvent(*event, MouseButton::None));
}

void DialogWindow::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (!ended_) procedure_.onMouseUp(handle_, toMouseEvent(*event, toButton(event->button())));
}

void DialogWindow::reject() {
    dispatchCommand(kIdCancel, kNotifyClicked);
}

}  // namespace mirel::gui
