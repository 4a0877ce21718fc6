#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <tuple>

#include "shell/window_keys.h"
#include "simulator/recorder_simulator.h"
#include "storage/ui/file_manager_dlg.h"
#include "storage/ui/select_drive_dlg.h"
#include "support/route_file.h"
#include "support/telemetry_movie.h"
#include "support/temp_dir.h"
#include "ui_support.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::test {
namespace {

using ui::CFileManagerDlg;

core::SourceDrive drive(int index, const std::string& label, core::SourceKind kind) {
    return core::SourceDrive{index, label, {}, kind};
}

class FileListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::WindowRegistry::instance().clear();
        main = std::make_unique<RecordingWindow>(ui::kKeyMainWindow);
        bar = std::make_unique<RecordingWindow>(ui::kKeyControlBar);
        settings = std::make_unique<QSettings>(profile.filePath(QStringLiteral("p.ini")),
                                               QSettings::IniFormat);
        context = std::make_unique<ui::ViewerContext>(shippedConfig(), *settings);
        for (const char* name :
             {"NOR/FRONT/20240131_120400_2CH_N_F.mp4", "NOR/REAR/20240131_120400_2CH_N_R1.mp4",
              "EVT/FRONT/20240131_120100_2CH_E_F.mp4", "MOT/FRONT/20240131_120200_1CH_P_F.mp4",
              "USR/FRONT/20240131_120300_1CH_U_F.mp4", "NOR/FRONT/20240131_120000_2CH_N_F.mp4"}) {
            touch(card.path() / name);
        }
        CFileManagerDlg::Services services;
        services.listDrives = [this](const std::string& folderText) {
            std::vector<core::SourceDrive> drives;
            if (cardMounted) {
                drives.push_back(drive(0, card.path().string() + "/", core::SourceKind::FatDrive));
            }
            drives.push_back(drive(-1, folderText, core::SourceKind::PcFolder));
            return drives;
        };
        services.runDriveDialog = [this](CFileManagerDlg& pane) -> std::optional<int> {
            ++dialogs;
            if (offered) {
                return answerRealDialog(pane);
            }
            context->catalogue().setDrives(
                {drive(-1, context->catalogue().folderSearchText(), core::SourceKind::PcFolder)});
            return dialogAnswer;
        };
        services.chooseFolder = [this](const std::string& title) {
            cursorInPicker = QGuiApplication::overrideCursor() != nullptr;
            ++choices;
            lastTitle = title;
            return folderAnswer;
        };
        services.exportTelemetry.choose = [this](QWidget*, int count) {
            exportCount = count;
            return exportChoice;
        };
        services.exportTelemetry.askFile = [this](QWidget*, const QString&, const QString&,
                                                  const QString&) { return exportTarget; };
        services.exportTelemetry.askFolder = [this](QWidget*, const QString&) {
            return exportTarget;
        };
        folderAnswer = card.path().string();
        list = new CFileManagerDlg(main.get(), *context, std::move(services));
    }
    void TearDown() override {
        delete list;
        ui::WindowRegistry::instance().clear();
    }

    // The real drive dialog on the drives in `offered` plus the folder line: "Check" on line
    // `dialogAnswer`, or "Close" when there is none.
    std::optional<int> answerRealDialog(CFileManagerDlg& pane) {
        ui::CNSelectDriveDlg dialog(&pane, context->catalogue(), [this](const std::string& text) {
            auto lines = *offered;
            lines.push_back(drive(-1, text, core::SourceKind::PcFolder));
            return lines;
        });
        if (!dialogAnswer) {
            dialog.closeButton()->click();
            return std::nullopt;
        }
        dialog.driveCombo()->setCurrentIndex(*dialogAnswer);
        dialog.checkButton()->click();
        return dialog.chosenIndex();
    }
    void command(int id) { ui::sendMessage(list, ui::kMsgButtonClicked, id); }
    std::vector<std::string> rows(int column = 2) const {
        std::vector<std::string> texts;
        for (int row = 0; row < list->list()->rowCount(); ++row) {
            texts.push_back(list->list()->cellText(row, column).toStdString());
        }
        return texts;
    }

    TempDir card;
    QTemporaryDir profile;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<ui::ViewerContext> context;
    std::unique_ptr<RecordingWindow> main;
    std::unique_ptr<RecordingWindow> bar;
    CFileManagerDlg* list = nullptr;
    std::optional<int> dialogAnswer = 0;
    std::optional<std::string> folderAnswer;
    // Drives the real drive dialog offers before its folder line; nothing: no real dialog.
    std::optional<std::vector<core::SourceDrive>> offered;
    bool cursorInPicker = false;
    int dialogs = 0;
    int choices = 0;
    bool cardMounted = false;
    std::string lastTitle;
    std::optional<ui::TelemetryExportChoice> exportChoice;
    QString exportTarget;
    int exportCount = 0;
};

