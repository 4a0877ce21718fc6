#include "export/ui/export_clip_dlg.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTimerEvent>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "export/ui/span_bar.h"
#include "skin/message_box.h"

namespace qelv::ui {

namespace {

constexpr QSize kClientSize{460, 388};
constexpr const char* kFolderKey = "Export/folder";

struct SizeChoice {
    const char* text;
    int width, height;
};
constexpr SizeChoice kSizes[] = {
    {"1920 x 1080", 1920, 1080}, {"1280 x 720", 1280, 720}, {"3840 x 2160", 3840, 2160}};

struct LayoutChoice {
    const char* text;
    media::ExportLayout layout;
};
constexpr LayoutChoice kLayouts[] = {
    {"Front large, other cameras beside it", media::ExportLayout::Side},
    {"Front full, other cameras as insets", media::ExportLayout::Pip},
    {"Front camera only", media::ExportLayout::Front}};

std::int64_t nsOf(const QDoubleSpinBox* box) {
    return std::llround(box->value() * 1e9);
}

QString secondsText(std::int64_t ns) {
    return QString::number(static_cast<double>(ns) / 1e9, 'f', 1);
}

// The viewer's dark look. A palette, not a style sheet: it stays with the dialog's own controls
// and leaves the save dialog it opens in the desktop's look.
QPalette darkPalette() {
    QPalette palette;
    const QColor light(225, 225, 225), dim(120, 120, 120);
    palette.setColor(QPalette::Window, QColor(30, 30, 30));
    palette.setColor(QPalette::WindowText, light);
    palette.setColor(QPalette::Base, QColor(45, 45, 45));
    palette.setColor(QPalette::AlternateBase, QColor(38, 38, 38));
    palette.setColor(QPalette::Text, light);
    palette.setColor(QPalette::Button, QColor(55, 55, 55));
    palette.setColor(QPalette::ButtonText, light);
    palette.setColor(QPalette::Highlight, QColor(80, 200, 220));
    palette.setColor(QPalette::HighlightedText, Qt::black);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, dim);
    }
    return palette;
}

QLabel* label(const QString& text, QWidget* parent, QRect where) {
    auto* shown = new QLabel(text, parent);
    shown->setGeometry(where);
    return shown;
}

}  // namespace

ExportClipServices ExportClipServices::defaults() {
    ExportClipServices services;
    services.askFile = [](QWidget* parent, const QString& suggested) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Save the clip as"), suggested,
                                            QStringLiteral("MP4 video (*.mp4)"));
    };
    services.openFolder = [](const QString& folder) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
    return services;
}

std::vector<media::ExportRecording> exportableRecordings(const std::string& frontPath) {
    auto first = media::recordingAt(frontPath);
    if (!first) {
        return {};
    }
    return media::continuedRecordings(std::move(*first), CExportClipDlg::kLongestSpanNs);
}

CExportClipDlg::CExportClipDlg(QWidget* owner, std::vector<media::ExportRecording> recordings,
                               std::int64_t positionNs, ExportClipServices services)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      m_recordings(std::move(recordings)),
      m_positionNs(positionNs),
      m_limitNs(media::spanLimitNs(m_recordings)),
      m_services(std::move(services)),
      m_doneNs(std::make_shared<std::atomic<std::int64_t>>(0)) {
    setWindowTitle(QStringLiteral("Export clip"));
    setPalette(darkPalette());
    setAutoFillBackground(true);
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildControls(m_recordings.front().hasSound);
    std::vector<std::int64_t> joints;
    std::int64_t jointNs = 0;
    for (std::size_t k = 0; k + 1 < m_recordings.size(); ++k) {
        jointNs += m_recordings[k].durationNs;
        if (jointNs >= m_limitNs) {
            break;
        }
        joints.push_back(jointNs);
    }
    m_bar->setRange(m_limitNs, std::move(joints));
    m_bar->setPosition(m_positionNs);
    const std::int64_t position = std::clamp<std::int64_t>(positionNs, 0, m_limitNs);
    setSpan(position - kAroundNs, position + kAroundNs);
    resize(kClientSize);
    if (owner != nullptr) {
        move(owner->window()->geometry().center() - rect().center());
    }
}

