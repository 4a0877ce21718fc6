#include "skin/message_box.h"

#include <QMessageBox>

namespace qelv::ui {

namespace {
MessageBoxHandler& handlerSlot() {
    static MessageBoxHandler handler;
    return handler;
}

QMessageBox::Icon iconOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// The texts carry file names, folders and mount paths, which may hold anything (a "<b>" in a
// card's label); none of them is markup.
void showAsPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
}
}  // namespace

int showMessageBox(QWidget* parent, const QString& text, MessageIcon icon, MessageButtons buttons) {
    if (handlerSlot()) {
        return handlerSlot()(parent, text, icon, buttons);
    }
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    if (buttons == MessageButtons::OkCancel) {
        standard = QMessageBox::Ok | QMessageBox::Cancel;
    } else if (buttons == MessageButtons::YesNo) {
        standard = QMessageBox::Yes | QMessageBox::No;
    }
    QMessageBox box(iconOf(icon), QStringLiteral("QELV Viewer"), text, standard, parent);
    showAsPlainText(box);
    switch (box.exec()) {
        case QMessageBox::Ok:
            return kIdOk;
        case QMessageBox::Yes:
            return kIdYes;
        case QMessageBox::No:
            return kIdNo;
        default:
            return kIdCancel;
    }
}

QWidget* showMessageBoxWithoutWaiting(QWidget* parent, const QString& text, MessageIcon icon) {
    if (handlerSlot()) {
        handlerSlot()(parent, text, icon, MessageButtons::Ok);
        return nullptr;
    }
    auto* box =
        new QMessageBox(iconOf(icon), QStringLiteral("QELV Viewer"), text, QMessageBox::Ok, parent);
    showAsPlainText(*box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler before = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return before;
}

}  // namespace qelv::ui
