#include "skin/skin_button.h"

#include <QApplication>
#include <QPainter>
#include <QTimerEvent>
#include <QToolTip>

#include "skin/skin_bitmaps.h"
#include "skin/window_message.h"

namespace qelv::ui {

QPointer<QWidget> CSkinButton::s_mainWindow;

namespace {
// Every tooltip of the viewer is white text on black.
void colourToolTips() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipBase, Qt::black);
    palette.setColor(QPalette::ToolTipText, Qt::white);
    QToolTip::setPalette(palette);
}
}  // namespace

CSkinButton* CSkinButton::createImageButton(int height, int top, QWidget* owner,
                                            const QString& text, int id, int left, int width,
                                            int normalImage, int hoverImage, int pressedImage) {
    auto* button = new CSkinButton(owner, text, id);
    button->setGeometry(left, top, width, height);
    button->setImages(skinBitmap(pressedImage), skinBitmap(normalImage), skinBitmap(hoverImage), 0,
                      0, width, height);
    button->show();
    return button;
}

CSkinButton::CSkinButton(QWidget* owner, const QString& text, int id)
    : QAbstractButton(owner), m_id(id) {
    colourToolTips();
    setText(text);
    setToolTip(text);
    setObjectName(text);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    connect(this, &QAbstractButton::clicked, this,
            [this] { sendMessage(parentWidget(), kMsgButtonClicked, m_id, 0); });
}

void CSkinButton::setImages(const QPixmap& pressed, const QPixmap& normal, const QPixmap& hover,
                            int sourceLeft, int sourceTop, int width, int height) {
    m_pressed = pressed;
    m_normal = normal;
    m_hoverFace = hover;
    m_source = QRect(sourceLeft, sourceTop, width, height);
    m_imagesSet = true;
    update();
}

void CSkinButton::setImageNumbers(int pressed, int normal, int hover) {
    setImages(skinBitmap(pressed), skinBitmap(normal), skinBitmap(hover), 0, 0, width(), height());
}

void CSkinButton::setMainWindow(QWidget* window) {
    s_mainWindow = window;
}

int CSkinButton::faceToDraw() const {
    if (!m_imagesSet) {
        return 0;
    }
    if (isDown() || !isEnabled()) {
        return 3;
    }
    if (m_hover && !m_hoverFace.isNull()) {
        return 2;
    }
    return 1;
}

void CSkinButton::paintEvent(QPaintEvent*) {
    m_foregroundTimer.stop();
    const int face = faceToDraw();
    if (face == 0) {
        return;
    }
    const QPixmap& image = face == 3 ? m_pressed : face == 2 ? m_hoverFace : m_normal;
    if (face == 2) {
        m_foregroundTimer.start(250, this);
    }
    QPainter painter(this);
    painter.drawPixmap(QPoint(0, 0), image, m_source);
}

void CSkinButton::enterEvent(QEnterEvent* event) {
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CSkinButton::leaveEvent(QEvent* event) {
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CSkinButton::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_foregroundTimer.timerId()) {
        QAbstractButton::timerEvent(event);
        return;
    }
    m_foregroundTimer.stop();
    // Only within the viewer: a resting mouse never takes the focus from another program.
    if (s_mainWindow && QApplication::activeWindow() != nullptr) {
        s_mainWindow->raise();
        // Its panes stay in front of it, and the panes that stay on top (the G-sensor graph,
        // the map floating over a screen-filling layout) in front of those, also without a
        // window manager to keep them there: each raise puts a window above all others.
        for (const bool onTop : {false, true}) {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->isVisible() && window->parentWidget() == s_mainWindow &&
                    window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop) {
                    window->raise();
                }
            }
        }
    }
}

void CSkinButton::hideEvent(QHideEvent* event) {
    m_foregroundTimer.stop();  // a hidden button brings nothing forward
    QAbstractButton::hideEvent(event);
}

QSize CSkinButton::sizeHint() const {
    return m_source.isValid() ? m_source.size() : QSize(20, 20);
}

}  // namespace qelv::ui
