// The list of (window, key) pairs through which panes find and post to each other. One per
// process, used on the main thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

namespace qelv::ui {

class WindowRegistry {
public:
    static WindowRegistry& instance();

    // Drops an entry with the same key, then appends the pair.
    void add(int key, QWidget* window);
    // The window of the first live entry with `key`; an entry whose window is gone (or being
    // destroyed) is forgotten and nothing is returned.
    QWidget* find(int key);
    // Posts the message to the window of `key`; dropped silently when there is none.
    void post(int key, unsigned message, qintptr wParam, qintptr lParam = 0);
    void clear() { m_entries.clear(); }
    std::size_t size() const { return m_entries.size(); }

private:
    struct Entry {
        QPointer<QWidget> window;
        int key;
    };
    std::vector<Entry> m_entries;
};

}  // namespace qelv::ui