void CExportClipDlg::setSpan(std::int64_t fromNs, std::int64_t toNs) {
    // Whole tenths, clamped by the boxes' range.
    const auto tenths = [this](std::int64_t ns) {
        return std::round(static_cast<double>(std::clamp<std::int64_t>(ns, 0, m_limitNs)) / 1e8) /
               10;
    };
    m_start->setValue(tenths(fromNs));
    m_end->setValue(tenths(toNs));
    spanChanged();
}

void CExportClipDlg::setSpanTo(std::int64_t fromNs, const std::string& endPath,
                               std::int64_t endOffsetNs) {
    std::int64_t before = 0;  // how far into the clip's recordings endPath's starts
    for (const media::ExportRecording& recording : m_recordings) {
        if (recording.paths[0] == endPath) {
            setSpan(fromNs,
                    before + std::clamp<std::int64_t>(endOffsetNs, 0, recording.durationNs));
            return;
        }
        before += recording.durationNs;
    }
    setSpan(fromNs, m_limitNs);
}

CExportClipDlg::~CExportClipDlg() {
    m_export.reset();  // cancels and waits: the export removes its temporary file
}

void CExportClipDlg::buildControls(bool frontHasSound) {
    const QString name = QString::fromStdString(
        std::filesystem::path(m_recordings.front().paths[0]).filename().string());
    label(QStringLiteral("Recording:"), this, {12, 10, 80, 20});
    label(name, this, {92, 10, 356, 20})->setObjectName(QStringLiteral("exportRecording"));
    m_bar = new SpanBar(this);
    m_bar->setGeometry(12, 36, 436, 22);
    m_bar->setToolTip(QStringLiteral("The span (blue) and where playback was (red)"));

    // The limit rounded down to what the boxes show: rounded up, the last part of a recording
    // that ends a moment before a round second would be asked for and refused.
    const double limit = std::floor(static_cast<double>(m_limitNs) / 1e7) / 100;
    const auto spin = [&](int top) {
        auto* box = new QDoubleSpinBox(this);
        box->setGeometry(92, top, 110, 24);
        box->setDecimals(2);
        box->setRange(0, limit);
        box->setSingleStep(1.0);
        box->setSuffix(QStringLiteral(" s"));
        connect(box, &QDoubleSpinBox::valueChanged, this, &CExportClipDlg::spanChanged);
        return box;
    };
    label(QStringLiteral("Start:"), this, {12, 68, 80, 24});
    m_start = spin(68);
    m_startClock = label({}, this, {212, 68, 236, 24});
    label(QStringLiteral("End:"), this, {12, 98, 80, 24});
    m_end = spin(98);
    m_endClock = label({}, this, {212, 98, 236, 24});
    label(QStringLiteral("Length:"), this, {12, 128, 80, 22});
    m_length = label({}, this, {92, 128, 356, 22});
    m_length->setObjectName(QStringLiteral("exportLength"));

    label(QStringLiteral("Layout:"), this, {12, 160, 80, 24});
    m_layout = new QComboBox(this);
    m_layout->setGeometry(92, 160, 300, 24);
    for (const LayoutChoice& choice : kLayouts) {
        m_layout->addItem(QString::fromLatin1(choice.text));
    }
    m_layout->setObjectName(QStringLiteral("exportLayout"));
    label(QStringLiteral("Size:"), this, {12, 192, 80, 24});
    m_size = new QComboBox(this);
    m_size->setGeometry(92, 192, 150, 24);
    for (const SizeChoice& choice : kSizes) {
        m_size->addItem(QString::fromLatin1(choice.text));
    }
    m_size->setObjectName(QStringLiteral("exportSize"));
    m_overlay = new QCheckBox(QStringLiteral("Date, time and speed in the picture"), this);
    m_overlay->setGeometry(12, 224, 300, 22);
    m_overlay->setChecked(true);
    m_sound = new QCheckBox(QStringLiteral("Front camera's sound"), this);
    m_sound->setGeometry(12, 250, 300, 22);
    m_sound->setChecked(frontHasSound);
    m_sound->setEnabled(frontHasSound);
    if (!frontHasSound) {
        m_sound->setToolTip(QStringLiteral("The recording has no sound"));
    }

    m_progress = new QProgressBar(this);
    m_progress->setGeometry(12, 282, 436, 16);
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setObjectName(QStringLiteral("exportProgress"));
    m_status = label({}, this, {12, 300, 436, 50});
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_status->setWordWrap(true);
    m_status->setObjectName(QStringLiteral("exportStatus"));

    m_exportButton = new QPushButton(QStringLiteral("Export..."), this);
    m_exportButton->setGeometry(238, 354, 100, 28);
    connect(m_exportButton, &QPushButton::clicked, this, [this] {
        if (m_export) {
            cancelExport();
        } else {
            startExport();
        }
    });
    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setGeometry(348, 354, 100, 28);
    connect(m_close, &QPushButton::clicked, this, &CExportClipDlg::reject);
    for (QPushButton* button : {m_exportButton, m_close}) {
        button->setAutoDefault(false);
    }
}

