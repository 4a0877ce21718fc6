// The recorder's settings dialog: a picture of the recorder's settings screen with one image
// button for every choice (grouped like radio buttons), the time-zone list, "Save" and
// "Close". Opening reads SETUP/setup.ini from the card (writing it with the recorder's
// defaults, as a save does, when it is missing); clicks change only what is in memory; "Save"
// replaces the file whole. A save that fails says which file and why, and the dialog stays
// open.
#pragma once

#include <QPixmap>
#include <array>

#include "skin/skin_button.h"
#include "skin/skin_combo_box.h"
#include "skin/window_message.h"
#include "tools/recorder_settings.h"
#include "tools/ui/draggable_dialog.h"

namespace qelv::ui {

class CSettingDlg : public DraggableDialog, public MessageTarget {
    Q_OBJECT
public:
    static constexpr int kTimeZoneListId = 1032;

    // Reads (or creates) the settings file of the card at `cardRoot`; a problem doing so is
    // shown when the dialog first appears. The file's console lines (keys the recorder does not
    // know, every line a save writes) go to standard output. The dialog stands centred over the
    // main window (`owner`'s window when there is none).
    CSettingDlg(QWidget* owner, const std::filesystem::path& cardRoot);

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;

    // The button of choice `n` (0 to 38), "Save" (39) or "Close" (40).
    CSkinButton* choiceButton(int n) const;
    CSkinComboBox* timeZoneList() const { return m_zones; }
    const core::RecorderSettingsFile& settings() const { return m_settings; }
    // What opening the file said (empty when it was read or created).
    const QString& openProblem() const { return m_openProblem; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Marks the shown choice of every group selected and the others not.
    void showChoices();
    void save();

    core::RecorderSettingsFile m_settings;
    QString m_openProblem;
    bool m_problemShown = false;
    QPixmap m_background;
    std::array<CSkinButton*, 41> m_buttons{};
    CSkinComboBox* m_zones = nullptr;
};

}  // namespace qelv::ui
