#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "skin/history_combo.h"
#include "skin/xfolder_dialog.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CHistoryCombo;

class FolderHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folders.isValid());
        ASSERT_TRUE(profile.isValid());
        settings = std::make_unique<QSettings>(profile.filePath(QStringLiteral("profile.ini")),
                                               QSettings::IniFormat);
    }
    QString folder(int n) {
        const QString path = folders.filePath(QStringLiteral("f%1").arg(n));
        QDir().mkpath(path);
        return path;
    }
    QString key(int index) {
        return QStringLiteral("FolderHistory/Folder%1").arg(index, 4, 10, QLatin1Char('0'));
    }
    std::unique_ptr<CHistoryCombo> dialogCombo() {
        auto combo = std::make_unique<CHistoryCombo>();
        combo->setCheckExistence(true);
        combo->setMaxHistory(50);
        return combo;
    }

    QTemporaryDir folders;
    QTemporaryDir profile;
    std::unique_ptr<QSettings> settings;
};

TEST_F(FolderHistoryTest, ConfirmingAListedFolderMovesItToTheTop) {
    settings->setValue(key(0), folder(1));
    settings->setValue(key(1), folder(2));
    settings->setValue(key(2), folder(3));
    auto combo = dialogCombo();
    combo->loadHistory(*settings);
    combo->setEditText(folder(3));
    combo->saveHistory(*settings);
    EXPECT_EQ(combo->entries(), (QStringList{folder(3), folder(1), folder(2)}));
    EXPECT_EQ(settings->value(key(0)).toString(), folder(3));
    EXPECT_EQ(settings->value(key(2)).toString(), folder(2));
    EXPECT_FALSE(settings->contains(key(3)));
    EXPECT_EQ(settings->value(QStringLiteral("FolderHistory/Folder")).toString(), folder(3));
}

TEST_F(FolderHistoryTest, FiftyEntriesDropTheOldestAndNoHigherKeyIsLeft) {
    for (int i = 0; i < 50; ++i) {
        settings->setValue(key(i), folder(i));
    }
    // Left over from a run with a larger history.
    settings->setValue(key(50), folder(50));
    settings->setValue(key(51), folder(51));
    auto combo = dialogCombo();
    combo->loadHistory(*settings);
    ASSERT_EQ(combo->count(), 50);
    combo->setEditText(folder(99));
    combo->saveHistory(*settings);
    EXPECT_EQ(combo->count(), 50);
    EXPECT_EQ(settings->value(key(0)).toString(), folder(99));
    EXPECT_EQ(settings->value(key(49)).toString(), folder(48));  // folder 49 dropped
    EXPECT_FALSE(settings->contains(key(50)));
    EXPECT_FALSE(settings->contains(key(51)));
}

TEST_F(FolderHistoryTest, BlanksAroundATypedFolderAreNotStored) {
    auto combo = dialogCombo();
    combo->loadHistory(*settings);
    combo->setEditText(QStringLiteral("  ") + folder(1) + QStringLiteral(" \t"));
    combo->saveHistory(*settings);
    EXPECT_EQ(settings->value(key(0)).toString(), folder(1));
}

TEST_F(FolderHistoryTest, LoadingStopsAtAGapSkipsVanishedFoldersAndSelectsTheLastUsed) {
    settings->setValue(key(0), folder(1));
    settings->setValue(key(1), folders.filePath(QStringLiteral("gone")));
    settings->setValue(key(2), folder(2));
    settings->setValue(key(4), folder(4));  // after the gap at 3: never read
    settings->setValue(QStringLiteral("FolderHistory/Folder"), folder(2));
    auto combo = dialogCombo();
    combo->loadHistory(*settings);
    EXPECT_EQ(combo->entries(), (QStringList{folder(1), folder(2)}));
    EXPECT_EQ(combo->currentText(), folder(2));
    // A last-used folder that is not listed goes into the edit field only.
    settings->setValue(QStringLiteral("FolderHistory/Folder"), QStringLiteral("/elsewhere"));
    combo->loadHistory(*settings);
    EXPECT_EQ(combo->currentText(), QStringLiteral("/elsewhere"));
    EXPECT_EQ(combo->count(), 2);
}

