// The bitmap-drawn horizontal slider of the control bar: the seek slider (window text
// "SEEK"), the rate slider and the volume slider. It draws a channel and a thumb from skin
// bitmaps; the user drags the thumb, clicks anywhere on the channel or uses the keys, and the
// owner hears of every change of position: the seek slider posts WM_USER+102 (wParam 0,
// lParam 1: seek to my position), the others WM_USER+101 (wParam the control id, lParam 1).
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace qelv::ui {

class CBitmapSlider : public QWidget {
    Q_OBJECT
public:
    // A visible child of `parent` with its window text and control id (256 seek, 257 volume,
    // 272 rate on the control bar).
    CBitmapSlider(const QString& text, int id, QWidget* parent);

    // The window that receives the notifications.
    void setOwner(QObject* owner) { m_owner = owner; }
    // The channel; the control takes the normal image's size. `active` (optional) fills the
    // travelled part.
    void setChannelImages(const QPixmap& normal, const QPixmap& active = {});
    // The thumb; `active` (optional) is shown while dragging.
    void setThumbImages(const QPixmap& normal, const QPixmap& active = {});
    void setMargins(int left, int top, int right, int bottom);
    void setRange(int min, int max);
    void setPageSize(int page) { m_page = page; }
    // Kept within the range.
    void setPos(int pos);
    void setDrawFocusRect(bool on) { m_drawFocusRect = on; }

    int pos() const { return m_pos; }
    int rangeMin() const { return m_min; }
    int rangeMax() const { return m_max; }
    int controlId() const { return m_id; }
    bool dragging() const { return m_dragging; }

    // The thumb's centre, in pixels from the control's left edge, for `value`; at the left
    // end while the range is empty (min equals max).
    int centreOfValue(int value) const;
    // The value whose thumb centre is `x`, within the range.
    int valueOfCentre(int x) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void dragTo(int x);
    void moveTo(int pos);
    void notifyOwner();
    int clamp(int value) const;

    QString m_text;
    int m_id;
    QPointer<QObject> m_owner;
    int m_min = 0;
    int m_max = 100;
    int m_pos = 0;
    int m_page = 20;
    int m_thumbWidth = 0;
    int m_thumbHeight = 0;
    int m_marginLeft = 0, m_marginTop = 0, m_marginRight = 0, m_marginBottom = 0;
    QPixmap m_channel, m_channelActive, m_thumb, m_thumbActive;
    bool m_dragging = false;
    int m_dragOffset = 0;
    bool m_drawFocusRect = true;
};

}  // namespace qelv::ui
