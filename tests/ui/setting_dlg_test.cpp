// The recorder's settings dialog on a card folder: what it shows for the file, what clicks,
// the time-zone list, "Save" and "Close" do to the file on the card.
#include "tools/ui/setting_dlg.h"

#include <gtest/gtest.h>

#include <QTest>
#include <fstream>

#include "shell/window_keys.h"
#include "support/temp_dir.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CSettingDlg;

class SettingDlgTest : public ::testing::Test {
protected:
    std::filesystem::path file() const { return card.path() / "SETUP" / "setup.ini"; }
    void writeCard(const std::string& text) {
        std::filesystem::create_directories(file().parent_path());
        std::ofstream(file(), std::ios::binary) << text;
    }
    // The choices shown selected.
    static std::vector<int> selected(const CSettingDlg& dialog) {
        std::vector<int> out;
        for (int n = 0; n <= 38; ++n) {
            if (dialog.choiceButton(n)->isChecked()) {
                out.push_back(n);
            }
        }
        return out;
    }
    void click(CSettingDlg& dialog, int n) {
        QTest::mouseClick(dialog.choiceButton(n), Qt::LeftButton);
        processPosted();
    }

    TempDir card;
    MessageBoxSpy boxes;
};

TEST_F(SettingDlgTest, OpeningACardWithoutTheFileCreatesItAndShowsTheDefaults) {
    CSettingDlg dialog(nullptr, card.path());
    ASSERT_TRUE(std::filesystem::exists(file()));
    EXPECT_EQ(readFile(file()).substr(0, 28), "BOARD_VERSION=0\r\nLCD_BR_LV=2");
    // Level 3, G middle, motion middle, LDWS/FCWS/FVSA off, guide/mic/night on, LED on,
    // parking on, shutdown 12.0 V, volume middle, the clock, DST on.
    EXPECT_EQ(selected(dialog),
              (std::vector<int>{2, 4, 7, 9, 11, 13, 16, 18, 20, 22, 24, 26, 31, 36, 38}));
    EXPECT_EQ(dialog.timeZoneList()->count(), 48);
    EXPECT_EQ(dialog.timeZoneList()->currentIndex(), 23);
    EXPECT_EQ(dialog.choiceButton(29)->toolTip(), QStringLiteral("Not used"));
    EXPECT_EQ(dialog.choiceButton(29)->geometry(), QRect(279, 642, 20, 20));
    EXPECT_EQ(dialog.choiceButton(39)->geometry(), QRect(282, 812, 158, 36));
    EXPECT_EQ(dialog.choiceButton(40)->geometry(), QRect(653, 5, 65, 28));
    EXPECT_EQ(dialog.size(), QSize(724, 878));
    EXPECT_TRUE(dialog.openProblem().isEmpty());
    // A selected choice wears the pressed face, the others their normal face.
    dialog.show();
    const QImage on = dialog.choiceButton(2)->grab().toImage();
    const QImage off = dialog.choiceButton(1)->grab().toImage();
    EXPECT_NE(on, off);
}

TEST_F(SettingDlgTest, ClicksChangeOnlyMemoryUntilSave) {
    writeCard("LCD_BR_LV=0\r\nVOLT_CUT_ID=1\r\nGMT_ID=99\r\nFOO=1\r\n");
    const std::string before = readFile(file());
    testing::internal::CaptureStdout();
    CSettingDlg dialog(nullptr, card.path());
    dialog.show();
    EXPECT_EQ(dialog.timeZoneList()->currentIndex(), 23);  // 99 is no zone: the default shown
    click(dialog, 29);                                     // "Not used"
    click(dialog, 1);                                      // brightness level 2
    click(dialog, 35);                                     // screen always on
    const std::vector<int> shown = selected(dialog);
    for (int n : {29, 1, 35}) {
        EXPECT_NE(std::find(shown.begin(), shown.end(), n), shown.end()) << n;
    }
    for (int n : {0, 2, 26, 33, 34, 36}) {
        EXPECT_EQ(std::find(shown.begin(), shown.end(), n), shown.end()) << n;
    }
    EXPECT_EQ(readFile(file()), before);
    QTest::mouseClick(dialog.choiceButton(39), Qt::LeftButton);
    processPosted();
    // The console gets the key the recorder does not know, then the lines saved.
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("INI ITEM <FOO> is not registered! Ignore it.\nBOARD_VERSION=0\n"),
              std::string::npos)
        << console;
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Save done"));
    const std::string saved = readFile(file());
    for (const char* line : {"LCD_BR_LV=1\r\n", "LCD_OFF_DUR=-1\r\n", "SCREEN_SAVER_EN=0\r\n",
                             "VOLT_CUT_ID=4\r\n", "GMT_ID=99\r\n"}) {
        EXPECT_NE(saved.find(line), std::string::npos) << line << saved;
    }
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 18);
}

TEST_F(SettingDlgTest, CloseLeavesTheFileAndAZoneIsSavedOnlyWhenPicked) {
    writeCard("GMT_ID=7\r\n");
    {
        CSettingDlg dialog(nullptr, card.path());
        dialog.show();
        click(dialog, 5);
        QTest::mouseClick(dialog.choiceButton(40), Qt::LeftButton);
        processPosted();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(readFile(file()), "GMT_ID=7\r\n");
    }
    CSettingDlg dialog(nullptr, card.path());
    dialog.show();
    EXPECT_EQ(dialog.timeZoneList()->currentIndex(), 7);
    dialog.timeZoneList()->setCurrentIndex(40);
    emit dialog.timeZoneList()->activated(40);
    QTest::mouseClick(dialog.choiceButton(39), Qt::LeftButton);
    processPosted();
    EXPECT_NE(readFile(file()).find("GMT_ID=40\r\n"), std::string::npos);
}

TEST_F(SettingDlgTest, AFailedSaveSaysWhichFileAndStaysOpen) {
    writeCard("LCD_BR_LV=0\r\n");
    CSettingDlg dialog(nullptr, card.path());
    dialog.show();
    std::filesystem::permissions(file(), std::filesystem::perms::owner_read);
    click(dialog, 2);
    QTest::mouseClick(dialog.choiceButton(39), Qt::LeftButton);
    processPosted();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(boxes.boxes[0].text.contains(QString::fromStdString(file().string())))
        << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(boxes.boxes[0].icon, ui::MessageIcon::Error);
    EXPECT_EQ(readFile(file()), "LCD_BR_LV=0\r\n");
}

TEST_F(SettingDlgTest, ACardThatCannotHoldTheFileSaysSoAndShowsTheDefaults) {
    std::ofstream(card.path() / "SETUP") << "a file where the folder should be";
    CSettingDlg dialog(nullptr, card.path());
    EXPECT_FALSE(dialog.openProblem().isEmpty());
    EXPECT_TRUE(dialog.choiceButton(2)->isChecked());  // the default brightness, not level 1
    dialog.show();
    ASSERT_TRUE(waitFor([&] { return !boxes.boxes.empty(); }));
    EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("defaults")));
}

// Opened from the control bar, the dialog still stands over the middle of the main window.
TEST_F(SettingDlgTest, OpensCentredOnTheMainWindow) {
    RecordingWindow main(ui::kKeyMainWindow);
    main.setGeometry(100, 40, 820, 790);
    QWidget bar(&main, Qt::Window | Qt::FramelessWindowHint);
    bar.setGeometry(114, 493, 770, 50);
    CSettingDlg dialog(&bar, card.path());
    dialog.show();
    EXPECT_EQ(dialog.geometry().center(), main.geometry().center());
}

}  // namespace
}  // namespace qelv::test
