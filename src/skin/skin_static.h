// A static text on a skinned background: it draws nothing of its own, so the parent's painting
// shows through; with blinking enabled a click toggles its blink state.
#pragma once

#include <QString>
#include <QWidget>

namespace qelv::ui {

class CSkinStatic : public QWidget {
    Q_OBJECT
public:
    explicit CSkinStatic(QWidget* parent = nullptr);

    void setBlinkEnabled(bool enabled) { m_blinkEnabled = enabled; }
    bool blinkState() const { return m_blinkState; }
    void setTexts(const QString& first, const QString& second);
    const QString& firstText() const { return m_first; }
    const QString& secondText() const { return m_second; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_blinkEnabled = false;
    bool m_blinkState = false;
    QString m_first;
    QString m_second;
};

}  // namespace qelv::ui
