#include "storage/ui/select_drive_dlg.h"

#include <QPainter>

#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/pane_frame.h"

namespace qelv::ui {

namespace {
const QString kButtonStyle = QStringLiteral(
    "QPushButton { color: rgb(229,229,229); background: rgb(40,44,56);"
    " border: 1px solid rgb(58,63,78); border-radius: 3px; }"
    "QPushButton:hover { border-color: rgb(80,200,220); }"
    "QPushButton:pressed { background: rgb(20,22,28); color: rgb(80,200,220); }");
}  // namespace

CNSelectDriveDlg::CNSelectDriveDlg(QWidget* owner, core::RecordingCatalogue& catalogue,
                                   const DriveLister& listDrives)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint),
      m_catalogue(catalogue),
      m_combo(new QComboBox(this)),
      m_close(new QPushButton(QStringLiteral("Close"), this)),
      m_check(new QPushButton(QStringLiteral("Check"), this)) {
    setWindowTitle(QStringLiteral("Select Drive"));
    setFixedSize(456, 182);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    m_combo->setObjectName(QStringLiteral("driveCombo"));
    m_combo->setGeometry(110, 90, 240, 30);
    m_close->setGeometry(382, 8, 65, 28);
    m_check->setGeometry(143, 130, 158, 36);
    m_close->setStyleSheet(kButtonStyle);
    m_check->setStyleSheet(kButtonStyle);
    m_check->setDefault(true);

    // The catalogue keeps its list until the user chooses: a cancelled dialog changes nothing.
    m_drives = listDrives ? listDrives(m_catalogue.folderSearchText()) : m_catalogue.drives();
    for (const core::SourceDrive& drive : m_drives) {
        m_combo->addItem(lineText(drive));
    }
    m_combo->setCurrentIndex(m_combo->count() > 0 ? 0 : -1);

    connect(m_check, &QPushButton::clicked, this, [this] {
        m_chosen = m_combo->currentIndex();
        m_catalogue.setDrives(m_drives);
        accept();
    });
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
}

QString CNSelectDriveDlg::lineText(const core::SourceDrive& drive) {
    QString text = QString::fromStdString(drive.label);
    text.remove(QStringLiteral("(WYFS)"));
    return text;
}

void CNSelectDriveDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintPaneFrame(painter, rect(), Qt::black, QStringLiteral("Select Drive"),
                   QRect(16, 12, 300, 20), 10);
    painter.setPen(QColor(158, 176, 187));
    painter.drawText(QRect(16, 50, 424, 30), Qt::AlignCenter,
                     QStringLiteral("Choose the recorder's card, or a folder on this computer."));
}

void CNSelectDriveDlg::showEvent(QShowEvent* event) {
    // Centred on the application's main window.
    if (QWidget* main = WindowRegistry::instance().find(kKeyMainWindow)) {
        move(main->geometry().center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

}  // namespace qelv::ui
