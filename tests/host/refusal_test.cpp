// A host without advanceState: the plug-in shows its refusal dialog (on the
// offscreen platform), returns 1 and frees the run's memory. This test binary
// plays a host that owns its QApplication, which the plug-in then uses.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>

#include "tests/host/dialog_answers.h"
#include "tests/host/host_fixture.h"

namespace mirel::testing {
namespace {

struct SeenDialog {
    bool shown = false;
    std::string title;
    std::string text;
    std::string button;
};

// Watches for the modal dialog, notes what it shows and presses its button;
// closes anything modal after a few seconds so that no failure can hang.
void answerNextDialog(SeenDialog& seen) {
    auto* timer = new QTimer(&hostApplication());
    const auto started = std::chrono::steady_clock::now();
    QObject::connect(timer, &QTimer::timeout, [timer, &seen, started] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog && dialog->isVisible()) {
            seen.shown = true;
            seen.title = dialog->windowTitle().toStdString();
            for (QLabel* label : dialog->findChildren<QLabel*>())
                seen.text += label->text().toStdString();
            if (auto buttons = dialog->findChildren<QPushButton*>(); !buttons.isEmpty()) {
                seen.button = buttons.front()->text().toStdString();
                buttons.front()->click();
            } else {
                dialog->close();
            }
            timer->stop();
            timer->deleteLater();
        } else if (std::chrono::steady_clock::now() - started > std::chrono::seconds(10)) {
            if (dialog) dialog->close();
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

TEST(Refusal, HostWithoutAdvanceStateSeesTheDialogAndResultOne) {
    hostApplication();
    host_app::Picture picture = gradientPicture(32, 32, 3);
    hostkit::HostOptions options;
    options.offerAdvanceState = false;
    hostkit::FilterHost host(plugin(), picture, options);
    ASSERT_EQ(host.call(1), 0);
    ASSERT_EQ(host.call(2), 0);

    SeenDialog seen;
    answerNextDialog(seen);
    EXPECT_EQ(host.call(3), 1);

    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, "Plug-in error");
    EXPECT_EQ(seen.text,
              "The filter cannot run because your paint program does not support enough of the "
              "Photoshop 3.0 plug-in standard.");
    EXPECT_EQ(seen.button, "Cancel");
    EXPECT_TRUE(workingMemoryFreed(runStateOf(host)));
    EXPECT_TRUE(blocksUnlocked(host));
    EXPECT_TRUE(host.record().inRect.bottom == 0 && host.record().outRect.right == 0);

    // The picture is untouched and a later Finish has nothing left to free.
    EXPECT_EQ(host.call(5), 0);
}

}  // namespace
}  // namespace mirel::testing