TEST_F(FileListTest, LaysOutItsControls) {
    EXPECT_EQ(list->size(), QSize(315, 470));
    EXPECT_EQ(list->list()->geometry(), QRect(4, 32, 307, 412));
    // The combo ends where it always did, left of "Fixed window", and grows leftwards as far
    // as its longest entry needs, clear of "Open File".
    const QRect combo = list->categoryCombo()->geometry();
    EXPECT_EQ(combo.right(), 254);
    EXPECT_EQ(combo.top(), 5);
    EXPECT_EQ(combo.height(), 20);
    EXPECT_GE(combo.width(), list->categoryCombo()->fittingWidth());
    EXPECT_GT(combo.left(), list->button(CFileManagerDlg::kCmdOpen)->geometry().right() + 20);
    EXPECT_EQ(list->categoryCombo()->count(), 6);  // the five categories and INCIDENTS
    EXPECT_EQ(list->categoryCombo()->currentText(), QStringLiteral("ALL"));
    EXPECT_EQ(list->button(CFileManagerDlg::kCmdOpen)->geometry(), QRect(58, 4, 20, 20));
    EXPECT_EQ(list->button(CFileManagerDlg::kCmdSortUp)->toolTip(),
              QStringLiteral("Sort Ascending"));
    EXPECT_EQ(list->list()->headerItem()->text(1), QStringLiteral("DATA"));
    EXPECT_EQ(list->list()->columnWidth(0), 35);
    EXPECT_EQ(context->fileList(), list->list());
}

