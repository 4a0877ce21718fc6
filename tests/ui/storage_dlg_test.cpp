// The storage information dialog on fake drives: the figures it shows for a card, what cards
// coming and going do to it, and a format run from the question to the reported outcome.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextDocumentFragment>
#include <map>

#include "support/temp_dir.h"
#include "tools/ui/wyfs_formatter_dlg.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CWYFSFormatterDlg;

core::SourceDrive fatCard(const std::string& mount, const std::string& device) {
    return {0, mount, device, core::SourceKind::FatDrive};
}
core::SourceDrive wyfsCard(const std::string& device) {
    return {1, device + " (WYFS)", device, core::SourceKind::WyfsDrive};
}

// `count` recordings of one camera.
std::vector<std::string> names(int count, const std::string& camera) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        out.push_back("20240131_1200" + std::to_string(10 + i) + "_2CH_N_" + camera);
    }
    return out;
}

class StorageDlgTest : public ::testing::Test {
protected:
    StorageDlgTest() {
        services.discover = [this] {
            ++discoveries;
            auto all = drives;
            all.push_back({-1, "Find in My Computer", "", core::SourceKind::PcFolder});
            return all;
        };
        services.figures =
            [this](const core::StorageCard& card) -> std::optional<core::StorageFigures> {
            asked.push_back(card);
            const auto it = sizes.find(card.path);
            if (it == sizes.end()) {
                return std::nullopt;
            }
            return core::estimateStorage(it->second, [this, card](const std::string& folder) {
                const auto files = folders.find(card.path + folder);
                return files == folders.end() ? std::vector<std::string>{} : files->second;
            });
        };
        services.format = [this](const QString& device, std::function<void(const QString&)> onStep,
                                 std::function<void(const ui::FormatOutcome&)> onDone) {
            formatted.push_back(device.toStdString());
            step = std::move(onStep);
            done = std::move(onDone);
        };
    }

    std::unique_ptr<CWYFSFormatterDlg> open() {
        auto dialog = std::make_unique<CWYFSFormatterDlg>(nullptr, services);
        dialog->show();
        EXPECT_TRUE(waitFor([&] { return discoveries > 0; }));
        processPosted();
        return dialog;
    }
    static std::string text(const CWYFSFormatterDlg& dialog, int id) {
        QWidget* w = dialog.control(id);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            return label->text().toStdString();
        }
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            return edit->text().toStdString();
        }
        return "(no text)";
    }
    using Items = std::vector<std::string>;
    static Items listed(const CWYFSFormatterDlg& dialog) {
        auto* list = qobject_cast<QComboBox*>(dialog.control(CWYFSFormatterDlg::kDriveList));
        Items items;
        for (int i = 0; i < list->count(); ++i) {
            items.push_back(list->itemText(i).toStdString());
        }
        return items;
    }
    static void driveChange(CWYFSFormatterDlg& dialog) {
        ui::sendMessage(&dialog, ui::kMsgDriveChange, 0);
        processPosted();
    }
    static void press(CWYFSFormatterDlg& dialog, int id) {
        QTest::mouseClick(dialog.control(id), Qt::LeftButton);
        processPosted();
    }

    ui::StorageDlgServices services;
    std::vector<core::SourceDrive> drives;
    std::map<std::string, std::int64_t> sizes;
    std::map<std::string, std::vector<std::string>> folders;
    std::vector<core::StorageCard> asked;
    std::vector<std::string> formatted;
    std::function<void(const QString&)> step;
    std::function<void(const ui::FormatOutcome&)> done;
    int discoveries = 0;
    MessageBoxSpy boxes;
};

TEST_F(StorageDlgTest, ACardOfThirtyTwoGigabytesWithTenRecordingsOfEachCamera) {
    drives = {fatCard("/media/card/", "/dev/sdb1"), wyfsCard("/dev/sdc")};
    sizes["/media/card/"] = 32768;
    folders["/media/card/NOR/FRONT"] = names(10, "F.mp4");
    folders["/media/card/NOR/REAR"] = names(10, "R1.mp4");
    auto dialog = open();
    // The WyFS card keeps a blank where its mark was; the folder line is not a card.
    EXPECT_EQ(listed(*dialog), (Items{"/media/card/", "/dev/sdc "}));
    EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kCapacity), "/media/card/ (32.00 GB)");
    const char* expected[4][2] = {{"Total: 16384 MB / Used: 1060 MB", "6.5% used"},
                                  {"Total: 6553 MB / Used: 0 MB", "0.0% used"},
                                  {"Total: 6553 MB / Used: 0 MB", "0.0% used"},
                                  {"Total: 3276 MB / Used: 0 MB", "0.0% used"}};
    const char* categories[] = {"NORMAL", "EVENT", "PARKING", "USER"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kNames[i]), categories[i]);
        EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kTotals[i]), expected[i][0]);
        EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kPercents[i]), expected[i][1]);
    }
    // The normal bar is filled to 1060 / 16384 of its width in the bar colour.
    auto* bar = dialog->control(CWYFSFormatterDlg::kBars[0]);
    const QImage image = bar->grab().toImage();
    const int filled = [&] {
        int n = 0;
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixelColor(x, image.height() / 2) == QColor(80, 200, 220) ? 1 : 0;
        }
        return n;
    }();
    EXPECT_NEAR(filled, 200 * 1060 / 16384, 4);

    // Choosing the WyFS card asks for its figures by its device; it cannot be read here.
    auto* list = qobject_cast<QComboBox*>(dialog->control(CWYFSFormatterDlg::kDriveList));
    list->setCurrentIndex(1);
    emit list->activated(1);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back().path, "/dev/sdc");
    EXPECT_TRUE(asked.back().wyfs);
    EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kCapacity), "/dev/sdc (capacity unreadable)");
    EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kTotals[0]), "  0 MB");
}

