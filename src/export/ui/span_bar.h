// The bar above the span's start and end: the recordings a span may take side by side (a
// tick at each joint), the span as a filled part and where playback was as a red mark.
#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

namespace qelv::ui {

class SpanBar : public QWidget {
    Q_OBJECT
public:
    static inline const QColor kSpanColour{80, 200, 220};
    static inline const QColor kPositionColour{230, 40, 40};
    static inline const QColor kTrackColour{60, 60, 60};

    explicit SpanBar(QWidget* parent = nullptr);

    // `limitNs`: the end of the last recording; `jointsNs`: where each further one starts.
    void setRange(std::int64_t limitNs, std::vector<std::int64_t> jointsNs);
    void setSpan(std::int64_t fromNs, std::int64_t toNs);
    void setPosition(std::int64_t positionNs);

    // The x of a moment in the bar's own coordinates.
    int xOf(std::int64_t ns) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::int64_t m_limitNs = 1;
    std::vector<std::int64_t> m_jointsNs;
    std::int64_t m_fromNs = 0;
    std::int64_t m_toNs = 0;
    std::int64_t m_positionNs = 0;
};

}  // namespace qelv::ui
