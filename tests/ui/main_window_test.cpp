#include <gtest/gtest.h>

#include <QDialog>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/qv_nplayer_dlg.h"
#include "shell/window_keys.h"
#include "skin/window_guard.h"
#include "storage/ui/file_manager_dlg.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CQV_NPlayerDlg;
using ui::WindowRegistry;

struct PanePlace {
    int key;
    QPoint offset;
    QSize size;
};
// The panes of the default layout other than the recording list.
const PanePlace kPanes[] = {{129, {14, 25}, {785, 419}},   {130, {14, 508}, {390, 219}},
                            {169, {409, 508}, {390, 219}}, {135, {14, 453}, {770, 50}},
                            {136, {14, 735}, {770, 55}},   {137, {810, 0}, {315, 320}}};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        WindowRegistry::instance().clear();
        settings = std::make_unique<QSettings>(profile.filePath(QStringLiteral("p.ini")),
                                               QSettings::IniFormat);
        context = std::make_unique<ui::ViewerContext>(shippedConfig(), *settings);
    }
    void TearDown() override {
        main.reset();
        WindowRegistry::instance().clear();
    }

    void makeMain(bool filtersPresent = true) {
        auto factory = [this](CQV_NPlayerDlg& window, ui::ViewerContext& shared) {
            std::vector<ui::PaneWindow*> panes;
            for (const PanePlace& place : kPanes) {
                auto* pane = new FakePane(&window, place.key, place.offset, place.size);
                fakes[place.key] = pane;
                panes.push_back(pane);
            }
            list = new ui::CFileManagerDlg(&window, shared, {});
            panes.push_back(list);
            return panes;
        };
        main = std::make_unique<CQV_NPlayerDlg>(*context, factory,
                                                [filtersPresent] { return filtersPresent; });
    }
    void makeShown() {
        makeMain();
        ASSERT_TRUE(main->create());
        ASSERT_TRUE(waitFor([this] { return main->isVisible(); }));
        screen = main->screenSize();
    }
    qintptr command(int id) { return ui::sendMessage(main.get(), ui::kMsgButtonClicked, id); }
    QRect button(int index) const { return main->captionButtons()[index]->geometry(); }
    bool buttonShown(int index) const { return !main->captionButtons()[index]->isHidden(); }
    std::vector<int> shownPanes() const {
        std::vector<int> keys;
        for (const ui::PaneWindow* pane : main->panes()) {
            if (pane->isVisible()) {
                keys.push_back(pane->key());
            }
        }
        return keys;
    }

    QTemporaryDir profile;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<ui::ViewerContext> context;
    std::unique_ptr<CQV_NPlayerDlg> main;
    std::map<int, FakePane*> fakes;
    ui::CFileManagerDlg* list = nullptr;
    QSize screen;
};

TEST_F(MainWindowTest, CreationPlacesTheCaptionButtonsAndRegistersEveryWindow) {
    makeMain();
    ASSERT_TRUE(main->create());
    EXPECT_EQ(main->size(), QSize(820, 790));
    EXPECT_EQ(main->windowTitle(), QStringLiteral("QELV Viewer"));
    EXPECT_FALSE(main->isVisible());  // shown by timer 0
    const int xs[] = {790, 765, 740, 715, 715, 690, 665, 640};
    const char* tips[] = {"Close",          "Full Screen", "Fit Screen", "Minimization",
                          "Default Screen", "File list",   "Map",        "Trip Timeline"};
    ASSERT_EQ(main->captionButtons().size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(button(i), QRect(xs[i], 2, 20, 20)) << i;
        EXPECT_EQ(main->captionButtons()[i]->toolTip(), QString::fromLatin1(tips[i]));
        EXPECT_EQ(buttonShown(i), i != 4) << i;
    }
    EXPECT_EQ(WindowRegistry::instance().find(102), main.get());
    EXPECT_EQ(WindowRegistry::instance().find(139), list);
    EXPECT_EQ(WindowRegistry::instance().find(129), fakes[129]);
}