// A category folder that cannot be read is named to the user; the others are counted.
TEST_F(StorageDlgTest, AFolderThatCannotBeReadIsNamed) {
    const TempDir card;
    touch(card.path() / "NOR/REAR/20240131_120000_2CH_N_R1.mp4");
    touch(card.path() / "NOR/FRONT");  // a file where the folder should be
    drives = {fatCard(card.path().string() + "/", "/dev/sdb1")};
    services.figures = [](const core::StorageCard& c) { return core::cardStorageFigures(c); };
    auto dialog = open();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, ui::MessageIcon::Error);
    EXPECT_TRUE(boxes.boxes[0].text.endsWith(QStringLiteral(":\nNOR/FRONT: Not a directory")))
        << boxes.boxes[0].text.toStdString();
    EXPECT_TRUE(text(*dialog, CWYFSFormatterDlg::kTotals[0]).ends_with("Used: 36 MB"));
}

TEST_F(StorageDlgTest, WithoutACardTheListAsksForOne) {
    auto dialog = open();
    EXPECT_EQ(listed(*dialog), (Items{"Insert SD-CARD then reload..."}));
    EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kCapacity), "No Selected storage");
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kNames[i]), "");  // "Manual" went too
        EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kTotals[i]), "  0 MB");
        EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kPercents[i]), "0.0% used");
    }
    EXPECT_TRUE(asked.empty());

    // A card arriving in an empty list is read without a question.
    drives = {fatCard("/media/card/", "/dev/sdb1")};
    sizes["/media/card/"] = 1000;
    driveChange(*dialog);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(listed(*dialog), (Items{"/media/card/"}));
    EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kTotals[0]), "Total: 500 MB / Used: 0 MB");
}

TEST_F(StorageDlgTest, CardsComingAndGoing) {
    drives = {fatCard("/media/a/", "/dev/sdb1"), fatCard("/media/b/", "/dev/sdc1")};
    auto dialog = open();
    const int before = discoveries;

    // Another card: the user is asked, and No keeps the list.
    drives.push_back(fatCard("/media/c/", "/dev/sdd1"));
    boxes.answer = ui::kIdNo;
    driveChange(*dialog);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.toStdString(), "NEW MEDIA or DRIVE detected.\nReload ?");
    EXPECT_EQ(listed(*dialog).size(), 2u);
    boxes.answer = ui::kIdYes;
    driveChange(*dialog);
    EXPECT_EQ(listed(*dialog).size(), 3u);

    // A card that is not the selected one goes: nothing changes, nothing is said.
    drives.erase(drives.begin() + 1);
    boxes.boxes.clear();
    driveChange(*dialog);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(listed(*dialog).size(), 3u);

    // The selected one goes: the user is told and the list is read again.
    drives.erase(drives.begin());
    driveChange(*dialog);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.toStdString(),
              "Selected drive has been removed. Reload drive list");
    EXPECT_EQ(listed(*dialog), (Items{"/media/c/"}));

    // A hidden dialog takes no notice.
    dialog->hide();
    const int seen = discoveries;
    drives.clear();
    driveChange(*dialog);
    EXPECT_EQ(discoveries, seen);
    EXPECT_GT(seen, before);
}

