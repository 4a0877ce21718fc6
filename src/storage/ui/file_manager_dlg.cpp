#include "storage/ui/file_manager_dlg.h"

#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <iostream>

#include "events/ui/incident_settings.h"
#include "platform/drive_discovery.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "skin/pane_frame.h"
#include "skin/wait_cursor.h"
#include "skin/xfolder_dialog.h"
#include "storage/ui/card_arrival.h"

namespace qelv::ui {

namespace {
constexpr QPoint kOffset{810, 320};
constexpr QSize kSize{315, 470};
// The category combo ends left of the "Fixed window" button.
constexpr int kComboRight = 255;
constexpr int kComboMinWidth = 60;

struct ListButton {
    const char* text;
    int command;
    int left;
    int top;
    int normal;
    int pressed;
};
constexpr ListButton kButtons[] = {
    {"Close", CFileManagerDlg::kCmdClose, 285, 2, 219, 218},
    {"Fixed window", CFileManagerDlg::kCmdFixed, 265, 2, 243, 244},
    {"Open File", CFileManagerDlg::kCmdOpen, 58, 4, 262, 263},
    {"Sort Ascending", CFileManagerDlg::kCmdSortUp, 290, 445, 264, 265},
    {"Sort Descending", CFileManagerDlg::kCmdSortDown, 265, 445, 266, 267},
};

// The trip timeline reads the source's recordings on a thread of its own: it stops before
// they change or close (sent, so that it has stopped when this returns) and reads them again
// once they are listed.
void tellTripTimeline(qintptr code) {
    sendMessage(WindowRegistry::instance().find(kKeyTripTimeline), kMsgPaneCommand, code);
}
}  // namespace

CFileManagerDlg::Services CFileManagerDlg::defaultServices() {
    Services services;
    services.listDrives = [](const std::string& folderText) {
        return platform::discoverDrives(platform::systemPaths(), folderText);
    };
    services.runDriveDialog = [](CFileManagerDlg& pane) -> std::optional<int> {
        CNSelectDriveDlg dialog(&pane, pane.m_context.catalogue(), pane.m_services.listDrives);
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.chosenIndex();
    };
    services.exportTelemetry = TelemetryExportServices::defaults();
    services.chooseFolder = [](const std::string& title) -> std::optional<std::string> {
        QSettings settings;
        CXFolderDialog dialog(settings, QString(), WindowRegistry::instance().find(kKeyMainWindow),
                              QString::fromStdString(title));
        if (dialog.run() != 1) {
            return std::nullopt;
        }
        return dialog.folder().toStdString();
    };
    return services;
}

CFileManagerDlg::CFileManagerDlg(QWidget* mainWindow, ViewerContext& context, Services services)
    : DockedPane(mainWindow, kKeyFileList, kOffset, kSize, kToggleFileList, context),
      m_context(context),
      m_services(std::move(services)),
      m_list(new CSkinListCtrl(this)),
      m_combo(new CSkinComboBox(this)),
      m_incidents(new CIncidentsView(this)) {
    setWindowTitle(QStringLiteral("File List"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_list->setObjectName(QStringLiteral("recordingList"));
    m_list->setGeometry(4, 32, 307, 412);
    m_list->setColumns({QStringLiteral("NO."), QStringLiteral("DATA"), QStringLiteral("TIME"),
                        QStringLiteral("TYPE")},
                       {35, 110, 80, 60});
    m_list->viewport()->installEventFilter(this);
    // Several recordings are exported together; playback takes the focused row.
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        QMenu* menu = makeMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_list->viewport()->mapToGlobal(at));
    });
    m_context.setFileList(m_list);

    m_combo->setObjectName(QStringLiteral("categoryCombo"));
    m_combo->addItems({QStringLiteral("ALL"), QStringLiteral("NORMAL"), QStringLiteral("EVENT"),
                       QStringLiteral("PARKING"), QStringLiteral("USER"),
                       QStringLiteral("INCIDENTS")});
    // Right-aligned where the 60-pixel combo ended, as wide as its longest entry needs.
    const int comboWidth = std::max(kComboMinWidth, m_combo->fittingWidth());
    m_combo->setGeometry(kComboRight - comboWidth, 5, comboWidth, 20);
    m_combo->setCurrentIndex(0);
    connect(m_combo, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index == kIncidentsEntry) {
            showIncidents(true);
            return;
        }
        m_listFilter = static_cast<core::ListFilter>(std::max(0, index));
        showIncidents(false);
        listAgain();
    });

    m_incidents->setGeometry(4, 32, 307, 434);
    m_incidents->hide();
    connect(m_incidents, &CIncidentsView::incidentChosen, this,
            [this](qulonglong entry, quint32 startMs) { openIncident(entry, startMs); });
    connect(m_incidents, &CIncidentsView::rescanRequested, this, [this] { scanIncidents(); });

    for (const ListButton& entry : kButtons) {
        m_buttons.push_back(CSkinButton::createImageButton(
            20, entry.top, this, QString::fromLatin1(entry.text), entry.command, entry.left, 20,
            entry.normal, entry.normal, entry.pressed));
    }
    setFixedButton(button(kCmdFixed));
}