TEST_F(MainWindowTest, PanesShowDockedAndFollowTheMainWindow) {
    makeShown();
    for (ui::PaneWindow* pane : main->panes()) {
        EXPECT_TRUE(pane->isVisible()) << pane->key();
        EXPECT_EQ(pane->pos(), main->pos() + pane->offset()) << pane->key();
    }
    EXPECT_EQ(list->pos(), main->pos() + QPoint(810, 320));
    EXPECT_EQ(list->size(), QSize(315, 470));
    main->move(main->pos() + QPoint(37, -11));
    for (ui::PaneWindow* pane : main->panes()) {
        EXPECT_EQ(pane->pos(), main->pos() + pane->offset()) << pane->key();
    }
}

TEST_F(MainWindowTest, BodyDragsTheWindowOnlyInTheDefaultLayout) {
    makeShown();
    auto drag = [this](QPoint by) {
        const QPoint from = main->mapToGlobal(QPoint(400, 300));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(400, 300), QPointF(from),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(main.get(), &press);
        QMouseEvent move(QEvent::MouseMove, QPointF(400, 300) + by, QPointF(from + by),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(main.get(), &move);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(400, 300) + by, QPointF(from + by),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(main.get(), &release);
    };
    const QPoint before = main->pos();
    drag(QPoint(50, 20));
    EXPECT_EQ(main->pos(), before + QPoint(50, 20));
    EXPECT_EQ(list->pos(), main->pos() + QPoint(810, 320));
    command(CQV_NPlayerDlg::kCmdFullScreen);
    drag(QPoint(50, 20));
    EXPECT_EQ(main->pos(), QPoint(0, 0));
}

TEST_F(MainWindowTest, FullScreenStartsWithPaneOneAndShowsOnlyIt) {
    makeShown();
    ui::sendMessage(main.get(), ui::kMsgPaneSelect, 2);
    ASSERT_TRUE(fakes[130]->selected);
    EXPECT_EQ(command(CQV_NPlayerDlg::kCmdFullScreen), 0);
    EXPECT_EQ(main->layoutMode(), 2);
    EXPECT_EQ(main->geometry(), QRect(QPoint(0, 0), screen));
    const int W = screen.width();
    EXPECT_EQ(button(0), QRect(W - 30, 4, 20, 20));
    EXPECT_FALSE(buttonShown(1));
    EXPECT_EQ(button(4), QRect(W - 55, 4, 20, 20));
    EXPECT_TRUE(buttonShown(4));
    EXPECT_EQ(button(2), QRect(W - 80, 4, 20, 20));
    EXPECT_EQ(button(3), QRect(W - 105, 4, 20, 20));
    EXPECT_EQ(button(5), QRect(W - 130, 4, 20, 20));
    EXPECT_EQ(button(6), QRect(W - 155, 4, 20, 20));
    EXPECT_EQ(button(7), QRect(W - 180, 4, 20, 20));
    EXPECT_TRUE(fakes[129]->selected);
    EXPECT_FALSE(fakes[130]->selected);
    // The control bar stays; the panes take the new mode, the list hides itself.
    EXPECT_EQ(shownPanes(), (std::vector<int>{129, 135}));
    EXPECT_EQ(fakes[137]->modes, std::vector<int>{2});
    EXPECT_EQ(fakes[169]->modes, std::vector<int>{2});
    EXPECT_FALSE(list->paneVisible());
}

TEST_F(MainWindowTest, FitAfterFullScreenSwapsTheButtonsAndKeepsTheSelectedPane) {
    makeShown();
    command(CQV_NPlayerDlg::kCmdFullScreen);
    ui::sendMessage(main.get(), ui::kMsgPaneSelect, 3);
    command(CQV_NPlayerDlg::kCmdFitScreen);
    const int W = screen.width();
    EXPECT_EQ(main->layoutMode(), 1);
    EXPECT_EQ(main->geometry(), QRect(QPoint(0, 0), screen));
    EXPECT_TRUE(buttonShown(1));
    EXPECT_EQ(button(1), QRect(W - 55, 4, 20, 20));
    EXPECT_FALSE(buttonShown(2));
    EXPECT_EQ(button(4), QRect(W - 80, 4, 20, 20));
    EXPECT_EQ(shownPanes(), (std::vector<int>{169, 135}));
    // The same layout again changes nothing.
    command(CQV_NPlayerDlg::kCmdFitScreen);
    EXPECT_EQ(fakes[137]->modes, (std::vector<int>{2, 1}));
}

TEST_F(MainWindowTest, DefaultScreenPutsEverythingBack) {
    makeShown();
    command(CQV_NPlayerDlg::kCmdFullScreen);
    EXPECT_EQ(command(CQV_NPlayerDlg::kCmdDefaultScreen), 0);
    EXPECT_EQ(main->layoutMode(), 0);
    EXPECT_EQ(main->size(), QSize(820, 790));
    const int xs[] = {790, 765, 740, 715, 715, 690, 665, 640};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(buttonShown(i), i != 4) << i;
        if (i != 4) {
            EXPECT_EQ(button(i), QRect(xs[i], 4, 20, 20)) << i;
        }
    }
    EXPECT_EQ(shownPanes(), (std::vector<int>{129, 130, 169, 135, 136, 137, 139}));
    EXPECT_TRUE(list->paneVisible());
    EXPECT_EQ(list->pos(), main->pos() + QPoint(810, 320));
    EXPECT_EQ(fakes[129]->modes, (std::vector<int>{2, 0}));
    // Default Screen in the default layout does nothing.
    command(CQV_NPlayerDlg::kCmdDefaultScreen);
    EXPECT_EQ(fakes[129]->modes, (std::vector<int>{2, 0}));
}

