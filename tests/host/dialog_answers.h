// Answering the plug-in's modal dialogs from a test that plays a host. The
// plug-in keeps a window layer of its own, so its dialogs are found through what
// the process shares with it: on Linux the test's QApplication, which the
// plug-in then uses; on Windows the process's windows.
#pragma once

#if defined(_WIN32)
#include <windows.h>

#include <chrono>
#include <thread>
#else
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <chrono>
#endif

namespace mirel::testing {

#if defined(_WIN32)

// Closes the next window this process shows (the plug-in's dialog) as its close
// box does, from a thread of its own; gives up after a few seconds.
inline void cancelNextDialog() {
    std::thread([] {
        const auto started = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - started < std::chrono::seconds(10)) {
            HWND found = nullptr;
            ::EnumWindows(
                [](HWND window, LPARAM result) -> BOOL {
                    DWORD process = 0;
                    ::GetWindowThreadProcessId(window, &process);
                    if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window))
                        return TRUE;
                    *reinterpret_cast<HWND*>(result) = window;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&found));
            if (found) {
                ::PostMessageW(found, WM_CLOSE, 0, 0);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }).detach();
}

#else

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

#endif

}  // namespace mirel::testing
