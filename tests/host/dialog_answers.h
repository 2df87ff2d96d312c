// Answering the plug-in's modal dialogs from a test that plays a host owning
// its QApplication (the plug-in then uses it).
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <chrono>

namespace mirel::testing {

inline QApplication& hostApplication() {
    static int argc = 1;
    static char name[] = "host_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        if (auto* existing = qobject_cast<QApplication*>(QApplication::instance())) return existing;
        return new QApplication(argc, argv);
    }();
    return *application;
}

// Closes the next modal dialog as its close box does (the dialog's Cancel),
// once it is on screen; gives up after a few seconds.
inline void cancelNextDialog() {
    auto* timer = new QTimer(&hostApplication());
    const auto started = std::chrono::steady_clock::now();
    QObject::connect(timer, &QTimer::timeout, [timer, started] {
        QWidget* dialog = QApplication::activeModalWidget();
        const bool late = std::chrono::steady_clock::now() - started > std::chrono::seconds(10);
        if ((dialog && dialog->isVisible()) || late) {
            if (dialog) dialog->close();
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

}  // namespace mirel::testing
