// Helpers of the widget tests: a window that records the messages it receives, a video pane
// stand-in, and a card folder of named recordings.
#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "shell/pane_window.h"
#include "shell/video_pane.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "skin/window_message.h"

namespace qelv::test {

struct Received {
    unsigned message;
    qintptr wParam;
    qintptr lParam;
    bool operator==(const Received&) const = default;
};

// A plain window registered under `key` that writes down every message.
class RecordingWindow : public QWidget, public ui::MessageTarget {
public:
    explicit RecordingWindow(int key = 0) {
        if (key != 0) {
            ui::WindowRegistry::instance().add(key, this);
        }
    }
    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override {
        received.push_back({message, wParam, lParam});
        return answer;
    }
    std::vector<Received> received;
    qintptr answer = 7;

protected:
    bool event(QEvent* event) override { return dispatchMessage(event) || QWidget::event(event); }
};

// A pane with a selected mark, standing in for the video panes and the other panes.
class FakePane : public ui::PaneWindow, public ui::VideoPane {
public:
    FakePane(QWidget* main, int key, QPoint offset, QSize size)
        : PaneWindow(main, key, offset, size) {}
    bool selectedMark() const override { return selected; }
    void setSelectedMark(bool on) override { selected = on; }
    void takeLayoutMode(int mode, QSize) override { modes.push_back(mode); }
    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override {
        received.push_back({message, wParam, lParam});
        return 0;
    }
    bool selected = false;
    std::vector<int> modes;
    std::vector<Received> received;
};

// Runs the event loop until `done` or `timeoutMs` passed.
template <typename Done>
bool waitFor(Done done, int timeoutMs = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

inline void processPosted() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
    }
}

// Mean colour of `area` of `image`, every `step`-th pixel each way (black for an empty area).
inline QColor meanColour(const QImage& image, QRect area, int step = 3) {
    long long r = 0, g = 0, b = 0, n = 0;
    for (int y = area.top(); y <= area.bottom(); y += step) {
        for (int x = area.left(); x <= area.right(); x += step) {
            const QColor c = image.pixelColor(x, y);
            r += c.red();
            g += c.green();
            b += c.blue();
            ++n;
        }
    }
    if (n == 0) {
        return Qt::black;
    }
    return QColor(static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n));
}

// The configuration file the viewer ships with.
inline core::ConfigStore& shippedConfig() {
    static core::ConfigStore config;
    static const bool loaded = config.load(QELV_CONFIG_FILE, std::cerr);
    (void)loaded;
    return config;
}

// Message boxes shown while a test runs, answered with OK.
class MessageBoxSpy {
public:
    struct Box {
        QString text;
        ui::MessageIcon icon;
    };
    MessageBoxSpy() {
        m_before = ui::setMessageBoxHandler(
            [this](QWidget*, const QString& text, ui::MessageIcon icon, ui::MessageButtons) {
                boxes.push_back({text, icon});
                if (whileShown) {
                    std::exchange(whileShown, nullptr)();
                }
                return answer;
            });
    }
    ~MessageBoxSpy() { ui::setMessageBoxHandler(std::move(m_before)); }
    std::vector<Box> boxes;
    int answer = ui::kIdOk;            // the button every box is answered with
    std::function<void()> whileShown;  // runs once while the next box is up

private:
    ui::MessageBoxHandler m_before;
};

// An empty file (created with its folders).
inline void touch(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "";
}

}  // namespace qelv::test
