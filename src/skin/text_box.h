// A short read-out (a time such as "00:00") in a fixed colour on the dark ground.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace qelv::ui {

class CTextBox : public QWidget {
    Q_OBJECT
public:
    explicit CTextBox(QWidget* parent = nullptr);

    // Repaints at once, and only when the text changes.
    void setText(const QString& text);
    const QString& text() const { return m_text; }
    void setTextColour(const QColor& colour);
    const QColor& textColour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text = QStringLiteral("00:00");
    QColor m_colour{92, 102, 127};
};

}  // namespace qelv::ui
