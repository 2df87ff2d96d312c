// Helpers for the dialog tests: a watchdog against hangs and a way to run a
// dialog with a test script that is sure to end it, on either backend.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/gui/dialog.h"
#include "tests/platform_gui/gui_driver.h"

namespace mirel::gui::testing {

// Ends the process with a message when a test outlives `limit`: a modal loop
// that nobody closes must fail the run, not stall it.
class Watchdog {
  public:
    explicit Watchdog(std::chrono::seconds limit = std::chrono::seconds(30)) {
        thread_ = std::thread([this, limit] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                std::fprintf(stderr, "watchdog: test still running after %lld s, aborting\n",
                             static_cast<long long>(limit.count()));
                std::fflush(stderr);
                std::_Exit(3);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// The code a scripted dialog ends with when its script failed or left it open.
constexpr int kScriptLeftOpen = -77;

// Runs the dialog and calls `script` once it is shown (for the first dialog
// shown only; nested dialogs get `nestedScript` if given). When the script
// fails a fatal assertion, or the dialog is still open `graceMs` after the
// script, the dialog is ended with kScriptLeftOpen.
inline int runScripted(const DialogTemplate& dialogTemplate, DialogProcedure& procedure,
                       std::function<void(DialogHandle&)> script, int graceMs = 3000,
                       void* owner = nullptr,
                       std::function<void(DialogHandle&)> nestedScript = {}) {
    bool first = true;
    setDialogShownHook([&](DialogHandle& dialog) {
        if (!first) {
            if (nestedScript) nestedScript(dialog);
            return;
        }
        first = false;
        script(dialog);
        if (::testing::Test::HasFatalFailure()) {
            dialog.endDialog(kScriptLeftOpen);
            return;
        }
        if (!dialog.hasEnded()) endDialogLater(dialog, graceMs, kScriptLeftOpen);
    });
    struct Guard {
        ~Guard() { setDialogShownHook({}); }
    } guard;
    return runModalDialog(dialogTemplate, procedure, owner);
}

}  // namespace mirel::gui::testing
