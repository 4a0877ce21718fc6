#include "playback/ui/screen_dlg.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

#include "playback/playback_types.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/window_message.h"

namespace qelv::ui {

namespace {

struct PanePlace {
    int key;
    QPoint offset;
    QSize size;
};

constexpr int kWheelStep = 120;
constexpr QPoint kSurfaceAt{2, 2};
constexpr QPoint kScreenSurfaceAt{4, 2};

PanePlace placeOf(int number) {
    switch (number) {
        case 1:
            return {kKeyScreen1, {14, 25}, {785, 419}};
        case 2:
            return {kKeyScreen2, {14, 508}, {390, 219}};
        default:
            return {kKeyScreen3, {409, 508}, {390, 219}};
    }
}

QSize surfaceSizeOf(QSize pane) {
    return {pane.width() - 4, pane.height() - 4};
}

}  // namespace

CScreenDlg::CScreenDlg(QWidget* mainWindow, ViewerContext& context, int number)
    : PaneWindow(mainWindow, placeOf(number).key, placeOf(number).offset, placeOf(number).size),
      m_context(context),
      m_number(number),
      m_channel(number - 1),
      m_selected(number == 1),
      m_surface(new VideoSurfaceWidget(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Screen %1").arg(number));
    m_surface->setGeometry(QRect(kSurfaceAt, surfaceSizeOf(paneSize())));
}

CScreenDlg::~CScreenDlg() {
    m_context.engine().detach(m_surface);
}

void CScreenDlg::setSelectedMark(bool selected) {
    if (m_selected == selected) {
        return;
    }
    m_selected = selected;
    repaint();
}

bool CScreenDlg::channelExists() const {
    const media::PlaybackGraph* graph = m_context.engine().graph();
    return graph != nullptr && graph->hasChannel(m_channel);
}

bool CScreenDlg::playing() const {
    const std::int32_t state = m_context.engine().state();
    return state == media::kRunningState || state == media::kPausedState;
}

void CScreenDlg::refreshVideo() {
    if (!playing()) {
        return;
    }
    media::PlaybackEngine& engine = m_context.engine();
    if (engine.zoom(m_channel) < 1) {
        m_panX = 0;
        m_panY = 0;
    }
    engine.placeWithOffset(m_channel, m_surface, m_panX, m_panY);
    engine.repaint(m_channel);
}

void CScreenDlg::resetZoom() {
    m_context.engine().resetZoom(m_channel, m_surface);
    m_panX = 0;
    m_panY = 0;
    m_dragging = false;
}

qintptr CScreenDlg::onMessage(unsigned message, qintptr wParam, qintptr) {
    if (message != kMsgPaneCommand) {
        return -1;
    }
    if (wParam == kPaneStop) {
        resetZoom();
        update();
    } else if (wParam == kRepaintVideo) {
        refreshVideo();
        update();
    }
    return 0;
}

void CScreenDlg::followMainWindow(QPoint mainTopLeft) {
    if (m_context.layoutMode() == kLayoutDefault) {
        PaneWindow::followMainWindow(mainTopLeft);
    }
}

void CScreenDlg::takeLayoutMode(int mode, QSize screen) {
    if (mode == kLayoutDefault && mainWindow() != nullptr) {
        PaneWindow::followMainWindow(mainWindow()->pos());
    }
    if (!m_selected) {
        return;
    }
    const int w = screen.width() - 25;
    const int h = screen.height() - 100;
    if (mode == kLayoutFullScreen) {
        setGeometry(12, 30, w, h);
        m_surface->setGeometry(kScreenSurfaceAt.x(), kScreenSurfaceAt.y(), w - 8, h - 6);
    } else if (mode == kLayoutFitScreen) {
        auto [videoWidth, videoHeight] = m_context.engine().nativeSize(m_channel);
        if (videoWidth <= 0 || videoHeight <= 0) {
            // Nothing open: a pane of no size could not be seen again; fill the screen.
            videoWidth = w;
            videoHeight = h;
        }
        int marginX = 0;
        int marginY = 0;
        if (videoWidth >= w) {
            videoWidth = w;
        } else {
            marginX = (w - videoWidth) / 2;
        }
        if (videoHeight >= h) {
            videoHeight = h;
        } else {
            marginY = (h - videoHeight) / 2;
        }
        setGeometry(12 + marginX, 30 + marginY, videoWidth, videoHeight);
        m_surface->setGeometry(kScreenSurfaceAt.x(), kScreenSurfaceAt.y(),
                               std::max(0, videoWidth - 8), std::max(0, videoHeight - 6));
    } else {
        if (mainWindow() != nullptr) {
            move(mainWindow()->pos() + offset());
        }
        resize(paneSize());
        m_surface->setGeometry(QRect(kSurfaceAt, surfaceSizeOf(paneSize())));
    }
    show();
    refreshVideo();
    update();
}

void CScreenDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_selected) {
        painter.setPen(QColor(255, 255, 255));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void CScreenDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !channelExists()) {
        return;
    }
    if (!m_selected) {
        WindowRegistry::instance().post(kKeyMainWindow, kMsgPaneSelect, 0);
    }
    if (m_context.engine().zoom(m_channel) > 0) {
        m_dragging = true;
        m_last = event->position().toPoint();
    }
}

void CScreenDlg::mouseMoveEvent(QMouseEvent* event) {
    if (!channelExists()) {
        return;
    }
    const QPoint point = event->position().toPoint();
    // The large pane lets go of a drag that leaves it over its top or left edge.
    if (m_number == 1 && (point.x() < 2 || point.y() < 2)) {
        m_dragging = false;
    }
    if (!m_dragging || point == m_last) {
        return;
    }
    const int zoom = m_context.engine().zoom(m_channel);
    m_panX = std::clamp(m_panX + m_last.x() - point.x(), 0, std::max(0, zoom));
    m_panY = std::clamp(m_panY + m_last.y() - point.y(), 0, std::max(0, zoom));
    m_last = point;
    refreshVideo();
}

void CScreenDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !channelExists()) {
        return;
    }
    m_dragging = false;
    if (!m_surface->geometry().contains(event->position().toPoint())) {
        return;
    }
    if (m_number != 1 || !m_selected) {
        WindowRegistry::instance().post(kKeyMainWindow, kMsgPaneSelect, m_number);
    }
}

QMenu* CScreenDlg::makeMenu() {
    auto* menu = new QMenu(this);
    QAction* clip = menu->addAction(QStringLiteral("Export clip..."));
    clip->setShortcut(Qt::Key_E);
    clip->setEnabled(playing());
    connect(clip, &QAction::triggered, this, [] {
        WindowRegistry::instance().post(kKeyControlBar, kMsgPaneCommand, kPaneExportClip);
    });
    return menu;
}

void CScreenDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = makeMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void CScreenDlg::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();  // a double-click does nothing on a pane
}

void CScreenDlg::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (!playing() || (delta != kWheelStep && delta != -kWheelStep)) {
        event->ignore();
        return;
    }
    media::PlaybackEngine& engine = m_context.engine();
    if (delta == kWheelStep) {
        engine.shrink(m_channel, m_surface);
    } else if (engine.zoom(m_channel) >= 1) {
        engine.enlarge(m_channel, m_surface);
        if (m_number == 1) {
            const int zoom = std::max(0, engine.zoom(m_channel));
            m_panX = std::min(m_panX, zoom);
            m_panY = std::min(m_panY, zoom);
        }
    } else if (m_number == 1) {
        m_panX = 0;
        m_panY = 0;
    }
    refreshVideo();
    event->accept();
}

}  // namespace qelv::ui
