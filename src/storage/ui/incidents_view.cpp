#include "storage/ui/incidents_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QTimerEvent>
#include <algorithm>
#include <limits>
#include <tuple>

#include "storage/recording_name.h"
#include "telemetry/telemetry_files.h"

namespace qelv::ui {

namespace {

constexpr int kPollMs = 100;
constexpr std::size_t kRowsForSlowRefill = 2000;
constexpr int kPollsPerSlowRefill = 10;
constexpr int kStatusHeight = 20;
constexpr int kButtonWidth = 64;

QString kindText(events::IncidentKind kind) {
    switch (kind) {
        case events::IncidentKind::HardBraking:
            return QStringLiteral("Braking");
        case events::IncidentKind::Impact:
            return QStringLiteral("Impact");
        case events::IncidentKind::Swerve:
            return QStringLiteral("Swerve");
    }
    return {};
}

// Where the incident happened on the recorder's clock, split into date and time.
std::pair<QString, QString> momentOf(const std::string& fileName, std::uint32_t startMs) {
    if (const auto start = core::startSecondsOf(fileName)) {
        const QString text =
            QString::fromStdString(core::recorderClockText(*start + startMs / 1000));
        return {text.left(10), text.mid(11)};
    }
    const std::uint32_t seconds = startMs / 1000;
    return {QStringLiteral("-"),
            QStringLiteral("+%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'))};
}

QString speedText(double kmh) {
    return kmh < 0 ? QStringLiteral("?") : QString::number(kmh, 'f', 0);
}

const QString kButtonStyle = QStringLiteral(
    "QPushButton { color: rgb(158,176,187); background: rgb(40,44,56); border: 1px solid "
    "rgb(80,88,110); } QPushButton:pressed { background: rgb(115,122,165); }");
const QString kBarStyle = QStringLiteral(
    "QProgressBar { color: rgb(229,229,229); background: black; border: 1px solid rgb(80,88,110);"
    " text-align: center; } QProgressBar::chunk { background: rgb(115,122,165); }");

}  // namespace

CIncidentsView::CIncidentsView(QWidget* parent)
    : QWidget(parent),
      m_list(new CSkinListCtrl(this)),
      m_progress(new QProgressBar(this)),
      m_status(new QLabel(this)),
      m_button(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("incidentsView"));
    m_list->setObjectName(QStringLiteral("incidentList"));
    m_list->setColumns({QStringLiteral("DATE"), QStringLiteral("TIME"), QStringLiteral("KIND"),
                        QStringLiteral("SEV.")},
                       {96, 70, 70, 54});
    m_progress->setStyleSheet(kBarStyle);
    m_progress->setFormat(QStringLiteral("%v / %m"));
    m_status->setStyleSheet(QStringLiteral("color: rgb(158,176,187);"));
    m_button->setStyleSheet(kButtonStyle);
    m_button->setFocusPolicy(Qt::NoFocus);
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_scan.running()) {
            stop();
        } else {
            emit rescanRequested();
        }
    });
    m_list->viewport()->installEventFilter(this);
    m_list->installEventFilter(this);
    showProgress();
}

CIncidentsView::~CIncidentsView() = default;

void CIncidentsView::choose(int row) {
    if (row >= 0 && static_cast<std::size_t>(row) < m_rows.size()) {
        const Row& chosen = m_rows[static_cast<std::size_t>(row)];
        emit incidentChosen(chosen.entry, chosen.incident.startMs);
    }
}

bool CIncidentsView::eventFilter(QObject* watched, QEvent* event) {
    // A double-click on a row, or Enter on the focused one, plays it (the list's own
    // activation needs the press of a double-click to have landed on the same row).
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            choose(m_list->indexOfTopLevelItem(m_list->itemAt(mouse->position().toPoint())));
            return true;
        }
    } else if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            choose(m_list->focusedRow());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CIncidentsView::resizeEvent(QResizeEvent* event) {
    const int w = event->size().width();
    const int h = event->size().height();
    m_list->setGeometry(0, 0, w, h - kStatusHeight - 4);
    const int top = h - kStatusHeight;
    m_progress->setGeometry(0, top, w - kButtonWidth - 6, kStatusHeight);
    m_status->setGeometry(2, top, w - kButtonWidth - 8, kStatusHeight);
    m_button->setGeometry(w - kButtonWidth, top, kButtonWidth, kStatusHeight);
}

void CIncidentsView::scan(core::RecordingCatalogue& catalogue,
                          const events::Thresholds& thresholds) {
    forget();
    std::vector<events::ScanTarget> targets;
    const std::vector<core::RecordingEntry>& entries = catalogue.entries();
    m_names.assign(entries.size(), std::string());
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (core::isCompanionName(entries[k].fileName)) {
            continue;
        }
        m_names[k] = entries[k].fileName;
        targets.push_back({k, core::locationOf(catalogue, entries[k])});
    }
    m_scanned = true;
    m_scan.start(std::move(targets), thresholds);
    m_poll.start(kPollMs, this);
    showProgress();
}