void CExportClipDlg::spanChanged() {
    const std::int64_t fromNs = nsOf(m_start), toNs = nsOf(m_end);
    const core::RecordingName& name = m_recordings.front().name;
    m_startClock->setText(QString::fromStdString(media::momentText(name, fromNs)));
    m_endClock->setText(QString::fromStdString(media::momentText(name, toNs)));
    m_bar->setSpan(fromNs, toNs);
    if (toNs <= fromNs) {
        m_length->setText(QStringLiteral("The end must come after the start"));
    } else {
        std::size_t used = 1;
        for (std::int64_t endNs = m_recordings.front().durationNs;
             used < m_recordings.size() && endNs < toNs; ++used) {
            endNs += m_recordings[used].durationNs;
        }
        m_length->setText(QStringLiteral("%1 s%2").arg(
            secondsText(toNs - fromNs),
            used > 1 ? QStringLiteral(" (from %1 recordings)").arg(used) : QString()));
    }
    if (!m_export) {
        m_exportButton->setEnabled(toNs > fromNs);
    }
}

media::ExportRequest CExportClipDlg::request(const std::string& outPath) const {
    media::ExportRequest request;
    request.recordings = m_recordings;
    request.fromNs = nsOf(m_start);
    request.toNs = nsOf(m_end);
    request.layout = kLayouts[std::max(0, m_layout->currentIndex())].layout;
    const SizeChoice& size = kSizes[std::max(0, m_size->currentIndex())];
    request.width = size.width;
    request.height = size.height;
    request.overlay = m_overlay->isChecked();
    request.sound = m_sound->isChecked();
    request.outPath = outPath;
    return request;
}

QString CExportClipDlg::suggestedPath() const {
    QString folder = QSettings().value(QString::fromLatin1(kFolderKey)).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        if (!QFileInfo(folder).isDir()) {
            folder = QDir::homePath();
        }
    }
    QString moment =
        QString::fromStdString(media::momentText(m_recordings.front().name, nsOf(m_start)));
    moment.replace(QLatin1Char(' '), QLatin1Char('_')).replace(QLatin1Char(':'), QLatin1Char('-'));
    return QDir(folder).filePath(QStringLiteral("clip_%1.mp4").arg(moment));
}

