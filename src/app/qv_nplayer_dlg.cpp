#include "app/qv_nplayer_dlg.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QTimerEvent>

#include "shell/video_pane.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "skin/window_guard.h"

namespace qelv::ui {

namespace {

struct CaptionButton {
    const char* text;
    int command;
    int x;
    int normal;
    int pressed;
};

// In index order; "Default Screen" starts hidden.
constexpr CaptionButton kCaptionButtons[] = {
    {"Close", CQV_NPlayerDlg::kCmdClose, 790, 219, 218},
    {"Full Screen", CQV_NPlayerDlg::kCmdFullScreen, 765, 206, 205},
    {"Fit Screen", CQV_NPlayerDlg::kCmdFitScreen, 740, 204, 203},
    {"Minimization", CQV_NPlayerDlg::kCmdMinimise, 715, 224, 207},
    {"Default Screen", CQV_NPlayerDlg::kCmdDefaultScreen, 715, 253, 252},
    {"File list", CQV_NPlayerDlg::kCmdFileList, 690, 202, 201},
    {"Map", CQV_NPlayerDlg::kCmdMap, 665, 246, 245},
    {"Trip Timeline", CQV_NPlayerDlg::kCmdTripTimeline, 640, 272, 273},
};
enum ButtonIndex {
    kClose,
    kFullScreen,
    kFitScreen,
    kMinimise,
    kDefaultScreen,
    kFileList,
    kMap,
    kTripTimeline
};

constexpr int kButtonSize = 20;

VideoPane* videoPane(int key) {
    return dynamic_cast<VideoPane*>(WindowRegistry::instance().find(key));
}

}  // namespace

CQV_NPlayerDlg::CQV_NPlayerDlg(ViewerContext& context, PaneFactory panes,
                               std::function<bool()> ensureFilters)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_context(context),
      m_paneFactory(std::move(panes)),
      m_ensureFilters(std::move(ensureFilters)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("QELV Viewer"));
    setWindowIcon(QIcon(QStringLiteral(":/icon/128.png")));
}

CQV_NPlayerDlg::~CQV_NPlayerDlg() {
    destroyPanes();
}

bool CQV_NPlayerDlg::create() {
    resize(kWidth, kHeight);
    centre();
    WindowRegistry::instance().add(kKeyMainWindow, this);
    CSkinButton::setMainWindow(this);
    for (const CaptionButton& button : kCaptionButtons) {
        m_buttons.push_back(CSkinButton::createImageButton(
            kButtonSize, 2, this, QString::fromLatin1(button.text), button.command, button.x,
            kButtonSize, button.normal, button.normal, button.pressed));
    }
    m_buttons[kDefaultScreen]->hide();
    auto* timelineKey = new QShortcut(Qt::Key_T, this);
    timelineKey->setContext(Qt::WindowShortcut);
    connect(timelineKey, &QShortcut::activated, this, [this] { captionCommand(kCmdTripTimeline); });
    if (m_paneFactory) {
        m_panes = m_paneFactory(*this, m_context);
    }
    auto surface = [](int key) {
        VideoPane* pane = videoPane(key);
        return pane != nullptr ? pane->videoSurface() : nullptr;
    };
    m_context.engine().initialise(surface(kKeyScreen1), surface(kKeyScreen2), surface(kKeyScreen3));
    if (m_ensureFilters && !m_ensureFilters()) {
        showMessageBox(this, QStringLiteral("Not Find QV filter"), MessageIcon::None);
        captionCommand(kCmdClose);
        return false;
    }
    m_showTimer.start(100, this);
    return true;
}

int CQV_NPlayerDlg::exec() {
    if (m_closed) {
        return 0;
    }
    QEventLoop loop;
    connect(this, &CQV_NPlayerDlg::closedByUser, &loop, &QEventLoop::quit);
    loop.exec();
    return 0;
}

QSize CQV_NPlayerDlg::screenSize() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(kWidth, kHeight);
}

void CQV_NPlayerDlg::centre() {
    const QSize screen = screenSize();
    move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
}

bool CQV_NPlayerDlg::event(QEvent* event) {
    if (dispatchMessage(event)) {
        return true;
    }
    return QWidget::event(event);
}

