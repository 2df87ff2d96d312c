// Answering the plug-in's file dialogs and the dialogs it opens beside the
// main one, from the test that drives the main dialog; and catching the
// addresses handed to the desktop's browser.
#pragma once

#include <QFileDialog>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <string>

namespace mirel::testing {

// Runs `answer` on the next modal file dialog once it is on screen. The
// answer must close it (accept or reject).
void answerFileDialog(std::function<void(QFileDialog&)> answer);

// Chooses `path` in a file dialog as a person typing it would, and presses
// the dialog's button once the dialog has taken it in. False (the dialog then
// rejected) when it does not take it.
bool chooseInFileDialog(QFileDialog& dialog, const std::string& path);

// Runs `answer` on the next modal window with this title once it is on screen.
void answerModalWindow(const QString& title, std::function<void(QWidget&)> answer);

// The visible top-level windows with this title.
QWidgetList windowsTitled(const QString& title);

// Makes `name` the current entry of the dialog's file list, once the list
// shows it. False when it never shows.
bool selectFileInList(QFileDialog& dialog, const QString& name);

// Takes the addresses opened with the desktop's handler (web and file
// addresses) while it lives, instead of a browser.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    UrlCatcher();
    ~UrlCatcher() override;
    QStringList opened;

  public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

}  // namespace mirel::testing
