// The screen settings pane: a small floating window with four sliders (brightness, contrast,
// saturation and hue) that adjust the picture of every channel through the decoder's numbered
// picture settings, and a "Reset" button. Hidden at start; the control bar's "Screen Settings"
// button toggles it (WM_USER+103 with 13).
//
// A change is applied at once while a recording plays or is paused, and shown even while
// paused: the engine seeks to where it is and the three video panes are told to repaint
// (WM_USER+103 with 14). While stopped a move changes only the slider; the control bar's
// WM_USER+103 with 3 on every play applies all four. The positions last for the run.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <array>
#include <cstdint>
#include <optional>

#include "playback/ui/bitmap_slider.h"
#include "shell/pane_window.h"
#include "shell/viewer_context.h"
#include "skin/skin_button.h"

namespace qelv::ui {

class CScreenSettingDlg : public PaneWindow {
    Q_OBJECT
public:
    // Control ids of the sliders; each sends WM_USER+101 with its id while it moves.
    static constexpr int kContrastSlider = 1280;    // 0 to 256, setting 201 = position
    static constexpr int kBrightnessSlider = 1281;  // 0 to 512, setting 202 = position - 256
    static constexpr int kHueSlider = 1282;         // 0 to 360, setting 203 = position - 180
    static constexpr int kSaturationSlider = 1283;  // 0 to 128, setting 204 = position
    enum Command { kCmdClose = 0, kCmdReset = 1 };

    // Hidden; adjusts the pictures of `context`'s engine.
    CScreenSettingDlg(QWidget* mainWindow, ViewerContext& context);

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;
    // Keeps the place the user dragged it to, relative to the main window.
    void followMainWindow(QPoint mainTopLeft) override;
    bool shownByDefault() const override { return m_visible; }

    // The slider with control id `id` (1280 to 1283), or null.
    CBitmapSlider* slider(int id) const;
    CSkinButton* button(int command) const;
    bool paneVisible() const { return m_visible; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    // Every point of the window drags it.
    bool draggableAt(QPoint point) const override;

private:
    void toggle(bool shown);
    void reset();
    // Only while a recording plays or is paused; the next play applies a change made before.
    bool playing() const;
    // The slider at `index` (its id less 1280) moved: its setting, unless already written.
    void applyMoved(int index);
    // All four settings in the order 201, 202, 203, 204.
    void applyAll();
    // Writes the setting of the slider at `index` to every channel's decoder.
    void write(std::size_t index);
    // Shows the written settings: a seek to the position and a repaint of the video panes.
    void showChange();

    ViewerContext& m_context;
    QPixmap m_background;
    std::array<CBitmapSlider*, 4> m_sliders{};
    CSkinButton* m_close = nullptr;
    CSkinButton* m_reset = nullptr;
    bool m_visible = false;
    // Where the pane lies relative to the main window's top-left corner.
    QPoint m_place;
    // The values last written, and the recording (engine generation) they were written to.
    std::array<std::optional<int>, 4> m_written{};
    std::uint64_t m_writtenGeneration = 0;
};

}  // namespace qelv::ui