TEST_F(FileListTest, OpeningASourceGuardsTheWindowsStopsPlaybackAndListsInOrder) {
    MessageBoxSpy boxes;
    command(CFileManagerDlg::kCmdOpen);
    processPosted();
    EXPECT_EQ(main->received, (std::vector<Received>{{1128, 0, 0}, {1128, 1, 0}}));
    EXPECT_EQ(bar->received, (std::vector<Received>{{1127, 2, 0}}));
    EXPECT_EQ(rows(), (std::vector<std::string>{"12:00:00", "12:01:00", "12:02:00", "12:03:00",
                                                "12:04:00"}));
    EXPECT_EQ(rows(3), (std::vector<std::string>{"NOR", "EVT", "MOT", "USR", "NOR"}));
    EXPECT_EQ(list->list()->focusedRow(), 0);
    ASSERT_TRUE(list->source().has_value());
    EXPECT_EQ(list->source()->kind, core::SourceKind::PcFolder);
    EXPECT_EQ(lastTitle, "Select Folder");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(FileListTest, CancelledOrEmptyChoiceTellsTheUserNoFilesWereFound) {
    MessageBoxSpy boxes;
    dialogAnswer.reset();
    command(CFileManagerDlg::kCmdOpen);
    EXPECT_EQ(choices, 0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              QStringLiteral("No recordings were found.\nChoose another drive or folder."));
    EXPECT_EQ(boxes.boxes[0].icon, ui::MessageIcon::Error);

    // A listing first, then a folder choice that is cancelled: no row outlives its entry.
    dialogAnswer = 0;
    command(CFileManagerDlg::kCmdOpen);
    ASSERT_EQ(list->list()->rowCount(), 5);
    folderAnswer.reset();
    command(CFileManagerDlg::kCmdOpen);
    EXPECT_EQ(list->list()->rowCount(), 0);
    EXPECT_EQ(context->catalogue().shownCount(), 0u);
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(FileListTest, SortingAnEmptyListDoesNothing) {
    command(CFileManagerDlg::kCmdSortDown);
    command(CFileManagerDlg::kCmdSortUp);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(choices, 0);
    EXPECT_EQ(list->list()->rowCount(), 0);
}

TEST_F(FileListTest, SortingRescansTheSourceSoNewRecordingsShowUp) {
    command(CFileManagerDlg::kCmdOpen);
    touch(card.path() / "EVT/FRONT/20240131_120500_2CH_E_F.mp4");
    command(CFileManagerDlg::kCmdSortDown);
    EXPECT_EQ(rows(), (std::vector<std::string>{"12:05:00", "12:04:00", "12:03:00", "12:02:00",
                                                "12:01:00", "12:00:00"}));
    EXPECT_EQ(context->catalogue().sortMode(), core::SortMode::Descending);
    // The folder chosen on the PC is read again without asking for it again.
    EXPECT_EQ(choices, 1);
    command(CFileManagerDlg::kCmdSortUp);
    EXPECT_EQ(rows().front(), "12:00:00");
}

TEST_F(FileListTest, CategoryComboFiltersTheRows) {
    command(CFileManagerDlg::kCmdOpen);
    list->categoryCombo()->setCurrentIndex(2);  // EVENT
    EXPECT_EQ(rows(), (std::vector<std::string>{"12:01:00"}));
    list->categoryCombo()->setCurrentIndex(1);  // NORMAL
    EXPECT_EQ(rows(), (std::vector<std::string>{"12:00:00", "12:04:00"}));
    list->categoryCombo()->setCurrentIndex(0);
    EXPECT_EQ(rows().size(), 5u);
    EXPECT_EQ(rows(0).front(), "001");
}

TEST_F(FileListTest, DoubleClickAsksTheControlBarToPlayEvenWithoutAFocusedRow) {
    list->show();
    QTest::mouseDClick(list->list()->viewport(), Qt::LeftButton, {}, QPoint(100, 300));
    processPosted();
    EXPECT_EQ(bar->received, (std::vector<Received>{{1127, 5, 0}}));
    command(CFileManagerDlg::kCmdOpen);
    processPosted();
    bar->received.clear();
    list->list()->selectRow(2);
    const QRect row = list->list()->visualItemRect(list->list()->topLevelItem(2));
    QTest::mouseDClick(list->list()->viewport(), Qt::LeftButton, {}, row.center());
    processPosted();
    EXPECT_EQ(bar->received, (std::vector<Received>{{1127, 5, 0}}));
    EXPECT_EQ(list->list()->focusedRow(), 2);
}

TEST_F(FileListTest, FixedWindowFollowsAndAFloatingOneStays) {
    list->followMainWindow(QPoint(100, 50));
    EXPECT_EQ(list->pos(), QPoint(910, 370));
    command(CFileManagerDlg::kCmdFixed);
    EXPECT_FALSE(list->fixed());
    list->followMainWindow(QPoint(0, 0));
    EXPECT_EQ(list->pos(), QPoint(910, 370));
    main->move(200, 100);
    command(CFileManagerDlg::kCmdFixed);  // becoming fixed snaps it back
    EXPECT_TRUE(list->fixed());
    EXPECT_EQ(list->pos(), QPoint(1010, 420));
}

TEST_F(FileListTest, CloseAndToggleShowAndHideThePane) {
    list->show();
    command(CFileManagerDlg::kCmdClose);
    EXPECT_FALSE(list->isVisible());
    EXPECT_FALSE(list->paneVisible());
    ui::sendMessage(list, ui::kMsgPaneCommand, ui::kToggleFileList);
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(list->paneVisible());
    ui::sendMessage(list, ui::kMsgPaneCommand, ui::kToggleFileList);
    EXPECT_FALSE(list->isVisible());
}

TEST_F(FileListTest, EnlargedLayoutHidesThePaneAndTheDefaultOneDocksIt) {
    list->show();
    list->takeLayoutMode(ui::kLayoutFullScreen, QSize(1600, 900));
    EXPECT_FALSE(list->isVisible());
    EXPECT_TRUE(list->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // While enlarged the pane does not follow the main window.
    context->setLayoutMode(ui::kLayoutFullScreen);
    const QPoint before = list->pos();
    list->followMainWindow(QPoint(300, 300));
    EXPECT_EQ(list->pos(), before);
    context->setLayoutMode(ui::kLayoutDefault);
    main->move(10, 20);
    list->takeLayoutMode(ui::kLayoutDefault, QSize(1600, 900));
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(list->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(list->pos(), QPoint(820, 340));
}

TEST_F(FileListTest, OpenFolderNeedsRecordingsAndOtherwiseLeavesTheListAlone) {
    EXPECT_TRUE(list->openFolder(QString::fromStdString(card.path().string())));
    EXPECT_EQ(list->list()->rowCount(), 5);
    TempDir empty;
    TempDir strangers;  // files, but none the recorder made
    touch(strangers.path() / "notes.txt");
    touch(strangers.path() / "holiday.mp4");
    for (const auto& folder : {empty.path(), strangers.path(), empty.path() / "missing"}) {
        EXPECT_FALSE(list->openFolder(QString::fromStdString(folder.string()))) << folder;
        EXPECT_EQ(rows(), (std::vector<std::string>{"12:00:00", "12:01:00", "12:02:00", "12:03:00",
                                                    "12:04:00"}))
            << folder;
        ASSERT_NE(context->catalogue().shownEntryAt(4), nullptr);
        EXPECT_EQ(context->catalogue().shownEntryAt(4)->fileName, "20240131_120400_2CH_N_F.mp4");
    }
    // The list's own folder is still the one a sort reads again.
    touch(card.path() / "USR/FRONT/20240131_120500_1CH_U_F.mp4");
    command(CFileManagerDlg::kCmdSortDown);
    EXPECT_EQ(rows().front(), "12:05:00");
    EXPECT_EQ(choices, 0);  // no dialog
}

TEST_F(FileListTest, AFolderThatIsAMountedCardIsOpenedAsTheCard) {
    cardMounted = true;
    EXPECT_TRUE(list->openFolder(QString::fromStdString(card.path().string())));
    EXPECT_EQ(list->list()->rowCount(), 5);
    const core::SourceDrive* source = context->catalogue().selectedDrive();
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->kind, core::SourceKind::FatDrive);  // so that the card's tools work on it
    EXPECT_EQ(choices, 0);
    // Any other folder stays a folder.
    TempDir other;
    touch(other.path() / "NOR/FRONT/20240131_130000_1CH_N_F.mp4");
    EXPECT_TRUE(list->openFolder(QString::fromStdString(other.path().string())));
    ASSERT_NE(context->catalogue().selectedDrive(), nullptr);
    EXPECT_EQ(context->catalogue().selectedDrive()->kind, core::SourceKind::PcFolder);
}

// The drive list changes while the dialog is open (a card is put in, or the listed card is
// pulled out) and the user cancels: a sort reads the listed card again, not whatever now
// sits at its place in the list, and opens no folder picker.
TEST_F(FileListTest, SortReadsTheListedSourceAfterACancelledDriveDialog) {
    MessageBoxSpy boxes;
    TempDir other;
    touch(other.path() / "EVT/FRONT/20240201_080000_2CH_E_F.mp4");
    const auto fat = [](const TempDir& dir, int index) {
        return drive(index, dir.path().string() + "/", core::SourceKind::FatDrive);
    };
    struct Case {
        const char* name;
        std::vector<core::SourceDrive> whenCancelled;
    };
    const Case cases[] = {
        {"another card in front of it", {fat(other, 0), fat(card, 1)}},
        {"the card pulled out", {}},
    };
    for (const Case& c : cases) {
        offered = {fat(card, 0)};
        dialogAnswer = 0;
        command(CFileManagerDlg::kCmdOpen);
        ASSERT_EQ(list->list()->rowCount(), 5) << c.name;
        offered = c.whenCancelled;
        dialogAnswer.reset();
        command(CFileManagerDlg::kCmdOpen);
        EXPECT_EQ(list->list()->rowCount(), 5) << c.name;
        command(CFileManagerDlg::kCmdSortDown);
        EXPECT_EQ(rows(), (std::vector<std::string>{"12:04:00", "12:03:00", "12:02:00", "12:01:00",
                                                    "12:00:00"}))
            << c.name;
        EXPECT_EQ(choices, 0) << c.name;
    }
}

// Scanning and listing block the window: the wait cursor says so, over the rows as they are
// added (an all-categories listing repairs files first), but never over the folder picker, and
// it is gone whichever way the command ends.
TEST_F(FileListTest, WaitCursorWhileListingOnly) {
    MessageBoxSpy boxes;
    std::vector<bool> waitingWhileAdding;
    QObject::connect(list->list()->model(), &QAbstractItemModel::rowsInserted, list, [&] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        waitingWhileAdding.push_back(cursor != nullptr && cursor->shape() == Qt::WaitCursor);
    });
    auto noCursorLeft = [] { return QGuiApplication::overrideCursor() == nullptr; };

    command(CFileManagerDlg::kCmdOpen);
    EXPECT_FALSE(cursorInPicker);
    command(CFileManagerDlg::kCmdSortDown);
    list->categoryCombo()->setCurrentIndex(2);
    EXPECT_TRUE(list->openFolder(QString::fromStdString(card.path().string())));
    ASSERT_FALSE(waitingWhileAdding.empty());
    EXPECT_EQ(std::count(waitingWhileAdding.begin(), waitingWhileAdding.end(), false), 0);
    EXPECT_TRUE(noCursorLeft());

    // The ways out without rows: a cancelled picker, a folder without recordings.
    folderAnswer.reset();
    command(CFileManagerDlg::kCmdOpen);
    EXPECT_TRUE(noCursorLeft());
    TempDir empty;
    folderAnswer = empty.path().string();
    command(CFileManagerDlg::kCmdOpen);
    EXPECT_FALSE(list->openFolder(QString::fromStdString(empty.path().string())));
    EXPECT_TRUE(noCursorLeft());
}

TEST(SelectDriveDialog, ListsTheDrivesAndTheFolderLine) {
    core::RecordingCatalogue catalogue;
    ui::CNSelectDriveDlg dialog(nullptr, catalogue, [](const std::string& folderText) {
        return std::vector<core::SourceDrive>{
            drive(0, "/media/card/", core::SourceKind::FatDrive),
            drive(1, "/dev/sdc (WYFS)", core::SourceKind::WyfsDrive),
            drive(-1, folderText, core::SourceKind::PcFolder)};
    });
    EXPECT_EQ(dialog.size(), QSize(456, 182));
    QComboBox* combo = dialog.driveCombo();
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("/media/card/"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("/dev/sdc "));
    EXPECT_EQ(combo->itemText(2), QStringLiteral("Find in My Computer"));
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(combo->geometry(), QRect(110, 90, 240, 30));
    combo->setCurrentIndex(1);
    dialog.checkButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosenIndex(), 1);
    // The chosen index is a place in the catalogue's list from then on.
    ASSERT_EQ(catalogue.drives().size(), 3u);
    EXPECT_EQ(catalogue.drives()[1].label, "/dev/sdc (WYFS)");
}

TEST(SelectDriveDialog, WithoutACardOnlyTheFolderLineIsOffered) {
    core::RecordingCatalogue catalogue;
    ui::CNSelectDriveDlg dialog(nullptr, catalogue, [](const std::string& folderText) {
        return std::vector<core::SourceDrive>{drive(-1, folderText, core::SourceKind::PcFolder)};
    });
    ASSERT_EQ(dialog.driveCombo()->count(), 1);
    dialog.checkButton()->click();
    EXPECT_EQ(dialog.chosenIndex(), 0);
    // A dialog closed while the drives changed leaves the catalogue's list as it was.
    ui::CNSelectDriveDlg closed(nullptr, catalogue, [](const std::string&) {
        return std::vector<core::SourceDrive>{drive(0, "/media/other/", core::SourceKind::FatDrive),
                                              drive(-1, "x", core::SourceKind::PcFolder)};
    });
    closed.closeButton()->click();
    EXPECT_EQ(closed.result(), QDialog::Rejected);
    ASSERT_EQ(catalogue.drives().size(), 1u);
    EXPECT_EQ(catalogue.drives()[0].kind, core::SourceKind::PcFolder);
}

// "Export telemetry..." exports the rows selected with Ctrl into one file in time order, and
// names the recording it could not read.
TEST_F(FileListTest, ExportTelemetryMergesTheSelectedRowsAndNamesAnUnreadableOne) {
    MessageBoxSpy boxes;
    ASSERT_TRUE(list->openFolder(QString::fromStdString(card.path().string())));
    // 12:01 and 12:04 hold a fix each, 12:02 (an empty file) none; 12:04 is picked first.
    for (const char* minute : {"1", "4"}) {
        const std::string fix = "G$GPRMC,120000.00,A,370" + std::string(minute) + ".0000,N,1260" +
                                minute + ".0000,E,10.0,90.0,310124";
        card.write(minute == std::string("1") ? "EVT/FRONT/20240131_120100_2CH_E_F.mp4"
                                              : "NOR/FRONT/20240131_120400_2CH_N_F.mp4",
                   telemetryMovie(fix, static_cast<std::uint32_t>(fix.size()), 1, {0}, {{1, 1}}));
    }
    list->show();
    for (const auto& [row, keys, button] : {std::tuple{4, Qt::NoModifier, Qt::LeftButton},
                                            {1, Qt::ControlModifier, Qt::LeftButton},
                                            {2, Qt::ControlModifier, Qt::LeftButton},
                                            {2, Qt::NoModifier, Qt::RightButton}}) {
        const QRect at = list->list()->visualItemRect(list->list()->topLevelItem(row));
        QTest::mouseClick(list->list()->viewport(), button, keys, at.center());
        processPosted();
    }
    ASSERT_EQ(list->selectedRows(), (std::vector<int>{1, 2, 4}));  // the right-click kept them

    TempDir out;
    exportChoice = ui::TelemetryExportChoice{core::TelemetryFormat::Gpx, true};
    exportTarget = QString::fromStdString((out.path() / "drive.gpx").string());
    std::unique_ptr<QMenu> menu(list->makeMenu());
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("Play trip"));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());  // a trip is played from one recording
    EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("Export telemetry..."));
    menu->actions()[1]->trigger();
    EXPECT_EQ(exportCount, 3);
    const auto route = routeOf(out.path() / "drive.gpx");
    ASSERT_EQ(route.size(), 2u);
    EXPECT_NEAR(route.front().first, 37 + 1 / 60.0, 1e-6);
    EXPECT_NEAR(route.back().second, 126 + 4 / 60.0, 1e-6);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const QString told = boxes.boxes[0].text;
    EXPECT_TRUE(told.startsWith(QStringLiteral("Cannot read 20240131_120200_1CH_P_F.mp4: ")) &&
                told.contains(exportTarget))
        << told.toStdString();
}

