#include "shell/window_registry.h"

#include <algorithm>

#include "skin/window_message.h"

namespace qelv::ui {

WindowRegistry& WindowRegistry::instance() {
    static WindowRegistry registry;
    return registry;
}

void WindowRegistry::add(int key, QWidget* window) {
    std::erase_if(m_entries, [key](const Entry& entry) { return entry.key == key; });
    m_entries.push_back({window, key});
}

QWidget* WindowRegistry::find(int key) {
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [key](const Entry& entry) { return entry.key == key; });
    if (it == m_entries.end()) {
        return nullptr;
    }
    // A window in its destructor has lost its handle as far as the panes are concerned.
    if (it->window.isNull() || it->window->property("qelvClosing").toBool()) {
        m_entries.erase(it);
        return nullptr;
    }
    return it->window.data();
}

void WindowRegistry::post(int key, unsigned message, qintptr wParam, qintptr lParam) {
    if (QWidget* window = find(key)) {
        postMessage(window, message, wParam, lParam);
    }
}

}  // namespace qelv::ui
