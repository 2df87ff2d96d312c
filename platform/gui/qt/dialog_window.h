// The Qt window behind a template dialog: builds the controls, turns Qt's
// signals and events into calls of the dialog procedure. The DialogHandle of
// dialog.h acts on it. Private to platform/gui (tests may drive its widgets).
#pragma once

#include <QDialog>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/dialog.h"
#include "platform/gui/qt/qt_runtime.h"

class QPainter;
class QTimer;

namespace mirel::gui {

class DialogWindow : public QDialog {
  public:
    struct Control {
        ControlTemplate source;
        Rect pixels;                // client pixels
        QWidget* widget = nullptr;  // owned by the dialog; null for user-drawn areas
        bool enabled = true;
        std::string text;  // as set, '&' markers included (static and user-drawn)
        int value = 0;     // what setControlValue kept
    };

    DialogWindow(const DialogTemplate& dialogTemplate, DialogProcedure& procedure, QWidget* owner);
    ~DialogWindow() override;

    // Runs init, then the modal loop unless init ended the dialog.
    int run();
    // Runs init and shows the window without a loop of its own; false when
    // init ended the dialog. The window then owns `procedure` (the one it was
    // made with) and deletes itself when the dialog ends.
    bool showModeless(std::unique_ptr<DialogProcedure> procedure);

    Control* findControl(int id);
    const Control* findControl(int id) const;
    const std::vector<Control>& controls() const { return controls_; }

    Rect toPixels(const Rect& dialogUnits) const;
    // Gives the keyboard focus to the enabled default push button, else to
    // the dialog itself.
    void focusDefaultButton();
    void dispatchCommand(int id, int notification);
    void end(int code);
    bool ended() const { return ended_; }
    bool setTimer(int id, int periodMs);
    bool killTimer(int id);
    // An owner-drawn button's paint event: the procedure paints it.
    void paintItem(const Control& control, QPainter& painter, const DrawItem& item);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Escape and the close box come here: both become the cancel command.
    void reject() override;

  private:
    void createControl(const ControlTemplate& source);

    DialogProcedure& procedure_;
    DialogHandle handle_;
    BaseUnits units_;
    std::vector<Control> controls_;
    std::map<int, QTimer*> timers_;  // children of the dialog
    bool ended_ = false;
    int endCode_ = 0;
    // A modeless dialog's procedure; destroyed before the widgets it drew.
    std::unique_ptr<DialogProcedure> ownedProcedure_;
};

// Text as a static control shows it: "&x" shows x (the access key marker),
// "&&" shows one '&'.
QString withoutAccessMarkers(std::string_view text);

// The dynamic property of the dialog's window that mirrors a control's value
// (setControlValue), for tests and tools that see only the widget.
QByteArray controlValueProperty(int id);

}  // namespace mirel::gui
