// The "File List" pane beside the main window: the recordings of the current source by date,
// time and category. The user chooses the source (a card drive or a folder), filters by
// category, sorts, and double-clicks a recording to play it; the control bar reads the focused
// row from its list.
#pragma once

#include <QMenu>
#include <QString>
#include <functional>
#include <optional>

#include "shell/docked_pane.h"
#include "shell/viewer_context.h"
#include "skin/skin_button.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_list_ctrl.h"
#include "storage/recording_listing.h"
#include "storage/recording_scanner.h"
#include "storage/ui/incidents_view.h"
#include "storage/ui/select_drive_dlg.h"
#include "storage/ui/telemetry_export_dlg.h"

namespace qelv::ui {

class CFileManagerDlg : public DockedPane {
    Q_OBJECT
public:
    static constexpr int kListId = 1013;
    static constexpr int kComboId = 1008;
    // The category combo's last entry, "INCIDENTS", shows the incidents view in the list's place.
    static constexpr int kIncidentsEntry = 5;
    enum Command { kCmdOpen = 2, kCmdSortUp = 4, kCmdSortDown = 5 };

    // How the pane reaches the machine; the defaults are the real drive discovery, drive
    // dialog and folder picker.
    struct Services {
        DriveLister listDrives;
        // Runs the drive dialog modally: the chosen drive index, or nothing when cancelled.
        std::function<std::optional<int>(CFileManagerDlg&)> runDriveDialog;
        core::FolderChooser chooseFolder;
        // "Export telemetry...": what to write and where.
        TelemetryExportServices exportTelemetry;
    };
    static Services defaultServices();

    CFileManagerDlg(QWidget* mainWindow, ViewerContext& context, Services services);

    // Lists a card drive that discovery finds now (as when it is chosen in the drive dialog).
    // False when it is gone or holds nothing to list.
    bool openCard(const core::SourceDrive& card);
    // The card drive whose mount point `folder` is, if any.
    // Makes the drive list the discovered one with that card selected.
    std::optional<core::SourceDrive> cardMountedAt(const QString& folder);
    // Why `folder` cannot become the source ("... is not a folder", "no recordings in ..."
    // for the chosen category), or an empty text when it can. Reads the folder, changes
    // nothing.
    QString folderProblem(const QString& folder) const;
    // Makes `folder` the current source without any dialog. False, with the list and its
    // source left as they were, when folderProblem has something to say.
    bool openFolder(const QString& folder);

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;

    // The selected rows, in list order (the list selects several with Shift and Ctrl).
    std::vector<int> selectedRows() const;
    // The list's right-click menu: "Play trip" (one recording selected) and "Export
    // telemetry..." (while rows are selected). The caller owns it.
    QMenu* makeMenu();

    CSkinListCtrl* list() const { return m_list; }
    CSkinComboBox* categoryCombo() const { return m_combo; }
    CIncidentsView* incidentsView() const { return m_incidents; }
    bool incidentsShown() const { return m_combo->currentIndex() == kIncidentsEntry; }
    // Plays the recording of the catalogue's entry `entry` from 5 s before `startMs` (from its
    // start for an incident in its first 5 s). False when the entry is not on the list.
    bool openIncident(std::size_t entry, std::uint32_t startMs);
    // Plays the recording of the catalogue's entry `entry` from `fromMs` into it (the trip
    // timeline's WM_USER+105): its row is selected, listing every category when the chosen one
    // does not show it. False when the entry is not on the list.
    bool playEntry(std::size_t entry, std::uint32_t fromMs);
    CSkinButton* button(int command) const;
    // The source the rows come from (a drive line, or the folder line for a folder on the PC),
    // or nothing.
    const std::optional<core::SourceDrive>& source() const { return m_source; }

signals:
    // "Play trip" on the recording of the catalogue's entry `entry`.
    void playTripRequested(qulonglong entry);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool listCard(const core::SourceDrive& card);
    void chooseSource();
    void sort(core::SortMode mode);
    // Scans `drive` (asking `chooser` for the folder of the folder line) and lists it, under
    // the wait cursor once nothing more is asked of the user. On success `drive` is the
    // source; on failure there is none.
    bool readSource(const core::SourceDrive& drive, const core::FolderChooser& chooser);
    // Asks the user for a folder and remembers the answer.
    core::FolderChooser rememberingChooser();
    core::ListFilter currentFilter() const;
    void listAgain();
    // Shows the incidents view (scanning the source when it was not scanned whole) or the
    // recording list.
    void showIncidents(bool shown);
    void scanIncidents();
    // Empties the list and the catalogue's rows, so that no row outlives its entry.
    void forgetRows();

    ViewerContext& m_context;
    Services m_services;
    CSkinListCtrl* m_list;
    CSkinComboBox* m_combo;
    CIncidentsView* m_incidents;
    // The category the recording list shows; kept while the incidents view is shown.
    core::ListFilter m_listFilter = core::ListFilter::All;
    std::vector<CSkinButton*> m_buttons;
    // The line itself, not its place in the drive list: the list changes with the cards that
    // are put in and pulled out, the source of the rows does not.
    std::optional<core::SourceDrive> m_source;
    // The folder last chosen on the PC: a rescan (for a sort) reads it again without asking.
    std::optional<std::string> m_lastFolder;
};

}  // namespace qelv::ui