TEST_F(FolderHistoryTest, DialogRefusesEmptyAndInaccessibleFolders) {
    MessageBoxSpy boxes;
    ui::CXFolderDialog dialog(*settings, folders.path());
    dialog.history()->setEditText(QString());
    EXPECT_FALSE(dialog.confirm());
    dialog.history()->setEditText(folders.filePath(QStringLiteral("missing")));
    EXPECT_FALSE(dialog.confirm());
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Please select a folder."));
    EXPECT_EQ(boxes.boxes[1].text, QStringLiteral("The folder '%1' isn't accessible.")
                                       .arg(folders.filePath(QStringLiteral("missing"))));
    EXPECT_FALSE(settings->contains(key(0)));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(FolderHistoryTest, DialogConfirmsAFolderAndRemembersIt) {
    MessageBoxSpy boxes;
    {
        ui::CXFolderDialog dialog(*settings, folders.path());
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Select Folder"));
        dialog.history()->setEditText(folder(7));
        EXPECT_TRUE(dialog.confirm());
        EXPECT_EQ(dialog.folder(), folder(7));
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        dialog.setViewMode(QFileDialog::Detail);
    }
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(settings->value(key(0)).toString(), folder(7));
    EXPECT_EQ(settings->value(QStringLiteral("XFolderDialog/ViewMode")).toInt(), 28747);
    // The next run starts with the history and the view mode.
    ui::CXFolderDialog again(*settings, folders.path(), nullptr, QStringLiteral("Pick"));
    EXPECT_EQ(again.windowTitle(), QStringLiteral("Pick"));
    EXPECT_EQ(again.history()->currentText(), folder(7));
    EXPECT_EQ(again.viewMode(), QFileDialog::Detail);
}

// On a first run there is no history: the field shows the folder the dialog opens in, so
// "OK" takes that folder at once instead of asking for one.
TEST_F(FolderHistoryTest, FirstRunFieldShowsTheDialogsFolderAndOkTakesIt) {
    MessageBoxSpy boxes;
    ui::CXFolderDialog dialog(*settings, folder(3));
    dialog.show();
    processPosted();
    EXPECT_EQ(dialog.history()->currentText().toStdString(), folder(3).toStdString());
    EXPECT_TRUE(dialog.confirm());
    EXPECT_EQ(dialog.folder().toStdString(), folder(3).toStdString());
    EXPECT_TRUE(boxes.boxes.empty());
}

// "OK" and "Cancel" stand in the order the platform gives a dialog's buttons.
TEST_F(FolderHistoryTest, OkAndCancelKeepThePlatformsOrder) {
    ui::CXFolderDialog dialog(*settings, folder(1));
    dialog.show();
    processPosted();
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QPushButton* cancel = box->button(QDialogButtonBox::Cancel);
    ASSERT_NE(cancel, nullptr);
    QDialogButtonBox platform(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, box->orientation());
    platform.show();
    processPosted();
    auto before = [](const QWidget* a, const QWidget* b) {
        const QPoint pa = a->mapToGlobal(QPoint(0, 0));
        const QPoint pb = b->mapToGlobal(QPoint(0, 0));
        return pa.y() < pb.y() || (pa.y() == pb.y() && pa.x() < pb.x());
    };
    EXPECT_TRUE(dialog.okButton()->isVisible());
    // The file dialog's own accept button ("Choose") is not shown beside "OK".
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        EXPECT_TRUE(button == dialog.okButton() || button == cancel || !button->isVisible())
            << button->text().toStdString();
    }
    EXPECT_EQ(before(dialog.okButton(), cancel), before(platform.button(QDialogButtonBox::Ok),
                                                        platform.button(QDialogButtonBox::Cancel)));
}

TEST_F(FolderHistoryTest, CancellingLeavesTheHistoryAlone) {
    settings->setValue(key(0), folder(1));
    ui::CXFolderDialog dialog(*settings, folders.path());
    dialog.history()->setEditText(folder(2));
    QTimer::singleShot(0, &dialog, &QDialog::reject);
    EXPECT_EQ(dialog.run(), 2);
    EXPECT_EQ(settings->value(key(0)).toString(), folder(1));
    EXPECT_FALSE(settings->contains(key(1)));
}

}  // namespace
}  // namespace qelv::test