// The INCIDENTS entry: the card's incidents in the list's place, scanned on the worker thread
// (the empty files are counted as unreadable); a double-click plays the recording from 5 s
// before the incident; another category brings the recordings back; a new source empties it.
TEST_F(FileListTest, IncidentsViewListsTheCardsIncidentsAndPlaysOneFromFiveSecondsBefore) {
    sim::RecordingRequest request;
    request.cardRoot = card.path();
    request.seconds = 30;
    request.channels = 1;
    request.bitrateScale = 0.01;
    request.drive = {true, 2};
    request.samePictures = true;
    request.start = {2024, 1, 31, 12, 5, 0};
    const sim::SimulatedRecording made = sim::simulateRecording(request);
    ASSERT_EQ(made.incidents.size(), 2U);
    command(CFileManagerDlg::kCmdOpen);
    list->show();
    list->categoryCombo()->setCurrentIndex(1);  // NORMAL: the scan lists every category
    list->categoryCombo()->setCurrentIndex(CFileManagerDlg::kIncidentsEntry);
    ui::CIncidentsView* view = list->incidentsView();
    EXPECT_TRUE(view->isVisible());
    EXPECT_FALSE(list->list()->isVisible());
    EXPECT_FALSE(list->button(CFileManagerDlg::kCmdSortUp)->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->complete(); }, 60000));
    view->takeFound();
    EXPECT_EQ(view->status()->text(), QStringLiteral("2 incidents in 6 recordings (5 unreadable)"));
    ASSERT_EQ(view->list()->rowCount(), 2);
    const auto& top = view->rows().front();
    EXPECT_GE(top.incident.severity, view->rows().back().incident.severity);
    const sim::LocalTime at =
        sim::addSeconds(request.start, static_cast<int>(top.incident.startMs / 1000));
    EXPECT_EQ(view->list()->cellText(0, 1).toStdString(),
              QStringLiteral("%1:%2:%3")
                  .arg(at.hour, 2, 10, QLatin1Char('0'))
                  .arg(at.minute, 2, 10, QLatin1Char('0'))
                  .arg(at.second, 2, 10, QLatin1Char('0'))
                  .toStdString());

    processPosted();
    bar->received.clear();
    const QRect row = view->list()->visualItemRect(view->list()->topLevelItem(0));
    QTest::mouseDClick(view->list()->viewport(), Qt::LeftButton, {}, row.center());
    processPosted();
    const qintptr target = std::max<qintptr>(0, qintptr{top.incident.startMs} - 5000);
    EXPECT_EQ(bar->received, (std::vector<Received>{{1127, 5, 0}, {1126, target, 2}}));
    const core::RecordingEntry* playing =
        context->catalogue().shownEntryAt(list->list()->focusedRow());
    ASSERT_NE(playing, nullptr);
    EXPECT_EQ(playing->path, made.files[0].path.string());

    list->categoryCombo()->setCurrentIndex(0);
    EXPECT_TRUE(list->list()->isVisible());
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(rows().size(), 6U);
    command(CFileManagerDlg::kCmdOpen);
    EXPECT_EQ(view->list()->rowCount(), 0);
}

