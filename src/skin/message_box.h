// Message boxes of the viewer. Tests replace the handler to see what a user would be shown
// without a modal box blocking them.
#pragma once

#include <functional>

#include <QString>
#include <QWidget>

namespace qelv::ui {

enum class MessageIcon { None, Error, Information, Question };
enum class MessageButtons { Ok, OkCancel, YesNo };

// The button the user pressed: 1 OK, 2 Cancel, 6 Yes, 7 No.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

using MessageBoxHandler = std::function<int(QWidget* parent, const QString& text, MessageIcon icon,
                                            MessageButtons buttons)>;

// Shows a modal box titled "QELV Viewer" (or hands it to the test handler). The text is shown
// as it is, never read as markup.
int showMessageBox(QWidget* parent, const QString& text, MessageIcon icon,
                   MessageButtons buttons = MessageButtons::Ok);

// The same box with an OK button, shown without waiting for the user: for news that arrives
// while the user works in other windows. Returns the box (it deletes itself when closed), or
// null when the test handler took it.
QWidget* showMessageBoxWithoutWaiting(QWidget* parent, const QString& text, MessageIcon icon);

// Replaces the handler; an empty one restores the real boxes. Returns the one before.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

}  // namespace qelv::ui
