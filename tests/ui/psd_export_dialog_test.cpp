// The PSD export from the real dialog: the options dialog's size rules, the
// save dialog, the progress window and the document it leaves; and dialogs
// that are cancelled, which write nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/host/host_fixture.h"
#include "tests/support/scratch.h"
#include "tests/ui/dialog_driver.h"
#include "tests/ui/small_windows.h"

namespace mirel::testing {
namespace {

namespace gt = gui::testing;
using namespace ids;
using hostkit::FilterHost;

constexpr int kPsdButton = 69;
constexpr const char* kOptionsTitle = "Export PSD image";
constexpr const char* kProgressTitle = "PSD file progress";

// The options dialog's controls, found by what they show (a control that is
// missing has no window).
struct Options {
    void* window = nullptr;
    gt::ShownControl sameSize, sameProportions, custom, width, height, ok, cancel;

    bool complete() const {
        return sameSize.window && sameProportions.window && custom.window && width.window &&
               height.window && ok.window && cancel.window;
    }
    void click(const gt::ShownControl& control) { gt::clickControlWindow(window, control); }
    // Replaces a field's text key by key.
    void typeInto(const gt::ShownControl& field, std::string_view text) {
        gt::focusControlWindow(window, field.window);
        gt::typeIntoControl(window, field.window, text, true);
    }
};

Options optionsOf(void* window) {
    Options o;
    o.window = window;
    std::vector<gt::ShownControl> fields;
    for (const gt::ShownControl& control : gt::controlsOf(window)) {
        if (control.kind == gt::ControlKind::RadioButton) {
            if (control.text == "Same size as input") o.sameSize = control;
            if (control.text == "Same proportions as input") o.sameProportions = control;
            if (control.text == "Custom size in pixels:") o.custom = control;
        }
        if (control.kind == gt::ControlKind::EditField) fields.push_back(control);
        if (control.kind == gt::ControlKind::PushButton) {
            if (control.text == "&OK") o.ok = control;
            if (control.text == "&Cancel") o.cancel = control;
        }
    }
    // In template order: width, then height.
    if (fields.size() == 2) {
        o.width = fields[0];
        o.height = fields[1];
    }
    return o;
}

bool isChecked(const gt::ShownControl& control) {
    return gt::isControlChecked(control.window);
}

std::string textOf(const gt::ShownControl& control) {
    return gt::textOfControl(control.window);
}

// Width and height from a document's header.
std::pair<std::uint32_t, std::uint32_t> psdSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[26] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (std::string(reinterpret_cast<char*>(header), 4) != "8BPS") return {0, 0};
    const auto at = [&](int i) {
        return std::uint32_t(header[i]) << 24 | header[i + 1] << 16 | header[i + 2] << 8 |
               header[i + 3];
    };
    return {at(18), at(14)};
}

TEST(PsdExportDialog, TypedSizesAreClampedAndTheDocumentIsWrittenWithProgress) {
    useOwnTemporaryFolder();
    const std::string folder = scratchFolder();
    host_app::Picture picture = rampPicture(160, 120);
    FilterHost host(plugin(), picture);
    bool progressShown = false;
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        answerModalWindow(kOptionsTitle, [&](void* window) {
            Options o = optionsOf(window);
            ASSERT_TRUE(o.complete());
            EXPECT_TRUE(isChecked(o.sameSize));
            EXPECT_EQ(textOf(o.width), "160");
            EXPECT_EQ(textOf(o.height), "120");
            // Typing while "same size" is chosen makes the size a custom one.
            o.typeInto(o.width, "1");
            EXPECT_TRUE(isChecked(o.custom));
            EXPECT_FALSE(isChecked(o.sameSize));
            o.typeInto(o.height, "x1");
            answerFileDialog([&](FileDialog& save) {
                EXPECT_EQ(save.title(), "Save a PSD file");
                EXPECT_EQ(save.fileTypes(), std::vector<std::string>{"Photoshop files (*.psd)"});
                EXPECT_EQ(save.nameField(), "Mirel result.psd");
                answerModalWindow(kProgressTitle, [&](void* progress) {
                    progressShown = true;
                    EXPECT_EQ(optionsOf(progress).width.window, nullptr);
                });
                EXPECT_TRUE(save.choose(folder + "water"));
            });
            o.click(o.ok);
        });
        dialog.click(kPsdButton);
        const ParameterBlock& params = parametersOf(host);
        EXPECT_EQ(params.exportSizeChoice, kExportCustomSize);
        EXPECT_EQ(params.exportWidth, 2);
        EXPECT_EQ(params.exportHeight, 2);
        EXPECT_EQ(folderView(params.exportFolder), folder);
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(progressShown);
    EXPECT_EQ(psdSize(folder + "water.psd"), std::make_pair(2u, 2u));
}

TEST(PsdExportDialog, ProportionsFollowTheFieldsAndTheChoiceIsKept) {
    useOwnTemporaryFolder();
    const std::string folder = scratchFolder();
    host_app::Picture picture = rampPicture(400, 300);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        answerModalWindow(kOptionsTitle, [&](void* window) {
            Options o = optionsOf(window);
            ASSERT_TRUE(o.complete());
            o.click(o.sameProportions);
            o.typeInto(o.width, "200");
            EXPECT_EQ(textOf(o.height), "150");
            o.typeInto(o.height, "30");
            EXPECT_EQ(textOf(o.width), "40");
            answerFileDialog(
                [&](FileDialog& save) { EXPECT_TRUE(save.choose(folder + "small.psd")); });
            o.click(o.ok);
        });
        dialog.click(kPsdButton);
        EXPECT_EQ(parametersOf(host).exportSizeChoice, kExportSameProportions);

        // Opened again: the choice is kept, the fields show the picture's size.
        answerModalWindow(kOptionsTitle, [&](void* window) {
            Options o = optionsOf(window);
            ASSERT_TRUE(o.complete());
            EXPECT_TRUE(isChecked(o.sameProportions));
            EXPECT_EQ(textOf(o.width), "400");
            o.click(o.cancel);
        });
        dialog.click(kPsdButton);
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(psdSize(folder + "small.psd"), std::make_pair(40u, 30u));
}

TEST(PsdExportDialog, CancelInEitherDialogWritesNothing) {
    useOwnTemporaryFolder();
    const std::string folder = nativePath(scratchFolder() + "out/");
    std::filesystem::create_directories(folder);
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        answerModalWindow(kOptionsTitle, [&](void* window) { gt::closeFromWindowSystem(window); });
        dialog.click(kPsdButton);
        answerModalWindow(kOptionsTitle, [&](void* window) {
            answerFileDialog([&](FileDialog& save) {
                save.enterName(folder + "never.psd");
                save.cancel();
            });
            Options o = optionsOf(window);
            o.click(o.ok);
        });
        dialog.click(kPsdButton);
        dialog.click(kCancel);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

}  // namespace
}  // namespace mirel::testing
