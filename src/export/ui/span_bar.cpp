#include "export/ui/span_bar.h"

#include <QPainter>
#include <algorithm>

namespace qelv::ui {

SpanBar::SpanBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpanBar::setRange(std::int64_t limitNs, std::vector<std::int64_t> jointsNs) {
    m_limitNs = std::max<std::int64_t>(limitNs, 1);
    m_jointsNs = std::move(jointsNs);
    update();
}

void SpanBar::setSpan(std::int64_t fromNs, std::int64_t toNs) {
    m_fromNs = fromNs;
    m_toNs = toNs;
    update();
}

void SpanBar::setPosition(std::int64_t positionNs) {
    m_positionNs = positionNs;
    update();
}

int SpanBar::xOf(std::int64_t ns) const {
    const double share =
        static_cast<double>(std::clamp<std::int64_t>(ns, 0, m_limitNs)) / m_limitNs;
    return static_cast<int>(share * (width() - 1) + 0.5);
}

void SpanBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const int top = height() / 4;
    const int bottom = height() - height() / 4;
    painter.fillRect(QRect(QPoint(0, top), QPoint(width() - 1, bottom)), kTrackColour);
    if (m_toNs > m_fromNs) {
        painter.fillRect(QRect(QPoint(xOf(m_fromNs), top), QPoint(xOf(m_toNs), bottom)),
                         kSpanColour);
    }
    painter.setPen(palette().color(QPalette::WindowText));
    for (const std::int64_t joint : m_jointsNs) {
        painter.drawLine(xOf(joint), bottom, xOf(joint), height() - 1);
    }
    const int x = xOf(m_positionNs);
    painter.fillRect(QRect(x - 1, 0, 3, height()), kPositionColour);
}

}  // namespace qelv::ui