void CIncidentsView::stop() {
    m_scan.stop();
    takeFound();
}

void CIncidentsView::forget() {
    m_scan.stop();
    m_scan.takeFound();
    m_poll.stop();
    m_rows.clear();
    m_hasNew = false;
    m_names.clear();
    m_list->clearRows();
    m_scanned = false;
    showProgress();
}

void CIncidentsView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_poll.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    takeFound();
}

void CIncidentsView::takeFound() {
    const bool ended = !m_scan.running();
    std::vector<events::ScannedIncident> found = m_scan.takeFound();
    for (const events::ScannedIncident& f : found) {
        const std::string& name = f.id < m_names.size() ? m_names[f.id] : std::string();
        auto [date, time] = momentOf(name, f.incident.startMs);
        const auto start = core::startSecondsOf(name);
        const std::int64_t atMs =
            (start ? *start * 1000 : std::numeric_limits<std::int64_t>::max() / 2) +
            f.incident.startMs;
        m_rows.push_back({f.id, f.incident, f.unfinished, date, time, atMs});
    }
    m_hasNew = m_hasNew || !found.empty();
    // A card of thousands of incidents is sorted and listed again once a second, not at every
    // look; what was found is all listed when the scan ends.
    ++m_pollsSinceRefill;
    if (m_hasNew && (ended || m_rows.size() < kRowsForSlowRefill ||
                     m_pollsSinceRefill >= kPollsPerSlowRefill)) {
        refill();
        m_hasNew = false;
        m_pollsSinceRefill = 0;
    }
    if (ended) {
        m_poll.stop();
    }
    showProgress();
}

void CIncidentsView::refill() {
    // Most severe first; equal ones in time order.
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) {
        return std::tie(b.incident.severity, a.atMs, a.entry) <
               std::tie(a.incident.severity, b.atMs, b.entry);
    });
    // The row the user is on stays selected while the list grows.
    const int focused = m_list->focusedRow();
    std::pair<std::size_t, std::uint32_t> keptKey{SIZE_MAX, 0};
    if (focused >= 0) {
        const QString entry = m_list->topLevelItem(focused)->data(0, Qt::UserRole).toString();
        const QStringList parts = entry.split(QLatin1Char(':'));
        if (parts.size() == 2) {
            keptKey = {parts[0].toULongLong(), parts[1].toUInt()};
        }
    }
    m_list->clearRows();
    int select = -1;
    for (const Row& r : m_rows) {
        const int row = m_list->addRow({r.date, r.time, kindText(r.incident.kind),
                                        QString::number(r.incident.severity, 'f', 2)});
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        item->setData(0, Qt::UserRole,
                      QStringLiteral("%1:%2").arg(r.entry).arg(r.incident.startMs));
        const std::string& name = r.entry < m_names.size() ? m_names[r.entry] : std::string();
        const QString tip =
            QStringLiteral("%1\nSpeed %2 -> %3 km/h%4")
                .arg(QString::fromStdString(name), speedText(r.incident.speedBeforeKmh),
                     speedText(r.incident.speedAfterKmh),
                     r.unfinished ? QStringLiteral("\nIndex never written") : QString());
        for (int column = 0; column < 4; ++column) {
            item->setToolTip(column, tip);
        }
        if (r.entry == keptKey.first && r.incident.startMs == keptKey.second) {
            select = row;
        }
    }
    if (select >= 0) {
        m_list->selectRow(select);
    }
}

void CIncidentsView::showProgress() {
    const bool running = m_scan.running();
    m_progress->setVisible(running);
    m_status->setVisible(!running);
    m_button->setText(running ? QStringLiteral("Cancel") : QStringLiteral("Rescan"));
    m_button->setEnabled(running || m_scanned);
    if (running) {
        m_progress->setRange(0, static_cast<int>(std::min<std::size_t>(m_scan.total(), INT32_MAX)));
        m_progress->setValue(static_cast<int>(std::min<std::size_t>(m_scan.done(), INT32_MAX)));
        return;
    }
    if (!m_scanned) {
        m_status->setText(QString());
        return;
    }
    QString text =
        QStringLiteral("%1 incidents in %2 recordings").arg(m_rows.size()).arg(m_scan.done());
    if (!m_scan.complete()) {
        text = QStringLiteral("Stopped: %1 of %2 recordings, %3 incidents")
                   .arg(m_scan.done())
                   .arg(m_scan.total())
                   .arg(m_rows.size());
    } else if (m_scan.skipped() > 0) {
        text += QStringLiteral(" (%1 unreadable)").arg(m_scan.skipped());
    }
    m_status->setText(text);
}

}  // namespace qelv::ui
