#include "tools/ui/wyfs_formatter_dlg.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QTextDocument>
#include <algorithm>

#include "skin/message_box.h"

namespace qelv::ui {

namespace {

constexpr QSize kClientSize{440, 420};
constexpr int kRowTop = 98;
constexpr int kRowStep = 42;

const QString kBarStyle = QStringLiteral(
    "QProgressBar { border: 1px solid rgb(120, 120, 120); background: %1; }"
    "QProgressBar::chunk { background: rgb(80, 200, 220); }");

// What the list shows of a drive: its root, with " (WYFS)" cut to a trailing blank.
QString shownLabel(const core::SourceDrive& drive) {
    return QString::fromStdString(drive.label).remove(QStringLiteral("(WYFS)"));
}

// The root of a drive: the mount point of a FAT card, the device of a WyFS card.
std::string rootOf(const core::SourceDrive& drive) {
    return drive.kind == core::SourceKind::WyfsDrive ? drive.devicePath : drive.label;
}

bool isCard(const core::SourceDrive& drive) {
    return drive.kind == core::SourceKind::FatDrive || drive.kind == core::SourceKind::WyfsDrive;
}

// Keys that would close the dialog or press a button without the mouse.
bool isSwallowedKey(const QKeyEvent* key) {
    switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_Space:
        case Qt::Key_Cancel:
            return true;
        default:
            return key->key() == Qt::Key_Pause && key->modifiers().testFlag(Qt::ControlModifier);
    }
}

// A label that shows a long text (a card's deep mount point) cut in the middle, and the whole
// text as its tooltip; text() stays the whole text.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, width()));
    }
};

}  // namespace

CWYFSFormatterDlg::CWYFSFormatterDlg(QWidget* owner, StorageDlgServices services)
    : DraggableDialog(owner, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                                 Qt::WindowTitleHint),
      m_services(std::move(services)) {
    setWindowTitle(QStringLiteral("STORAGE INFORMATION"));
    buildControls();
    m_names[3]->setText(QStringLiteral("Manual"));
    resize(kClientSize.width(), kClientSize.height() + 20);
    if (owner != nullptr) {
        move(owner->window()->geometry().center() - rect().center());
    }
    startTimer(10);  // the first reading of the drives, once the dialog is up
    if (m_services.watch) {
        m_services.watch(*this);
    }
}