void CExportClipDlg::startExport() {
    if (m_export) {
        return;
    }
    const media::ExportRequest asked = request({});
    // A span the recordings cannot give is said before the user picks a file.
    const auto plan = media::planSpan(asked.recordings, asked.fromNs, asked.toNs);
    if (const auto* why = std::get_if<std::string>(&plan)) {
        m_status->setText(QStringLiteral("Cannot export: %1").arg(QString::fromStdString(*why)));
        return;
    }
    QString path = m_services.askFile ? m_services.askFile(this, suggestedPath()) : QString();
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".mp4");
    }
    QSettings().setValue(QString::fromLatin1(kFolderKey), QFileInfo(path).absolutePath());

    m_totalNs = std::get<media::SpanPlan>(plan).durationNs;
    m_doneNs->store(0);
    m_export = std::make_unique<media::ClipExport>(request(path.toStdString()));
    setControlsEnabled(false);
    m_progress->setValue(0);
    m_status->setText(QStringLiteral("Exporting to %1 ...").arg(path));
    const std::shared_ptr<std::atomic<std::int64_t>> done = m_doneNs;
    m_export->start([done](const media::ExportProgress& p) { done->store(p.doneNs); },
                    [this](const media::ExportResult& result) {
                        // On the export's thread: handed to the dialog's.
                        QMetaObject::invokeMethod(
                            this, [this, result] { exportDone(result); }, Qt::QueuedConnection);
                    });
    m_progressTimer.start(100, this);
}

void CExportClipDlg::cancelExport() {
    if (m_export) {
        m_status->setText(QStringLiteral("Cancelling ..."));
        m_export->cancel();
    }
}

void CExportClipDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_progressTimer.timerId()) {
        QDialog::timerEvent(event);
        return;
    }
    if (m_totalNs > 0) {
        m_progress->setValue(static_cast<int>(
            std::clamp<std::int64_t>(m_doneNs->load() * 1000 / m_totalNs, 0, 1000)));
    }
}

void CExportClipDlg::exportDone(const media::ExportResult& result) {
    if (!m_export) {
        return;
    }
    m_export->wait();
    m_export.reset();
    m_progressTimer.stop();
    setControlsEnabled(true);
    spanChanged();
    const QString file = QString::fromStdString(result.outPath);
    if (result.ok) {
        m_progress->setValue(1000);
        QString text =
            QStringLiteral("Saved %1: %2 s from %3 recording(s), %4 s to export.")
                .arg(file, secondsText(result.durationNs))
                .arg(result.recordingsUsed.size())
                .arg(QString::number(static_cast<double>(result.wallMs) / 1000.0, 'f', 1));
        for (const std::string& note : result.leftOut) {
            text += QStringLiteral(" Left out: %1.").arg(QString::fromStdString(note));
        }
        m_status->setText(text);
    } else if (result.cancelled) {
        m_progress->setValue(0);
        m_status->setText(QStringLiteral("Export cancelled: no file was written."));
    } else {
        m_progress->setValue(0);
        m_status->setText(
            QStringLiteral("Export failed: %1").arg(QString::fromStdString(result.error)));
    }
    emit exportEnded(result.ok);
    if (m_closeWhenDone) {
        QDialog::reject();
        return;
    }
    if (result.ok) {
        const int answer = showMessageBox(
            this, QStringLiteral("Clip saved as %1.\nOpen the folder that holds it?").arg(file),
            MessageIcon::Question, MessageButtons::YesNo);
        if (answer == kIdYes && m_services.openFolder) {
            m_services.openFolder(QFileInfo(file).absolutePath());
        }
    } else if (!result.cancelled) {
        showMessageBox(this, m_status->text(), MessageIcon::Error);
    }
}

void CExportClipDlg::setControlsEnabled(bool enabled) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_start, m_end, m_layout, m_size, m_overlay}) {
        control->setEnabled(enabled);
    }
    m_sound->setEnabled(enabled && m_recordings.front().hasSound);
    m_exportButton->setText(enabled ? QStringLiteral("Export...") : QStringLiteral("Cancel"));
    m_exportButton->setEnabled(true);
}

void CExportClipDlg::reject() {
    // Escape or Close during an export stops it; the dialog goes once the file is removed.
    if (m_export) {
        m_closeWhenDone = true;
        cancelExport();
        return;
    }
    QDialog::reject();
}

}  // namespace qelv::ui
