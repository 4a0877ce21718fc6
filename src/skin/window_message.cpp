#include "skin/window_message.h"

#include <QCoreApplication>

namespace qelv::ui {

WindowMessage::WindowMessage(unsigned message, qintptr wParam, qintptr lParam)
    : QEvent(type()), m_message(message), m_wParam(wParam), m_lParam(lParam) {}

QEvent::Type WindowMessage::type() {
    static const auto kType = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kType;
}

void postMessage(QObject* receiver, unsigned message, qintptr wParam, qintptr lParam) {
    if (receiver == nullptr) {
        return;
    }
    QCoreApplication::postEvent(receiver, new WindowMessage(message, wParam, lParam));
}

qintptr sendMessage(QObject* receiver, unsigned message, qintptr wParam, qintptr lParam) {
    if (receiver == nullptr) {
        return -1;
    }
    WindowMessage event(message, wParam, lParam);
    QCoreApplication::sendEvent(receiver, &event);
    return event.result();
}

bool MessageTarget::dispatchMessage(QEvent* event) {
    if (event->type() != WindowMessage::type()) {
        return false;
    }
    auto* message = static_cast<WindowMessage*>(event);
    message->setResult(onMessage(message->message(), message->wParam(), message->lParam()));
    return true;
}

}  // namespace qelv::ui