void CWYFSFormatterDlg::buildControls() {
    auto* info = new QGroupBox(QStringLiteral("Storage Info"), this);
    info->setGeometry(10, 8, 420, 270);
    auto* format = new QGroupBox(QStringLiteral("Format"), this);
    format->setGeometry(10, 286, 420, 88);

    m_list = new QComboBox(this);
    m_list->setGeometry(22, 32, 240, 24);
    connect(m_list, &QComboBox::activated, this, [this](int index) {
        m_selected = index;
        selectCard(index);
    });
    auto* label = new QLabel(QStringLiteral("Storage Capacity  :"), this);
    label->setGeometry(22, 64, 120, 22);
    m_capacity = new ElidedLabel(QStringLiteral("NO Selected Storage"), this);
    m_capacity->setGeometry(142, 64, 280, 22);
    for (std::size_t i = 0; i < 4; ++i) {
        const int top = kRowTop + static_cast<int>(i) * kRowStep;
        m_names[i] = new QLineEdit(this);
        m_names[i]->setReadOnly(true);
        m_names[i]->setGeometry(22, top, 80, 22);
        m_bars[i] = new QProgressBar(this);
        m_bars[i]->setGeometry(110, top, 200, 20);
        m_bars[i]->setTextVisible(false);
        m_bars[i]->setRange(0, 1);
        m_bars[i]->setValue(0);
        m_bars[i]->setStyleSheet(
            kBarStyle.arg(i == 0 ? QStringLiteral("rgb(255, 0, 0)") : QStringLiteral("white")));
        m_percents[i] = new QLabel(QStringLiteral("0% used"), this);
        m_percents[i]->setGeometry(318, top, 100, 20);
        m_totals[i] = new QLabel(QStringLiteral("0 MB"), this);
        m_totals[i]->setGeometry(110, top + 21, 310, 18);
    }
    m_format = new QPushButton(QStringLiteral("Format"), this);
    m_format->setGeometry(22, 310, 90, 28);
    connect(m_format, &QPushButton::clicked, this, &CWYFSFormatterDlg::formatPressed);
    m_status = new QLabel(QStringLiteral("Ready..."), this);
    m_status->setTextFormat(Qt::PlainText);  // it names cards by mount paths, which hold anything
    m_status->setGeometry(122, 304, 300, 40);
    m_status->setWordWrap(true);
    m_busy = new QProgressBar(this);
    m_busy->setGeometry(122, 348, 296, 14);
    m_busy->setTextVisible(false);
    m_busy->setRange(0, 0);  // moves while a format runs: how long it takes is not known
    m_busy->hide();
    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setGeometry(340, 384, 90, 28);
    connect(m_close, &QPushButton::clicked, this, &CWYFSFormatterDlg::closePressed);
    for (QPushButton* button : {m_format, m_close}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    const std::pair<QWidget*, int> ids[] = {{m_list, kDriveList}, {m_capacity, kCapacity},
                                            {m_format, kFormat},  {m_close, kClose},
                                            {m_status, kStatus},  {m_busy, kBusy}};
    for (const auto& [widget, id] : ids) {
        widget->setObjectName(QStringLiteral("control%1").arg(id));
    }
    for (std::size_t i = 0; i < 4; ++i) {
        m_names[i]->setObjectName(QStringLiteral("control%1").arg(kNames[i]));
        m_bars[i]->setObjectName(QStringLiteral("control%1").arg(kBars[i]));
        m_totals[i]->setObjectName(QStringLiteral("control%1").arg(kTotals[i]));
        m_percents[i]->setObjectName(QStringLiteral("control%1").arg(kPercents[i]));
    }
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
}

QWidget* CWYFSFormatterDlg::control(int id) const {
    return findChild<QWidget*>(QStringLiteral("control%1").arg(id));
}

void CWYFSFormatterDlg::timerEvent(QTimerEvent* event) {
    killTimer(event->timerId());
    reload();
}

void CWYFSFormatterDlg::reload() {
    m_drives.clear();
    if (m_services.discover) {
        for (core::SourceDrive& drive : m_services.discover()) {
            if (isCard(drive)) {
                m_drives.push_back(std::move(drive));
            }
        }
    }
    rebuildList();
    selectCard(m_selected);
}

void CWYFSFormatterDlg::rebuildList() {
    m_selected = 0;
    m_list->clear();
    for (const core::SourceDrive& drive : m_drives) {
        m_list->addItem(shownLabel(drive));
    }
    if (m_drives.empty()) {
        m_list->addItem(QString::fromLatin1(kNoCard));
        m_capacity->setText(QStringLiteral("No Selected storage"));
    }
    m_list->setCurrentIndex(0);
}

void CWYFSFormatterDlg::selectCard(int index) {
    if (index < 0 || index >= static_cast<int>(m_drives.size())) {
        m_totalMb = 0;
        showFigures(core::estimateStorage(0, core::CardFolderLister{}), false);
        return;
    }
    const core::SourceDrive& drive = m_drives[static_cast<std::size_t>(index)];
    const core::StorageCard card{rootOf(drive), drive.kind == core::SourceKind::WyfsDrive};
    const std::optional<core::StorageFigures> figures =
        m_services.figures ? m_services.figures(card) : std::nullopt;
    m_totalMb = figures ? figures->totalMb : 0;
    m_capacity->setText(
        figures
            ? QString::fromStdString(core::capacityText(card.path, m_totalMb))
            : QStringLiteral("%1 (capacity unreadable)").arg(QString::fromStdString(card.path)));
    // A tooltip that looks like markup is shown as markup; the mount path is shown as it is.
    m_capacity->setToolTip(Qt::convertFromPlainText(m_capacity->text(), Qt::WhiteSpaceNoWrap));
    m_namesShown = true;
    showFigures(figures ? *figures : core::estimateStorage(0, core::CardFolderLister{}), true);
    if (figures && !figures->unreadableFolders.empty()) {
        // The figures above are short of these folders' recordings.
        QStringList folders;
        for (const std::string& folder : figures->unreadableFolders) {
            folders << QString::fromStdString(folder);
        }
        showMessageBox(this,
                       QStringLiteral("These folders of %1 could not be read; their recordings "
                                      "are not counted:\n%2")
                           .arg(QString::fromStdString(card.path), folders.join(u'\n')),
                       MessageIcon::Error);
    }
}

void CWYFSFormatterDlg::showFigures(const core::StorageFigures& figures, bool card) {
    for (std::size_t i = 0; i < 4; ++i) {
        const core::CategoryUsage& usage = figures.categories[i];
        const std::string_view name = core::kStorageCategories[i].name;
        m_names[i]->setText(
            m_namesShown ? QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()))
                         : QString());
        m_totals[i]->setText(QString::fromStdString(usage.totalText));
        m_percents[i]->setText(QString::fromStdString(usage.percentText));
        // An empty range would make the bar run as a busy indicator.
        const int barMax = card ? std::max(usage.barMax, 1) : 1;
        m_bars[i]->setRange(0, barMax);
        m_bars[i]->setValue(card ? std::min(usage.barPosition, barMax) : 0);
    }
}

qintptr CWYFSFormatterDlg::onMessage(unsigned message, qintptr wParam, qintptr) {
    if (message == kMsgDriveChange) {
        drivesChanged();
        return 0;
    }
    if (message == kMsgFormatProgress) {
        formatStep(static_cast<int>(wParam));
        return 0;
    }
    return -1;
}