qintptr CQV_NPlayerDlg::onMessage(unsigned message, qintptr wParam, qintptr) {
    switch (message) {
        case kMsgButtonClicked:
            return captionCommand(wParam);
        case kMsgPaneSelect:
            selectPane(wParam);
            return 0;
        case kMsgModalGuard:
            setModalGuard(wParam != 0);
            return 0;
        default:
            // Pane commands (WM_USER+103) and anything else: no action.
            return 0;
    }
}

qintptr CQV_NPlayerDlg::captionCommand(qintptr command) {
    if (m_closed) {
        return -1;
    }
    switch (command) {
        case kCmdClose:
            close();
            return 0;
        case kCmdFullScreen:
            enterScreenLayout(kLayoutFullScreen);
            return 0;
        case kCmdFitScreen:
            enterScreenLayout(kLayoutFitScreen);
            return 0;
        case kCmdMinimise:
            showMinimized();
            return 0;
        case kCmdDefaultScreen:
            leaveScreenLayout();
            return 0;
        case kCmdMap:
            WindowRegistry::instance().post(kKeyMap, kMsgPaneCommand, kToggleMap);
            return 0;
        case kCmdFileList:
            WindowRegistry::instance().post(kKeyFileList, kMsgPaneCommand, kToggleFileList);
            return 0;
        case kCmdTripTimeline:
            WindowRegistry::instance().post(kKeyTripTimeline, kMsgPaneCommand, kToggleTripTimeline);
            return 0;
        default:
            return -1;
    }
}

void CQV_NPlayerDlg::enterScreenLayout(int target) {
    // Leaving the default layout always starts with pane 1.
    if (m_context.layoutMode() == kLayoutDefault) {
        VideoPane* first = videoPane(kKeyScreen1);
        if (first != nullptr && !first->selectedMark()) {
            selectPane(1);
        }
    }
    if (m_context.layoutMode() == target) {
        return;
    }
    const QSize screen = screenSize();
    setGeometry(0, 0, screen.width(), screen.height());
    show();
    placeScreenButtons(screen.width(), 4);
    const int targetIndex = target == kLayoutFullScreen ? kFullScreen : kFitScreen;
    m_buttons[targetIndex]->hide();
    m_buttons[kDefaultScreen]->move(m_buttons[targetIndex]->pos());
    m_buttons[kDefaultScreen]->show();

    m_context.setLayoutMode(target);
    panesTakeMode(
        {kKeyMap, kKeyFileList, kKeyGraph, kKeyControlBar, kKeyScreen1, kKeyScreen2, kKeyScreen3});

    int shown = kKeyScreen3;
    if (VideoPane* first = videoPane(kKeyScreen1); first != nullptr && first->selectedMark()) {
        shown = kKeyScreen1;
    } else if (VideoPane* second = videoPane(kKeyScreen2);
               second != nullptr && second->selectedMark()) {
        shown = kKeyScreen2;
    }
    for (int key : {kKeyScreen1, kKeyScreen2, kKeyScreen3}) {
        if (QWidget* pane = WindowRegistry::instance().find(key)) {
            pane->setVisible(key == shown);
        }
    }
    showPanes({kKeyMap, kKeyFileList, kKeyInfoPanel}, false);
    update();
}

void CQV_NPlayerDlg::leaveScreenLayout() {
    if (m_context.layoutMode() == kLayoutDefault) {
        return;
    }
    m_context.setLayoutMode(kLayoutDefault);
    hide();
    resize(kWidth, kHeight);
    centre();
    placeDefaultButtons(4);
    m_buttons[kDefaultScreen]->hide();
    show();
    panesTakeMode(
        {kKeyControlBar, kKeyMap, kKeyFileList, kKeyGraph, kKeyScreen1, kKeyScreen2, kKeyScreen3});
    showPanes({kKeyScreen1, kKeyScreen2, kKeyScreen3, kKeyMap, kKeyFileList, kKeyInfoPanel}, true);
    update();
}

void CQV_NPlayerDlg::placeScreenButtons(int width, int top) {
    const std::pair<int, int> places[] = {{kClose, 30},        {kFullScreen, 55}, {kFitScreen, 80},
                                          {kMinimise, 105},    {kFileList, 130},  {kMap, 155},
                                          {kTripTimeline, 180}};
    for (const auto& [index, fromRight] : places) {
        m_buttons[index]->setGeometry(width - fromRight, top, kButtonSize, kButtonSize);
        m_buttons[index]->show();
    }
}

