#include "storage/ui/telemetry_export_dlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "skin/save_file_dialog.h"
#include "skin/wait_cursor.h"
#include "skin/window_message.h"
#include "storage/file_time.h"

namespace qelv::ui {

namespace {

struct FormatChoice {
    const char* text;
    const char* filter;
    core::TelemetryFormat format;
};
constexpr FormatChoice kFormats[] = {
    {"GPX: the route, with times and speeds", "GPX route (*.gpx)", core::TelemetryFormat::Gpx},
    {"KML: the route as a line", "KML route (*.kml)", core::TelemetryFormat::Kml},
    {"CSV: every record, fixes and G-sensor", "CSV table (*.csv)", core::TelemetryFormat::Csv},
};

const FormatChoice& choiceOf(core::TelemetryFormat format) {
    for (const FormatChoice& choice : kFormats) {
        if (choice.format == format) {
            return choice;
        }
    }
    return kFormats[0];
}

// The recordings of `rows`, where their bytes are read from (the catalogue's open card for a
// WyFS source).
std::vector<core::TelemetryRecording> recordingsAt(core::RecordingCatalogue& catalogue,
                                                   const std::vector<int>& rows) {
    std::vector<core::TelemetryRecording> recordings;
    for (const int row : rows) {
        const core::RecordingEntry* entry = catalogue.shownEntryAt(row);
        if (entry == nullptr) {
            continue;
        }
        core::TelemetryRecording recording;
        recording.name = entry->fileName;
        recording.startSeconds = core::recordingStartSeconds(
            entry->fileName, core::unixSecondsFromFileTime(entry->creationTime));
        recording.location = core::locationOf(catalogue, *entry);
        recordings.push_back(std::move(recording));
    }
    return recordings;
}

// Asks what to write and where: the choice and the file (merged) or folder (one file each),
// or nothing when the user cancelled.
std::optional<std::pair<TelemetryExportChoice, QString>> askTarget(
    QWidget* parent, const std::vector<core::TelemetryRecording>& recordings,
    const TelemetryExportServices& services) {
    const int count = static_cast<int>(recordings.size());
    const std::optional<TelemetryExportChoice> choice =
        services.choose ? services.choose(parent, count) : std::nullopt;
    if (!choice) {
        return std::nullopt;
    }
    QString target;
    if (choice->merged && services.askFile) {
        // Named after the recording, or after the first of them.
        const auto first = std::min_element(
            recordings.begin(), recordings.end(),
            [](const auto& a, const auto& b) { return a.startSeconds < b.startSeconds; });
        QString name = QString::fromStdString(core::exportFileName(first->name, choice->format));
        if (count > 1) {
            const int dot = static_cast<int>(name.lastIndexOf(QLatin1Char('.')));
            name.insert(dot, QStringLiteral("_merged"));
        }
        target = services.askFile(parent, QStringLiteral("Export telemetry as"),
                                  QDir::home().filePath(name),
                                  QString::fromLatin1(choiceOf(choice->format).filter));
    } else if (!choice->merged && services.askFolder) {
        target = services.askFolder(parent,
                                    QStringLiteral("Export telemetry: one file per recording to"));
    }
    if (target.isEmpty()) {
        return std::nullopt;
    }
    return std::pair{*choice, target};
}

}  // namespace

CTelemetryExportDlg::CTelemetryExportDlg(QWidget* parent, int recordings)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_format(new QComboBox(this)),
      m_each(new QRadioButton(QStringLiteral("One file per recording"), this)),
      m_merged(
          new QRadioButton(QStringLiteral("One file, the recordings merged in time order"), this)) {
    setWindowTitle(QStringLiteral("Export telemetry"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(recordings == 1
                                     ? QStringLiteral("1 recording selected.")
                                     : QStringLiteral("%1 recordings selected.").arg(recordings),
                                 this));
    auto* form = new QFormLayout;
    for (const FormatChoice& choice : kFormats) {
        m_format->addItem(QString::fromLatin1(choice.text));
    }
    form->addRow(QStringLiteral("Format:"), m_format);
    layout->addLayout(form);
    layout->addWidget(m_each);
    layout->addWidget(m_merged);
    m_each->setChecked(true);
    // One recording is one file: there is nothing to choose.
    m_each->setVisible(recordings > 1);
    m_merged->setVisible(recordings > 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Export..."));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

TelemetryExportChoice CTelemetryExportDlg::choice() const {
    const int index = std::max(0, m_format->currentIndex());
    return {kFormats[index].format, m_merged->isChecked() || !m_each->isVisibleTo(this)};
}

TelemetryExportServices TelemetryExportServices::defaults() {
    TelemetryExportServices services;
    services.choose = [](QWidget* parent, int recordings) -> std::optional<TelemetryExportChoice> {
        CTelemetryExportDlg dialog(parent, recordings);
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.choice();
    };
    services.askFile = askSaveFile;
    services.askFolder = [](QWidget* parent, const QString& title) {
        return QFileDialog::getExistingDirectory(parent, title, QDir::homePath());
    };
    return services;
}

bool exportTelemetry(QWidget* parent, core::RecordingCatalogue& catalogue,
                     const std::vector<int>& rows, const TelemetryExportServices& services) {
    const std::vector<core::TelemetryRecording> recordings = recordingsAt(catalogue, rows);
    if (recordings.empty()) {
        return false;
    }
    const CardDeviceHandle* card = catalogue.cardDevice();
    WindowRegistry& registry = WindowRegistry::instance();
    registry.post(kKeyMainWindow, kMsgModalGuard, 0);
    const auto target = askTarget(parent, recordings, services);
    registry.post(kKeyMainWindow, kMsgModalGuard, 1);
    if (!target) {
        return false;
    }
    if (recordings.front().location.card != nullptr && catalogue.cardDevice() != card) {
        showMessageBox(parent,
                       QStringLiteral("The card was changed while the export was being set up; "
                                      "nothing was exported."),
                       MessageIcon::Error);
        return false;
    }
    const auto& [choice, path] = *target;
    core::ExportOutcome outcome;
    {
        const WaitCursor wait;
        outcome = choice.merged ? core::exportMerged(recordings, choice.format, path.toStdString())
                                : core::exportEach(recordings, choice.format, path.toStdString());
    }
    QString told;
    if (outcome.written.size() == 1) {
        told = QStringLiteral("Saved %1.").arg(QString::fromStdString(outcome.written.front()));
    } else if (!outcome.written.empty()) {
        told = QStringLiteral("Saved %1 files in %2.").arg(outcome.written.size()).arg(path);
    }
    const QString troubles = QString::fromStdString(core::troublesText(outcome)).trimmed();
    if (troubles.isEmpty()) {
        showMessageBox(parent, told, MessageIcon::Information);
    } else {
        showMessageBox(parent, told.isEmpty() ? troubles : troubles + QStringLiteral("\n") + told,
                       MessageIcon::Error);
    }
    return !outcome.written.empty();
}

}  // namespace qelv::ui