CSkinButton* CFileManagerDlg::button(int command) const {
    for (CSkinButton* button : m_buttons) {
        if (button->controlId() == command) {
            return button;
        }
    }
    return nullptr;
}

qintptr CFileManagerDlg::onMessage(unsigned message, qintptr wParam, qintptr lParam) {
    if (message == kMsgPlayAt) {
        playEntry(static_cast<std::size_t>(wParam),
                  static_cast<std::uint32_t>(std::clamp<qintptr>(lParam, 0, UINT32_MAX)));
        return 0;
    }
    if (DockedPane::onMessage(message, wParam, lParam) == 0) {
        return 0;
    }
    if (message == kMsgButtonClicked) {
        switch (wParam) {
            case kCmdOpen:
                chooseSource();
                return 0;
            case kCmdSortUp:
                sort(core::SortMode::Ascending);
                return 0;
            case kCmdSortDown:
                sort(core::SortMode::Descending);
                return 0;
            default:
                return -1;
        }
    }
    return -1;
}

std::vector<int> CFileManagerDlg::selectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < m_list->rowCount(); ++row) {
        if (m_list->topLevelItem(row)->isSelected()) {
            rows.push_back(row);
        }
    }
    return rows;
}

QMenu* CFileManagerDlg::makeMenu() {
    auto* menu = new QMenu(this);
    const std::vector<int> rows = selectedRows();
    const core::RecordingCatalogue& catalogue = m_context.catalogue();
    const core::RecordingEntry* one =
        rows.size() == 1 && !incidentsShown() ? catalogue.shownEntryAt(rows.front()) : nullptr;
    QAction* tripAction = menu->addAction(QStringLiteral("Play trip"));
    tripAction->setEnabled(one != nullptr);
    if (one != nullptr) {
        const auto entry = static_cast<qulonglong>(one - catalogue.entries().data());
        connect(tripAction, &QAction::triggered, this,
                [this, entry] { emit playTripRequested(entry); });
    }
    QAction* exportAction = menu->addAction(QStringLiteral("Export telemetry..."));
    exportAction->setEnabled(!selectedRows().empty());
    connect(exportAction, &QAction::triggered, this, [this] {
        exportTelemetry(this, m_context.catalogue(), selectedRows(), m_services.exportTelemetry);
    });
    return menu;
}

void CFileManagerDlg::chooseSource() {
    WindowRegistry& registry = WindowRegistry::instance();
    // The scan reads the card the dialog may close.
    m_incidents->forget();
    tellTripTimeline(kPaneSourceClosing);
    registry.post(kKeyMainWindow, kMsgModalGuard, 0);
    // Playback lets go of the current recording before the source changes.
    registry.post(kKeyControlBar, kMsgPaneCommand, kPaneStop);
    m_context.catalogue().setSortMode(core::SortMode::Ascending);
    std::optional<int> drive;
    if (m_services.runDriveDialog) {
        drive = m_services.runDriveDialog(*this);
    }
    if (drive) {
        m_lastFolder.reset();
        const core::SourceDrive* line = m_context.catalogue().driveAt(*drive);
        if (line == nullptr || !readSource(core::SourceDrive(*line), rememberingChooser())) {
            forgetRows();
        }
        m_list->selectRow(0);
    }
    registry.post(kKeyMainWindow, kMsgModalGuard, 1);
    if (incidentsShown()) {
        scanIncidents();
    }
    if (m_source) {
        tellTripTimeline(kPaneSourceListed);
    }
    if (!drive || m_list->rowCount() == 0) {
        const auto text = m_context.config().localizedString("MAIN_MSG_NO_FILES");
        showMessageBox(this, QString::fromStdString(text.value_or(std::string())),
                       MessageIcon::Error);
    }
}

QString CFileManagerDlg::folderProblem(const QString& folder) const {
    if (!QFileInfo(folder).isDir()) {
        return QStringLiteral("%1 is not a folder").arg(folder);
    }
    const core::ListFilter filter = currentFilter();
    const auto found = core::peekPcFolder(m_context.catalogue(), folder.toStdString());
    if (std::any_of(found.begin(), found.end(), [filter](const core::RecordingEntry& entry) {
            return core::isListed(entry.fileName, filter);
        })) {
        return {};
    }
    if (filter == core::ListFilter::All) {
        return QStringLiteral("no recordings in %1").arg(folder);
    }
    return QStringLiteral("no %1 recordings in %2")
        .arg(m_combo->itemText(static_cast<int>(filter)), folder);
}

