// The PSD export from the real dialog: the options dialog's size rules, the
// save dialog, the progress window and the document it leaves; and dialogs
// that are cancelled, which write nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "tests/host/host_fixture.h"
#include "tests/support/scratch.h"
#include "tests/ui/dialog_driver.h"
#include "tests/ui/small_windows.h"

namespace mirel::testing {
namespace {

using namespace ids;
using hostkit::FilterHost;

constexpr int kPsdButton = 69;
const QString kOptionsTitle = QStringLiteral("Export PSD image");
const QString kProgressTitle = QStringLiteral("PSD file progress");

// The options dialog's widgets, found by what they show.
struct Options {
    QRadioButton* sameSize = nullptr;
    QRadioButton* sameProportions = nullptr;
    QRadioButton* custom = nullptr;
    QLineEdit* width = nullptr;
    QLineEdit* height = nullptr;
    QAbstractButton* ok = nullptr;
    QAbstractButton* cancel = nullptr;
};

Options optionsOf(QWidget& window) {
    Options o;
    for (QRadioButton* radio : window.findChildren<QRadioButton*>()) {
        if (radio->text() == "Same size as input") o.sameSize = radio;
        if (radio->text() == "Same proportions as input") o.sameProportions = radio;
        if (radio->text() == "Custom size in pixels:") o.custom = radio;
    }
    const QList<QLineEdit*> fields = window.findChildren<QLineEdit*>();
    // In template order: width, then height.
    if (fields.size() == 2) {
        o.width = fields[0];
        o.height = fields[1];
    }
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (button->text() == "&OK") o.ok = button;
        if (button->text() == "&Cancel") o.cancel = button;
    }
    return o;
}

void typeInto(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
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
        answerModalWindow(kOptionsTitle, [&](QWidget& window) {
            const Options o = optionsOf(window);
            ASSERT_TRUE(o.sameSize && o.custom && o.width && o.height && o.ok);
            EXPECT_TRUE(o.sameSize->isChecked());
            EXPECT_EQ(o.width->text().toStdString(), "160");
            EXPECT_EQ(o.height->text().toStdString(), "120");
            // Typing while "same size" is chosen makes the size a custom one.
            typeInto(o.width, "1");
            EXPECT_TRUE(o.custom->isChecked());
            EXPECT_FALSE(o.sameSize->isChecked());
            typeInto(o.height, "x1");
            answerFileDialog([&](QFileDialog& save) {
                EXPECT_EQ(save.windowTitle().toStdString(), "Save a PSD file");
                EXPECT_EQ(save.nameFilters(), QStringList{"Photoshop files (*.psd)"});
                EXPECT_EQ(QFileInfo(save.selectedFiles().value(0)).fileName().toStdString(),
                          "Mirel result.psd");
                answerModalWindow(kProgressTitle, [&](QWidget& progress) {
                    progressShown = true;
                    EXPECT_EQ(optionsOf(progress).width, nullptr);
                });
                EXPECT_TRUE(chooseInFileDialog(save, folder + "water"));
            });
            o.ok->click();
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
        answerModalWindow(kOptionsTitle, [&](QWidget& window) {
            const Options o = optionsOf(window);
            ASSERT_TRUE(o.sameProportions && o.width && o.height && o.ok);
            o.sameProportions->click();
            typeInto(o.width, "200");
            EXPECT_EQ(o.height->text().toStdString(), "150");
            typeInto(o.height, "30");
            EXPECT_EQ(o.width->text().toStdString(), "40");
            answerFileDialog([&](QFileDialog& save) {
                EXPECT_TRUE(chooseInFileDialog(save, folder + "small.psd"));
            });
            o.ok->click();
        });
        dialog.click(kPsdButton);
        EXPECT_EQ(parametersOf(host).exportSizeChoice, kExportSameProportions);

        // Opened again: the choice is kept, the fields show the picture's size.
        answerModalWindow(kOptionsTitle, [&](QWidget& window) {
            const Options o = optionsOf(window);
            ASSERT_TRUE(o.sameProportions && o.width && o.cancel);
            EXPECT_TRUE(o.sameProportions->isChecked());
            EXPECT_EQ(o.width->text().toStdString(), "400");
            o.cancel->click();
        });
        dialog.click(kPsdButton);
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(psdSize(folder + "small.psd"), std::make_pair(40u, 30u));
}

TEST(PsdExportDialog, CancelInEitherDialogWritesNothing) {
    useOwnTemporaryFolder();
    const std::string folder = scratchFolder() + "out/";
    std::filesystem::create_directories(folder);
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        answerModalWindow(kOptionsTitle, [&](QWidget& window) { window.close(); });
        dialog.click(kPsdButton);
        answerModalWindow(kOptionsTitle, [&](QWidget& window) {
            answerFileDialog([&](QFileDialog& save) {
                save.selectFile(QString::fromStdString(folder + "never.psd"));
                save.reject();
            });
            optionsOf(window).ok->click();
        });
        dialog.click(kPsdButton);
        dialog.click(kCancel);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

}  // namespace
}  // namespace mirel::testing
