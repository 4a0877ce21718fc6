// The viewer's image button: three faces from the skin (normal, under the mouse, pressed; a
// disabled button shows the pressed face), a tooltip with the button's text, and one
// notification: a click sends WM_USER+1000 with the button's id to its parent window.
#pragma once

#include <QAbstractButton>
#include <QBasicTimer>
#include <QPixmap>
#include <QPointer>

namespace qelv::ui {

class CSkinButton : public QAbstractButton {
    Q_OBJECT
public:
    // A visible child of `owner` at (left, top), width × height, faces from the skin by number.
    static CSkinButton* createImageButton(int height, int top, QWidget* owner, const QString& text,
                                          int id, int left, int width, int normalImage,
                                          int hoverImage, int pressedImage);

    CSkinButton(QWidget* owner, const QString& text, int id);

    // Replaces the three faces and the source rectangle drawn from them, and repaints.
    void setImages(const QPixmap& pressed, const QPixmap& normal, const QPixmap& hover,
                   int sourceLeft, int sourceTop, int width, int height);
    // The same by skin number.
    void setImageNumbers(int pressed, int normal, int hover);

    int controlId() const { return m_id; }
    bool hovered() const { return m_hover; }
    bool imagesSet() const { return m_imagesSet; }
    // The face the next paint draws: 0 none, 1 normal, 2 hover, 3 pressed.
    int faceToDraw() const;

    // The window a resting mouse brings forward (the application's main window).
    static void setMainWindow(QWidget* window);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    QSize sizeHint() const override;

private:
    int m_id;
    QPixmap m_normal;
    QPixmap m_hoverFace;
    QPixmap m_pressed;
    QRect m_source;
    bool m_imagesSet = false;
    bool m_hover = false;
    QBasicTimer m_foregroundTimer;
    static QPointer<QWidget> s_mainWindow;
};

}  // namespace qelv::ui