bool CFileManagerDlg::openFolder(const QString& folder) {
    if (!folderProblem(folder).isEmpty()) {
        return false;
    }
    // Playback lets go of the current recording before the source changes.
    WindowRegistry::instance().post(kKeyControlBar, kMsgPaneCommand, kPaneStop);
    core::RecordingCatalogue& catalogue = m_context.catalogue();
    if (const std::optional<core::SourceDrive> card = cardMountedAt(folder)) {
        // A card's own folder is read as the card, so that its tools work on it.
        return listCard(*card);
    }
    const core::SourceDrive line{-1, catalogue.folderSearchText(), {}, core::SourceKind::PcFolder};
    const std::string path = folder.toStdString();
    if (!readSource(line, [&path](const std::string&) { return std::optional(path); })) {
        m_lastFolder.reset();
        forgetRows();
        return false;
    }
    // The folder is the current source, as when it is chosen through the drive dialog.
    catalogue.setDrives({line});
    catalogue.setSelectedDrive(0);
    m_lastFolder = path;
    m_list->selectRow(0);
    return m_list->rowCount() > 0;
}

bool CFileManagerDlg::openCard(const core::SourceDrive& card) {
    if (!m_services.listDrives) {
        return false;
    }
    core::RecordingCatalogue& catalogue = m_context.catalogue();
    std::vector<core::SourceDrive> drives = m_services.listDrives(catalogue.folderSearchText());
    const auto found = std::find_if(drives.begin(), drives.end(),
                                    [&](const core::SourceDrive& d) { return sameDrive(d, card); });
    if (found == drives.end()) {
        return false;  // gone again meanwhile
    }
    const auto index = static_cast<std::int32_t>(found - drives.begin());
    WindowRegistry::instance().post(kKeyControlBar, kMsgPaneCommand, kPaneStop);
    catalogue.setDrives(std::move(drives));
    catalogue.setSelectedDrive(index);
    return listCard(card);
}

bool CFileManagerDlg::listCard(const core::SourceDrive& card) {
    if (!readSource(card, {})) {
        forgetRows();
        return false;
    }
    m_lastFolder.reset();
    m_list->selectRow(0);
    return m_list->rowCount() > 0;
}

std::optional<core::SourceDrive> CFileManagerDlg::cardMountedAt(const QString& folder) {
    if (!m_services.listDrives) {
        return std::nullopt;
    }
    core::RecordingCatalogue& catalogue = m_context.catalogue();
    const QString wanted = QFileInfo(folder).canonicalFilePath();
    std::vector<core::SourceDrive> drives = m_services.listDrives(catalogue.folderSearchText());
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const core::SourceDrive drive = drives[i];
        if (drive.kind == core::SourceKind::FatDrive &&
            QFileInfo(QString::fromStdString(drive.label)).canonicalFilePath() == wanted) {
            catalogue.setDrives(std::move(drives));
            catalogue.setSelectedDrive(static_cast<std::int32_t>(i));
            return drive;
        }
    }
    return std::nullopt;
}

void CFileManagerDlg::sort(core::SortMode mode) {
    if (m_list->rowCount() == 0 || !m_source) {
        return;
    }
    m_context.catalogue().setSortMode(mode);
    core::FolderChooser chooser = rememberingChooser();
    if (m_lastFolder) {
        chooser = [folder = *m_lastFolder](const std::string&) { return std::optional(folder); };
    }
    if (!readSource(core::SourceDrive(*m_source), chooser)) {
        forgetRows();
    }
}

bool CFileManagerDlg::readSource(const core::SourceDrive& drive,
                                 const core::FolderChooser& chooser) {
    // The incidents of the old source go, and its card may be closed: the scan stops first.
    m_incidents->forget();
    tellTripTimeline(kPaneSourceClosing);
    WaitCursor wait(drive.kind != core::SourceKind::PcFolder);
    core::FolderChooser thenWait;
    if (chooser) {
        thenWait = [&](const std::string& title) {
            auto folder = chooser(title);
            wait.show();
            return folder;
        };
    }
    if (!core::selectDrive(m_context.catalogue(), drive, thenWait, std::cout)) {
        m_source.reset();
        return false;
    }
    m_source = drive;
    listAgain();
    if (incidentsShown()) {
        scanIncidents();
    }
    return true;
}

core::FolderChooser CFileManagerDlg::rememberingChooser() {
    if (!m_services.chooseFolder) {
        return {};
    }
    return [this](const std::string& title) {
        m_lastFolder = m_services.chooseFolder(title);
        return m_lastFolder;
    };
}

void CFileManagerDlg::forgetRows() {
    m_incidents->forget();
    tellTripTimeline(kPaneSourceClosing);
    m_list->clearRows();
    m_context.catalogue().setShown({});
}

