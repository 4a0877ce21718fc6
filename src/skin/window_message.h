// The messages the viewer's windows exchange: posted (or, for a button's click, sent) Qt
// events carrying the message number and its two parameters, with the numbers the panes have
// always used (WM_USER = 1024).
#pragma once

#include <QEvent>
#include <QObject>
#include <QtGlobal>

namespace qelv::ui {

inline constexpr unsigned kWmUser = 1024;
inline constexpr unsigned kMsgFormatProgress = kWmUser + 1;    // format worker → storage dialog
inline constexpr unsigned kMsgDriveChange = kWmUser + 2;       // media inserted or removed
inline constexpr unsigned kMsgPaneSelect = kWmUser + 100;      // video pane → main window
inline constexpr unsigned kMsgSliderChanged = kWmUser + 101;   // bitmap slider → its owner
inline constexpr unsigned kMsgSeek = kWmUser + 102;            // seek slider, graph → control bar
inline constexpr unsigned kMsgPaneCommand = kWmUser + 103;     // a code in wParam (below)
inline constexpr unsigned kMsgModalGuard = kWmUser + 104;      // 0 before a modal dialog, 1 after
inline constexpr unsigned kMsgButtonClicked = kWmUser + 1000;  // sent; wParam the command id

// Trip timeline → recording list: play the catalogue entry wParam from lParam milliseconds.
inline constexpr unsigned kMsgPlayAt = kWmUser + 105;

// lParam of a kMsgSeek whose wParam is the target in milliseconds, 0 included (the G-sensor
// graph, the map); the seek slider's own notification (wParam 0, lParam 1) means "where the
// slider is".
inline constexpr qintptr kSeekToTarget = 2;

// wParam codes of kMsgPaneCommand.
inline constexpr qintptr kPaneStop = 2;
inline constexpr qintptr kPanePlaying = 3;
inline constexpr qintptr kPanePaused = 4;
inline constexpr qintptr kPaneReopen = 5;
inline constexpr qintptr kToggleMap = 10;
inline constexpr qintptr kToggleFileList = 11;
inline constexpr qintptr kToggleGraph = 12;
inline constexpr qintptr kToggleScreenSettings = 13;
inline constexpr qintptr kPaneExportClip = 14;  // a video pane's "Export clip..." → control bar
inline constexpr qintptr kRepaintVideo = 14;
inline constexpr qintptr kToggleTripTimeline = 16;
// Recording list → trip timeline, sent: the source is about to change or close (stop reading
// it and forget it); its recordings are listed (read them when nothing is held); its unfinished
// recordings are about to be repaired in place (stop reading them).
inline constexpr qintptr kPaneSourceClosing = 17;
inline constexpr qintptr kPaneSourceListed = 18;
inline constexpr qintptr kPaneSourceRepairing = 19;

class WindowMessage : public QEvent {
public:
    WindowMessage(unsigned message, qintptr wParam, qintptr lParam);

    // The event type every window message carries.
    static QEvent::Type type();

    unsigned message() const { return m_message; }
    qintptr wParam() const { return m_wParam; }
    qintptr lParam() const { return m_lParam; }
    // What the receiver answers to a sent message (0 unless it says otherwise).
    qintptr result() const { return m_result; }
    void setResult(qintptr result) { m_result = result; }

private:
    unsigned m_message;
    qintptr m_wParam;
    qintptr m_lParam;
    qintptr m_result = 0;
};

// Queues the message for `receiver`; the sender never waits. Nothing happens for null.
void postMessage(QObject* receiver, unsigned message, qintptr wParam, qintptr lParam = 0);
// Delivers at once and returns the receiver's result; -1 for null.
qintptr sendMessage(QObject* receiver, unsigned message, qintptr wParam, qintptr lParam = 0);

// A window that takes window messages: its event() hands them here.
class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    virtual qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) = 0;

protected:
    // For event(): true (and the message handled) when `event` is a window message.
    bool dispatchMessage(QEvent* event);
};

}  // namespace qelv::ui