// The trip timeline's caption button and the key T both ask the timeline to toggle itself.
TEST_F(MainWindowTest, TripTimelineButtonAndKeyToggleTheTimeline) {
    makeShown();
    RecordingWindow timeline(ui::kKeyTripTimeline);
    QTest::mouseClick(main->captionButtons()[7], Qt::LeftButton);
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    QTest::keyClick(main.get(), Qt::Key_T);
    processPosted();
    const Received toggle{ui::kMsgPaneCommand, ui::kToggleTripTimeline, 0};
    EXPECT_EQ(timeline.received, (std::vector<Received>{toggle, toggle}));
}

TEST_F(MainWindowTest, UnknownCommandDoesNothing) {
    makeShown();
    const QRect before = main->geometry();
    EXPECT_EQ(command(23), -1);
    EXPECT_EQ(main->geometry(), before);
    EXPECT_EQ(main->layoutMode(), 0);
    // Pane commands to the main window do nothing either.
    ui::sendMessage(main.get(), ui::kMsgPaneCommand, ui::kPaneStop);
    EXPECT_EQ(main->geometry(), before);
}

TEST_F(MainWindowTest, PaneSelectionMarksExactlyOnePane) {
    makeShown();
    struct Case {
        qintptr wParam;
        bool one, two, three;
    };
    const Case cases[] = {{1, true, false, false},
                          {2, false, true, false},
                          {3, false, false, true},
                          {7, false, false, true},
                          {0, false, false, false}};
    for (const Case& c : cases) {
        ui::postMessage(main.get(), ui::kMsgPaneSelect, c.wParam);
        processPosted();
        EXPECT_EQ(fakes[129]->selected, c.one) << c.wParam;
        EXPECT_EQ(fakes[130]->selected, c.two) << c.wParam;
        EXPECT_EQ(fakes[169]->selected, c.three) << c.wParam;
    }
}