// Cards that came or went. The list is read again when a card came (after asking, unless the
// list was empty) or when the selected card went; another card going away changes nothing.
void CWYFSFormatterDlg::drivesChanged() {
    if (m_running || m_asking || !isVisible() || !m_services.discover) {
        return;
    }
    std::vector<core::SourceDrive> now = m_services.discover();
    std::erase_if(now, [](const core::SourceDrive& drive) { return !isCard(drive); });
    const auto listed = [](const std::vector<core::SourceDrive>& drives,
                           const core::SourceDrive& drive) {
        return std::find(drives.begin(), drives.end(), drive) != drives.end();
    };
    const bool selectedGone = !m_drives.empty() && m_selected >= 0 &&
                              m_selected < static_cast<int>(m_drives.size()) &&
                              !listed(now, m_drives[static_cast<std::size_t>(m_selected)]);
    const bool cameIn = std::any_of(now.begin(), now.end(), [&](const core::SourceDrive& drive) {
        return !listed(m_drives, drive);
    });
    if (selectedGone) {
        showMessageBox(this, QStringLiteral("Selected drive has been removed. Reload drive list"),
                       MessageIcon::Information);
        reload();
    } else if (cameIn) {
        if (!m_drives.empty() &&
            showMessageBox(this, QStringLiteral("NEW MEDIA or DRIVE detected.\nReload ?"),
                           MessageIcon::Question, MessageButtons::YesNo) != kIdYes) {
            return;
        }
        reload();
    }
}

void CWYFSFormatterDlg::formatPressed() {
    if (m_running || m_asking) {
        return;
    }
    // The card is the one selected when the user pressed "Format"; the list does not change
    // while the question is open, and the run formats that card whatever happens to the list.
    const bool card = m_selected >= 0 && m_selected < static_cast<int>(m_drives.size());
    if (card) {
        m_formatDrive = m_drives[static_cast<std::size_t>(m_selected)];
        m_formatTotalMb = m_totalMb;
    }
    m_asking = true;
    const int answer =
        showMessageBox(this, QStringLiteral("All data will be erased. Do you want to continue?"),
                       MessageIcon::Question, MessageButtons::OkCancel);
    m_asking = false;
    if (answer != kIdOk) {
        return;
    }
    enableControls(false);
    if (!card) {
        enableControls(true);  // nothing to format: the dialog stays usable
        return;
    }
    postMessage(this, kMsgFormatProgress, 0);
}

// The steps of a run, in the order their messages arrive: 0 starts it, 5 ends it.
void CWYFSFormatterDlg::formatStep(int code) {
    if (code == 0 && !m_running) {
        m_running = true;
        m_outcome.reset();
        m_status->setText(QStringLiteral("Format Started."));
        m_busy->show();
        const core::SourceDrive& drive = m_formatDrive;
        const QString device = QString::fromStdString(drive.devicePath);
        QPointer<CWYFSFormatterDlg> self(this);
        auto done = [self](const FormatOutcome& outcome) {
            if (self) {
                self->m_outcome = outcome;
                postMessage(self, kMsgFormatProgress, 5);
            }
        };
        if (m_formatTotalMb == 0) {
            done({false, QStringLiteral("Format not started: the size of %1 could not be read.")
                             .arg(QString::fromStdString(rootOf(drive)))});
        } else if (!m_services.format) {
            done({false, QStringLiteral("Format failed: formatting is not available here.")});
        } else {
            m_services.format(
                device,
                [self](const QString& text) {
                    if (self && self->m_running) {
                        self->m_status->setText(text);
                    }
                },
                done);
        }
        return;
    }
    if (code == 5 && m_running) {
        m_running = false;
        const FormatOutcome outcome =
            m_outcome.value_or(FormatOutcome{true, QString::fromLatin1(kCompleted)});
        m_status->setText(outcome.status);
        m_busy->hide();
        enableControls(true);
        if (!outcome.formatted) {
            showMessageBox(this, outcome.status, MessageIcon::Error);
        }
        if (m_closeRequested) {
            m_closing = true;
            accept();
        }
    }
}

void CWYFSFormatterDlg::closePressed() {
    if (m_running) {
        // Closing now would leave the card half formatted out of sight.
        m_closeRequested = true;
        m_close->setEnabled(false);
        m_status->setText(m_status->text() +
                          QStringLiteral("\nThe window closes when the format has finished."));
        return;
    }
    m_closing = true;
    accept();
}

void CWYFSFormatterDlg::enableControls(bool enable) {
    m_list->setEnabled(enable);
    for (QLineEdit* name : m_names) {
        name->setEnabled(enable);
    }
    m_format->setEnabled(enable && !m_running);
}

bool CWYFSFormatterDlg::event(QEvent* event) {
    return dispatchMessage(event) || QDialog::event(event);
}

bool CWYFSFormatterDlg::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        isSwallowedKey(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CWYFSFormatterDlg::keyPressEvent(QKeyEvent* event) {
    if (!isSwallowedKey(event)) {
        QDialog::keyPressEvent(event);
    }
}

// Only "Close" ends the dialog (not Alt+F4, not the window manager).
void CWYFSFormatterDlg::closeEvent(QCloseEvent* event) {
    event->setAccepted(m_closing);
}

}  // namespace qelv::ui