void CQV_NPlayerDlg::placeDefaultButtons(int top) {
    for (int index : {kClose, kFullScreen, kFitScreen, kMinimise, kFileList, kMap, kTripTimeline}) {
        m_buttons[index]->setGeometry(kCaptionButtons[index].x, top, kButtonSize, kButtonSize);
        m_buttons[index]->show();
    }
}

void CQV_NPlayerDlg::panesTakeMode(std::initializer_list<int> keys) {
    const QSize screen = screenSize();
    for (int key : keys) {
        if (auto* pane = dynamic_cast<PaneWindow*>(WindowRegistry::instance().find(key))) {
            pane->takeLayoutMode(m_context.layoutMode(), screen);
        }
    }
}

void CQV_NPlayerDlg::showPanes(std::initializer_list<int> keys, bool shown) {
    for (int key : keys) {
        if (QWidget* pane = WindowRegistry::instance().find(key)) {
            pane->setVisible(shown);
        }
    }
}

void CQV_NPlayerDlg::selectPane(qintptr which) {
    const int marked = which == 0 ? 0 : which == 1 ? 1 : which == 2 ? 2 : 3;
    int number = 1;
    for (int key : {kKeyScreen1, kKeyScreen2, kKeyScreen3}) {
        if (VideoPane* pane = videoPane(key)) {
            pane->setSelectedMark(number == marked);
        }
        ++number;
    }
}

void CQV_NPlayerDlg::setModalGuard(bool enabled) {
    for (int key : {kKeyMainWindow, kKeyScreen1, kKeyScreen2, kKeyScreen3, kKeyControlBar, kKeyMap,
                    kKeyFileList, kKeyGraph, kKeyTripTimeline}) {
        if (QWidget* window = WindowRegistry::instance().find(key)) {
            setWindowGuarded(window, !enabled);
        }
    }
}

void CQV_NPlayerDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_showTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_showTimer.stop();
    show();
    for (PaneWindow* pane : m_panes) {
        pane->followMainWindow(pos());
        if (pane->shownByDefault()) {
            pane->show();
        }
    }
}

void CQV_NPlayerDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(16, 16, 16));
    QFont caption(QStringLiteral("Arial"));
    caption.setPointSize(9);
    painter.setFont(caption);
    painter.setPen(QColor(220, 220, 220));
    painter.drawText(QRect(QPoint(15, 6), QPoint(319, 20)), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("QELV 3Ch Viewer    version 1.0.0"));
    if (!m_painted) {
        m_painted = true;
        emit firstPainted();
    }
}

void CQV_NPlayerDlg::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (m_context.layoutMode() != kLayoutDefault) {
        return;
    }
    for (PaneWindow* pane : m_panes) {
        pane->followMainWindow(pos());
    }
}

void CQV_NPlayerDlg::mousePressEvent(QMouseEvent* event) {
    // In the default layout the whole window is its caption.
    if (!m_drag.press(this, event, m_context.layoutMode() == kLayoutDefault)) {
        QWidget::mousePressEvent(event);
    }
}

void CQV_NPlayerDlg::mouseMoveEvent(QMouseEvent* event) {
    if (m_context.layoutMode() != kLayoutDefault) {
        m_drag.release();
    }
    if (!m_drag.move(this, event)) {
        QWidget::mouseMoveEvent(event);
    }
}

void CQV_NPlayerDlg::mouseReleaseEvent(QMouseEvent* event) {
    m_drag.release();
    QWidget::mouseReleaseEvent(event);
}

void CQV_NPlayerDlg::closeEvent(QCloseEvent* event) {
    m_showTimer.stop();
    // A caption button may be the one whose click is being handled: it goes when that is done.
    for (CSkinButton* button : m_buttons) {
        button->hide();
        button->deleteLater();
    }
    m_buttons.clear();
    destroyPanes();
    m_closed = true;
    event->accept();
    emit closedByUser();
}

void CQV_NPlayerDlg::destroyPanes() {
    // The engine stops before the surfaces it draws on go.
    if (!m_panes.empty()) {
        m_context.engine().teardown();
    }
    // In creation order: video panes, control bar, panel, map, list, graph, settings.
    for (PaneWindow* pane : m_panes) {
        pane->setProperty("qelvClosing", true);
        delete pane;
    }
    m_panes.clear();
}

}  // namespace qelv::ui