TEST_F(MainWindowTest, ModalGuardDisablesTheWindowsBehindADialog) {
    makeShown();
    // The dialog the recording list runs stays usable behind the guard.
    QDialog dialog(list);
    QPushButton check(&dialog);
    list->categoryCombo()->setEnabled(false);  // disabled before: stays so afterwards
    ui::postMessage(main.get(), ui::kMsgModalGuard, 0);
    processPosted();
    EXPECT_TRUE(ui::windowGuarded(main.get()));
    EXPECT_FALSE(main->captionButtons()[0]->isEnabled());
    for (int key : {129, 130, 169, 135, 137}) {
        EXPECT_TRUE(ui::windowGuarded(fakes[key])) << key;
    }
    EXPECT_TRUE(ui::windowGuarded(list));
    EXPECT_FALSE(list->list()->isEnabled());
    EXPECT_FALSE(ui::windowGuarded(fakes[136]));  // the information panel is not guarded
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_TRUE(check.isEnabled());
    ui::postMessage(main.get(), ui::kMsgModalGuard, 1);
    processPosted();
    EXPECT_FALSE(ui::windowGuarded(main.get()));
    EXPECT_TRUE(main->captionButtons()[0]->isEnabled());
    EXPECT_TRUE(list->list()->isEnabled());
    EXPECT_FALSE(list->categoryCombo()->isEnabled());
}

TEST_F(MainWindowTest, MapAndFileListButtonsTogglePanes) {
    makeShown();
    QTest::mouseClick(main->captionButtons()[6], Qt::LeftButton);
    processPosted();
    EXPECT_EQ(fakes[137]->received, (std::vector<Received>{{1127, 10, 0}}));
    QTest::mouseClick(main->captionButtons()[5], Qt::LeftButton);
    processPosted();
    EXPECT_FALSE(list->isVisible());
    QTest::mouseClick(main->captionButtons()[5], Qt::LeftButton);
    processPosted();
    EXPECT_TRUE(list->isVisible());
}

// A resting pointer on a caption button brings the main window forward and then its panes,
// those that stay on top (the G-sensor graph) last: without a window manager the last raised
// is the top-most.
TEST_F(MainWindowTest, ARestingPointerRaisesStayOnTopPanesLast) {
    makeShown();
    fakes[129]->setWindowFlag(Qt::WindowStaysOnTopHint);
    fakes[129]->show();
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    struct : QObject {
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::ZOrderChange && qobject_cast<QWidget*>(o)->isWindow()) {
                objects.push_back(o);
            }
            return false;
        }
        std::vector<QObject*> objects;
    } raised;
    qApp->installEventFilter(&raised);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(main->captionButtons()[1], &enter);
    main->captionButtons()[1]->repaint();  // the hover face arms the quarter-second timer
    ASSERT_TRUE(waitFor([&] { return raised.objects.size() >= 8; }, 20000));  // all 7 panes
    EXPECT_EQ(raised.objects.front(), main.get());
    EXPECT_EQ(raised.objects.back(), fakes[129]);
}

TEST_F(MainWindowTest, MissingMediaElementsCloseTheViewerWithAMessage) {
    MessageBoxSpy boxes;
    makeMain(false);
    EXPECT_FALSE(main->create());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Not Find QV filter"));
    EXPECT_TRUE(main->closed());
    EXPECT_EQ(WindowRegistry::instance().find(139), nullptr);
}

TEST_F(MainWindowTest, CloseButtonEndsTheViewerAndDestroysThePanes) {
    makeShown();
    QTest::mouseClick(main->captionButtons()[0], Qt::LeftButton);
    processPosted();
    EXPECT_TRUE(main->closed());
    EXPECT_TRUE(main->panes().empty());
    EXPECT_EQ(WindowRegistry::instance().find(129), nullptr);
    EXPECT_EQ(command(CQV_NPlayerDlg::kCmdFullScreen), -1);
}

}  // namespace
}  // namespace qelv::test