TEST_F(StorageDlgTest, AFormatRunFromTheQuestionToItsOutcome) {
    drives = {fatCard("/media/card/", "/dev/sdb1")};
    sizes["/media/card/"] = 30000;
    auto dialog = open();
    QWidget* format = dialog->control(CWYFSFormatterDlg::kFormat);
    QWidget* list = dialog->control(CWYFSFormatterDlg::kDriveList);

    // Cancel at the question: nothing starts.
    boxes.answer = ui::kIdCancel;
    press(*dialog, CWYFSFormatterDlg::kFormat);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.toStdString(),
              "All data will be erased. Do you want to continue?");
    EXPECT_TRUE(formatted.empty());
    EXPECT_TRUE(format->isEnabled());

    boxes.answer = ui::kIdOk;
    press(*dialog, CWYFSFormatterDlg::kFormat);
    ASSERT_EQ(formatted, (std::vector<std::string>{"/dev/sdb1"}));
    EXPECT_TRUE(dialog->formatRunning());
    EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kStatus), "Format Started.");
    EXPECT_FALSE(format->isEnabled());
    EXPECT_FALSE(list->isEnabled());
    EXPECT_FALSE(dialog->control(CWYFSFormatterDlg::kNames[2])->isEnabled());
    EXPECT_TRUE(dialog->control(CWYFSFormatterDlg::kBusy)->isVisible());

    step(QStringLiteral("Formatting /dev/sdb1 (FAT32)..."));
    EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kStatus), "Formatting /dev/sdb1 (FAT32)...");
    // Cards coming and going mid-run are ignored; "Close" waits for the end.
    const int seen = discoveries;
    drives.clear();
    driveChange(*dialog);
    EXPECT_EQ(discoveries, seen);
    press(*dialog, CWYFSFormatterDlg::kClose);
    EXPECT_TRUE(dialog->isVisible());

    boxes.boxes.clear();
    done({false, QStringLiteral("Format failed: Error formatting /dev/sdb1: device busy")});
    processPosted();
    EXPECT_FALSE(dialog->formatRunning());
    EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kStatus),
              "Format failed: Error formatting /dev/sdb1: device busy");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, ui::MessageIcon::Error);
    EXPECT_TRUE(format->isEnabled());
    EXPECT_TRUE(list->isEnabled());
    // The close asked for during the run happens now.
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(StorageDlgTest, TheCardFormattedIsTheOneSelectedWhenFormatWasPressed) {
    drives = {fatCard("/media/a/", "/dev/sdb1"), fatCard("/media/b/", "/dev/sdc1")};
    sizes["/media/a/"] = 1000;
    sizes["/media/b/"] = 2000;
    auto dialog = open();
    auto* list = qobject_cast<QComboBox*>(dialog->control(CWYFSFormatterDlg::kDriveList));
    list->setCurrentIndex(1);
    emit list->activated(1);
    // While the question is up, the selected card goes and the list would start again at the
    // first card: the run must not turn to that one.
    boxes.whileShown = [&] {
        drives.erase(drives.begin() + 1);
        driveChange(*dialog);
    };
    press(*dialog, CWYFSFormatterDlg::kFormat);
    EXPECT_EQ(formatted, (std::vector<std::string>{"/dev/sdc1"}));
}

TEST_F(StorageDlgTest, ASuccessfulFormatAndTheKeysThatDoNotClose) {
    // A card's label is anyone's to choose: markup in its mount path is shown as it is.
    drives = {fatCard("/media/card/", "/dev/sdb1"), fatCard("/media/<b>0</b>/", "/dev/sdc1")};
    sizes["/media/card/"] = 30000;
    sizes["/media/<b>0</b>/"] = 0;
    auto dialog = open();
    press(*dialog, CWYFSFormatterDlg::kFormat);
    boxes.boxes.clear();
    done({true, QString::fromLatin1(CWYFSFormatterDlg::kCompleted)});
    processPosted();
    EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kStatus),
              "Format Completed. Please reload drive list.");
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(dialog->control(CWYFSFormatterDlg::kFormat)->isEnabled());

    // A card whose size cannot be read is not formatted, and the status says so.
    auto* list = qobject_cast<QComboBox*>(dialog->control(CWYFSFormatterDlg::kDriveList));
    list->setCurrentIndex(1);
    emit list->activated(1);
    press(*dialog, CWYFSFormatterDlg::kFormat);
    processPosted();
    EXPECT_EQ(formatted.size(), 1u);
    EXPECT_EQ(text(*dialog, CWYFSFormatterDlg::kStatus),
              "Format not started: the size of /media/<b>0</b>/ could not be read.");
    auto* status = qobject_cast<QLabel*>(dialog->control(CWYFSFormatterDlg::kStatus));
    QLabel plain(status->text(), status->parentWidget());
    plain.setTextFormat(Qt::PlainText);
    plain.setWordWrap(true);
    plain.setGeometry(status->geometry());
    EXPECT_TRUE(status->grab().toImage() == plain.grab().toImage()) << "markup in the status";
    const QString tip = dialog->control(CWYFSFormatterDlg::kCapacity)->toolTip();
    EXPECT_TRUE(QTextDocumentFragment::fromHtml(tip).toPlainText().startsWith(u"/media/<b>0</b>/"));
    EXPECT_FALSE(dialog->formatRunning());

    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space}) {
        QTest::keyClick(dialog.get(), static_cast<Qt::Key>(key));
        QTest::keyClick(dialog->control(CWYFSFormatterDlg::kClose), static_cast<Qt::Key>(key));
        processPosted();
    }
    dialog->close();  // what Alt+F4 or the window manager asks
    processPosted();
    EXPECT_TRUE(dialog->isVisible());
    press(*dialog, CWYFSFormatterDlg::kClose);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

}  // namespace
}  // namespace qelv::test
