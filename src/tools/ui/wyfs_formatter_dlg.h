// "STORAGE INFORMATION": the capacity of a recorder card and, per recording category, its
// share of the card and how much of it the recordings are estimated to use; below, "Format"
// erases the card as the recorder expects it (FAT32). The dialog lists the card drives itself,
// reads them again when cards come or go, and recomputes the figures for the chosen card.
//
// Formatting runs in the background through the system's disk service; the dialog shows each
// step and then what really happened (done, refused, cancelled or failed with the reason).
// While it runs, changes of the drives are ignored, the controls stay disabled, and "Close"
// waits for the end.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "skin/window_message.h"
#include "storage/recording_types.h"
#include "tools/storage_estimate.h"
#include "tools/ui/draggable_dialog.h"

namespace qelv::ui {

// How a format ended, as the status line says it.
struct FormatOutcome {
    bool formatted = false;
    QString status;  // e.g. "Format Completed. Please reload drive list."
};

struct StorageDlgServices {
    // The card drives, in list order (folder lines are left out by the dialog).
    std::function<std::vector<core::SourceDrive>()> discover;
    // The figures of a card; nothing when they cannot be read.
    std::function<std::optional<core::StorageFigures>(const core::StorageCard&)> figures;
    // Starts formatting a block device; `step` reports progress and `done` the outcome, each
    // later on the UI thread, `done` exactly once.
    std::function<void(const QString& device, std::function<void(const QString&)> step,
                       std::function<void(const FormatOutcome&)> done)>
        format;
    // Sets up what tells `dialog` of drives coming and going (kMsgDriveChange); may be empty.
    std::function<void(QDialog& dialog)> watch;
};

}  // namespace qelv::ui

namespace qelv::platform {
struct FormatResult;
}

namespace qelv::ui {

// The status line for how the disk service says a format ended.
FormatOutcome formatOutcomeOf(const platform::FormatResult& result);

class CWYFSFormatterDlg : public DraggableDialog, public MessageTarget {
    Q_OBJECT
public:
    static constexpr int kTimerReload = 100;
    static constexpr int kDriveList = 1300;
    static constexpr int kCapacity = 1324;
    static constexpr std::array<int, 4> kNames{1318, 1319, 1320, 1321};
    static constexpr std::array<int, 4> kBars{1322, 1325, 1326, 1327};
    static constexpr std::array<int, 4> kTotals{1332, 1338, 1339, 1340};
    static constexpr std::array<int, 4> kPercents{1017, 1018, 1019, 1020};
    static constexpr int kFormat = 1310;
    static constexpr int kClose = 1011;
    static constexpr int kStatus = 1344;
    static constexpr int kBusy = 1312;

    static constexpr const char* kNoCard = "Insert SD-CARD then reload...";
    static constexpr const char* kCompleted = "Format Completed. Please reload drive list.";

    // The services the viewer uses: drive discovery, the card figures, the disk service on
    // the system bus and the mount-table watch.
    static StorageDlgServices defaultServices();

    CWYFSFormatterDlg(QWidget* owner, StorageDlgServices services);

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;

    // Child widgets by their control id (for tests and the screenshots).
    QWidget* control(int id) const;
    const std::vector<core::SourceDrive>& drives() const { return m_drives; }
    bool formatRunning() const { return m_running; }

    // Reads the drive list again, selects the first card and shows its figures.
    void reload();

protected:
    void timerEvent(QTimerEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void rebuildList();
    void selectCard(int index);
    void showFigures(const core::StorageFigures& figures, bool card);
    void drivesChanged();
    void formatPressed();
    void formatStep(int code);
    void closePressed();
    void enableControls(bool enable);

    StorageDlgServices m_services;
    std::vector<core::SourceDrive> m_drives;
    int m_selected = -1;
    std::int64_t m_totalMb = 0;
    bool m_namesShown = false;
    bool m_running = false;
    bool m_asking = false;  // the format question is open
    core::SourceDrive m_formatDrive;
    std::int64_t m_formatTotalMb = 0;
    bool m_closeRequested = false;
    bool m_closing = false;
    std::optional<FormatOutcome> m_outcome;

    QComboBox* m_list = nullptr;
    QLabel* m_capacity = nullptr;
    std::array<QLineEdit*, 4> m_names{};
    std::array<QProgressBar*, 4> m_bars{};
    std::array<QLabel*, 4> m_totals{};
    std::array<QLabel*, 4> m_percents{};
    QPushButton* m_format = nullptr;
    QPushButton* m_close = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_busy = nullptr;
};

}  // namespace qelv::ui