// The same on a WyFS card: the scan reads the open card's files on its thread.
TEST_F(FileListTest, IncidentsViewReadsAWyfsCard) {
    sim::RecordingRequest request;
    request.seconds = 30;
    request.channels = 1;
    request.bitrateScale = 0.01;
    request.drive = {true, 2};
    request.samePictures = true;
    request.category = core::RecordingCategory::Event;
    const sim::SimulatedCardFile made = sim::simulateCardRecording(request);
    const std::filesystem::path image = card.path() / "card.img";
    wyfs::formatImage(image, 16 * 1024 * 1024);
    wyfs::Volume::open(image, true)->addFile("EVT", made.name, made.bytes, made.time);
    offered = std::vector<core::SourceDrive>{
        {1, image.string() + " (WYFS)", image.string(), core::SourceKind::WyfsDrive}};
    command(CFileManagerDlg::kCmdOpen);
    ASSERT_EQ(context->catalogue().currentKind(), core::SourceKind::WyfsDrive);
    list->categoryCombo()->setCurrentIndex(CFileManagerDlg::kIncidentsEntry);
    ui::CIncidentsView* view = list->incidentsView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->complete(); }, 60000));
    view->takeFound();
    ASSERT_EQ(view->rows().size(), made.incidents.size());
    for (const auto& row : view->rows()) {
        EXPECT_TRUE(std::any_of(made.incidents.begin(), made.incidents.end(), [&](const auto& p) {
            return row.incident.startMs == static_cast<std::uint32_t>(p.second) * 1000;
        })) << row.incident.startMs;
    }
}

}  // namespace
}  // namespace qelv::test
