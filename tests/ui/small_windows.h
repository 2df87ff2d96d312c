// Answering the plug-in's file dialogs and the windows it opens beside the
// main one, from the test that drives the main dialog; catching the addresses
// it hands to the desktop's browser; and running the host program with its
// dialog on a display, where a key is pressed in it. The same on either
// backend: small_windows_qt.cpp answers Qt's file dialog and catches Qt's URL
// handler, small_windows_win32.cpp the system's common dialogs and the shell.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/image.h"
#include "tests/platform_gui/gui_driver.h"
#include "tests/support/host_program.h"

namespace mirel::testing {

// An open or save dialog on screen, as its answer sees it. Each reading is
// what a person would see on the dialog.
class FileDialog {
  public:
    explicit FileDialog(void* window) : window_(window) {}
    void* window() const { return window_; }

    std::string title() const;
    // The text of the button that takes the name ("Open", "Save"), without
    // access markers.
    std::string acceptButtonText() const;
    // The file types the dialog offers, as its list of types shows them.
    std::vector<std::string> fileTypes() const;
    // What the name field holds: the name the dialog proposes, at first.
    std::string nameField() const;
    // The folder the dialog lists, ending with the system's separator.
    std::string folder() const;

    // Puts `path` into the name field whole, with the system's separators, as
    // a person on that system would paste it.
    void enterName(const std::string& path);
    // Enters `path` and presses the button. True once the dialog took the
    // name and closed; else the dialog is cancelled. When the dialog asks
    // before replacing a file, the answer is `replace`.
    bool choose(const std::string& path, bool replace = false);
    void cancel();
    // Makes `name` the selected entry of the dialog's list, as the arrow keys
    // would, once the list shows it. False when it never does.
    bool selectInList(const std::string& name);
    // The preview area beside an open dialog's list as it shows now (pending
    // paints done); empty when the dialog has none.
    gui::Image preview() const;

  private:
    void* window_;
};

// Runs `answer` on the next file dialog once it is on screen (within 20
// seconds). The answer must close it (choose or cancel).
void answerFileDialog(std::function<void(FileDialog&)> answer);

// Runs `answer` on the next modal window with this title once it is on screen
// (within 20 seconds), with the window as the layer's nativeWindow gives it.
void answerModalWindow(std::string_view title, std::function<void(void* window)> answer);

// Takes the addresses this program hands to the desktop's handler (web
// pages, local pages) while it lives, instead of a browser. It takes them from
// the copies of the window layer loaded when it is made (the plug-in's too,
// once loaded).
class UrlCatcher {
  public:
    UrlCatcher();
    ~UrlCatcher();
    UrlCatcher(const UrlCatcher&) = delete;
    UrlCatcher& operator=(const UrlCatcher&) = delete;

    // The addresses in the order they came: web addresses as given, local
    // pages as their paths.
    std::vector<std::string> opened() const;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

// `path` with the system's own separators: tests write '/', which Windows
// takes too but its file dialogs and the paths they give back do not.
std::string nativePath(std::string path);

// Runs the host program with `arguments` in `folder` (the filter's temporary
// folder in `temporaryFolder`) with its dialog on an X display of its own,
// presses `key` in the dialog once it shows, until it is gone, and returns how
// the program ended. When this system cannot do that, says why in `whyNot`.
ProgramOutcome runProgramPressingInDialog(const std::string& arguments, const std::string& folder,
                                          const std::string& temporaryFolder, gui::testing::Key key,
                                          std::string& whyNot);

}  // namespace mirel::testing