core::ListFilter CFileManagerDlg::currentFilter() const {
    return m_listFilter;
}

void CFileManagerDlg::showIncidents(bool shown) {
    m_list->setVisible(!shown);
    for (const int command : {kCmdSortUp, kCmdSortDown}) {
        button(command)->setVisible(!shown);
    }
    m_incidents->setVisible(shown);
    if (!shown) {
        // The all-categories listing may repair a recording the scan would be reading.
        m_incidents->stop();
    } else if (!m_incidents->scanned() || !m_incidents->complete()) {
        scanIncidents();
    }
    update();
}

void CFileManagerDlg::scanIncidents() {
    if (!m_source) {
        m_incidents->forget();
        return;
    }
    m_incidents->scan(m_context.catalogue(), incidentThresholds(QSettings()));
}

bool CFileManagerDlg::openIncident(std::size_t entry, std::uint32_t startMs) {
    constexpr std::uint32_t kLeadMs = 5000;
    return playEntry(entry, startMs > kLeadMs ? startMs - kLeadMs : 0);
}

bool CFileManagerDlg::playEntry(std::size_t entry, std::uint32_t fromMs) {
    core::RecordingCatalogue& catalogue = m_context.catalogue();
    const core::RecordingEntry* wanted = catalogue.entryAt(static_cast<std::int64_t>(entry));
    const auto rowOf = [&]() -> int {
        for (std::size_t row = 0; row < catalogue.shownCount(); ++row) {
            if (catalogue.shownEntryAt(static_cast<std::int64_t>(row)) == wanted) {
                return static_cast<int>(row);
            }
        }
        return -1;
    };
    int row = wanted != nullptr ? rowOf() : -1;
    if (wanted != nullptr && row < 0 && m_listFilter != core::ListFilter::All) {
        // Listed under another category: the recording list shows that one. (Not all of them:
        // that listing repairs unfinished recordings, a write nobody asked for here, and the
        // scan would have to stop.)
        for (const core::ListFilter filter : {core::ListFilter::Normal, core::ListFilter::Event,
                                              core::ListFilter::Parking, core::ListFilter::User}) {
            if (core::isListed(wanted->fileName, filter)) {
                m_listFilter = filter;
                listAgain();
                row = rowOf();
                break;
            }
        }
    }
    if (row < 0 || !m_list->selectRow(row)) {
        return false;
    }
    WindowRegistry& registry = WindowRegistry::instance();
    registry.post(kKeyControlBar, kMsgPaneCommand, kPaneReopen);
    registry.post(kKeyControlBar, kMsgSeek, static_cast<qintptr>(fromMs), kSeekToTarget);
    return true;
}

void CFileManagerDlg::listAgain() {
    // The all-categories listing repairs unfinished recordings first: it can take a while, and
    // the trip timeline must not be reading them meanwhile.
    const WaitCursor wait;
    if (currentFilter() == core::ListFilter::All) {
        tellTripTimeline(kPaneSourceRepairing);
    }
    const std::vector<core::ListRow> rows =
        core::listRecordings(m_context.catalogue(), currentFilter());
    m_list->clearRows();
    for (const core::ListRow& row : rows) {
        m_list->addRow({QString::fromStdString(row.number), QString::fromStdString(row.date),
                        QString::fromStdString(row.time), QString::fromStdString(row.type)});
    }
    if (m_source) {
        tellTripTimeline(kPaneSourceListed);
    }
}

bool CFileManagerDlg::eventFilter(QObject* watched, QEvent* event) {
    // A click with Shift or Ctrl adds to the selection, a right-click opens the menu on it:
    // neither collapses it to the focused row.
    const auto* mouse = dynamic_cast<QMouseEvent*>(event);
    const bool plainClick = mouse != nullptr && mouse->button() == Qt::LeftButton &&
                            (mouse->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0;
    if (watched == m_list->viewport() && plainClick) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            // The control bar opens the focused recording; with none it ignores the request.
            WindowRegistry::instance().post(kKeyControlBar, kMsgPaneCommand, kPaneReopen);
            QTimer::singleShot(0, this, [this] { m_list->selectRow(m_list->focusedRow()); });
        } else if (event->type() == QEvent::MouseButtonRelease) {
            QTimer::singleShot(0, this, [this] { m_list->selectRow(m_list->focusedRow()); });
        }
    }
    return DockedPane::eventFilter(watched, event);
}

void CFileManagerDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintPaneFrame(painter, rect(), QColor(16, 16, 16), QStringLiteral("File List"),
                   QRect(QPoint(10, 7), QPoint(109, 22)), 10);
    if (!incidentsShown()) {
        painter.drawText(QRect(QPoint(115, 421), QPoint(128, 439)), Qt::AlignCenter,
                         QStringLiteral("~"));
    }
}

}  // namespace qelv::ui
