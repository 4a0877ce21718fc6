#include "playback/ui/bitmap_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "skin/window_message.h"

namespace qelv::ui {

namespace {
// The filled part of the channel stops this far before the thumb's centre.
constexpr int kFillGap = 6;
}  // namespace

CBitmapSlider::CBitmapSlider(const QString& text, int id, QWidget* parent)
    : QWidget(parent), m_text(text), m_id(id) {
    setWindowTitle(text);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);  // the paint covers everything
    show();
}

void CBitmapSlider::setChannelImages(const QPixmap& normal, const QPixmap& active) {
    m_channel = normal;
    m_channelActive = active;
    if (!normal.isNull()) {
        setFixedSize(normal.size());
    }
    update();
}

void CBitmapSlider::setThumbImages(const QPixmap& normal, const QPixmap& active) {
    m_thumb = normal;
    m_thumbActive = active;
    m_thumbWidth = normal.width();
    m_thumbHeight = normal.height();
    update();
}

void CBitmapSlider::setMargins(int left, int top, int right, int bottom) {
    m_marginLeft = left;
    m_marginTop = top;
    m_marginRight = right;
    m_marginBottom = bottom;
    update();
}

void CBitmapSlider::setRange(int min, int max) {
    m_min = min;
    m_max = max;
    m_pos = clamp(m_pos);
    update();
}

void CBitmapSlider::setPos(int pos) {
    m_pos = clamp(pos);
    update();
}

int CBitmapSlider::clamp(int value) const {
    return m_max < m_min ? m_min : std::clamp(value, m_min, m_max);
}

int CBitmapSlider::centreOfValue(int value) const {
    const int travel = width() - m_marginRight - m_thumbWidth - m_marginLeft;
    const long long span = static_cast<long long>(m_max) - m_min;
    const long long offset =
        span <= 0 ? 0
                  : static_cast<long long>(travel) * (static_cast<long long>(value) - m_min) / span;
    return m_marginLeft + static_cast<int>(offset) + m_thumbWidth / 2;
}

int CBitmapSlider::valueOfCentre(int x) const {
    const int travel = width() - m_marginLeft - m_marginRight - m_thumbWidth;
    if (travel <= 0 || m_max <= m_min) {
        return m_min;
    }
    const double value = m_min + static_cast<double>(x - m_thumbWidth / 2 - m_marginLeft) / travel *
                                     (static_cast<double>(m_max) - m_min);
    return clamp(static_cast<int>(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0)));
}

void CBitmapSlider::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled() || event->button() != Qt::LeftButton) {
        return;
    }
    grabMouse();
    setFocus(Qt::MouseFocusReason);
    m_dragging = true;
    const int x = event->position().toPoint().x();
    m_dragOffset = x - centreOfValue(m_pos);
    if (std::abs(m_dragOffset) > m_thumbWidth / 2) {
        m_dragOffset = 0;  // off the thumb: its centre comes under the mouse
    }
    dragTo(x);
    update();
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging) {
        dragTo(event->position().toPoint().x());
    }
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent*) {
    if (m_dragging) {
        releaseMouse();
        m_dragging = false;
        update();
    }
}

void CBitmapSlider::dragTo(int x) {
    const int lowest = m_marginLeft + m_thumbWidth / 2;
    const int highest = width() - m_marginRight - m_thumbWidth / 2;
    const int target = std::max(lowest, std::min(x - m_dragOffset, highest));
    // With an empty range (the seek slider before a recording is open) the thumb cannot move.
    if (m_max > m_min && target != centreOfValue(m_pos)) {
        m_pos = valueOfCentre(target);
        notifyOwner();
    }
    update();
}

void CBitmapSlider::notifyOwner() {
    if (m_text == QStringLiteral("SEEK")) {
        postMessage(m_owner, kMsgSeek, 0, 1);
    } else {
        postMessage(m_owner, kMsgSliderChanged, m_id, 1);
    }
}

// A key move is told to the owner as a drag would be, so that the keys act like the mouse.
void CBitmapSlider::moveTo(int pos) {
    const int before = m_pos;
    m_pos = clamp(pos);
    if (m_pos != before) {
        notifyOwner();
    }
    update();
}

void CBitmapSlider::keyPressEvent(QKeyEvent* event) {
    if (!isEnabled()) {
        return;
    }
    switch (event->key()) {
        case Qt::Key_PageUp:
            moveTo(m_pos - m_page);
            break;
        case Qt::Key_PageDown:
            moveTo(m_pos + m_page);
            break;
        case Qt::Key_End:
            moveTo(m_max);
            break;
        case Qt::Key_Home:
            moveTo(m_min);
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            moveTo(m_pos + 1);
            break;
        case Qt::Key_Left:
        case Qt::Key_Up:
            moveTo(m_pos - 1);
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

bool CBitmapSlider::event(QEvent* event) {
    // A focused slider keeps its keys from the player's shortcuts.
    if (event->type() == QEvent::ShortcutOverride && isEnabled()) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_End:
            case Qt::Key_Home:
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Up:
            case Qt::Key_Down:
                event->accept();
                return true;
            default:
                break;
        }
    }
    return QWidget::event(event);
}

void CBitmapSlider::focusInEvent(QFocusEvent*) {
    update();
}

void CBitmapSlider::focusOutEvent(QFocusEvent*) {
    update();
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const int centre = centreOfValue(m_pos);
    painter.drawPixmap(0, 0, m_channel);
    if (!m_channelActive.isNull() && isEnabled()) {
        // The travelled part looks filled.
        // (A source width of 0 would draw the whole image: nothing is travelled then.)
        const int filled = std::max(0, centre - kFillGap);
        if (filled > 0) {
            painter.drawPixmap(0, 0, m_channelActive, 0, 0, filled, m_channelActive.height());
        }
    }
    if (isEnabled() && !m_thumb.isNull()) {
        const QPixmap& thumb = m_dragging && !m_thumbActive.isNull() ? m_thumbActive : m_thumb;
        painter.drawPixmap(centre - m_thumbWidth / 2, m_marginTop, thumb, 0, 0, m_thumbWidth,
                           m_thumbHeight);
    }
    if (m_drawFocusRect && hasFocus() && isEnabled()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(0, 0, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

}  // namespace qelv::ui
