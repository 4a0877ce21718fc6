#include "tools/ui/print_dlg.h"

#include <QCoreApplication>
#include <QThread>

#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>

#include "skin/message_box.h"
#include "skin/skin_bitmaps.h"
#include "skin/wait_cursor.h"

namespace qelv::ui {

namespace {

constexpr QSize kSize{936, 701};
constexpr int kBackground = 149;

bool isReturn(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

}  // namespace

bool CPrintDlg::askPrinter(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    return dialog.exec() == QDialog::Accepted;
}

QString CPrintDlg::initialForm() {
    return QStringLiteral(
        "1. Vehicle Number: \n \n2. Vehicle Type:\n \n3. Accident Happen Date:\n \n");
}

CPrintDlg::CPrintDlg(QWidget* owner, QImage frame, MapSource map, ReportEvidence evidence)
    : DraggableDialog(owner, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_frame(std::move(frame)),
      m_map(std::move(map)),
      m_evidence(std::move(evidence)),
      m_hasher(m_evidence.files),
      m_background(skinBitmapMasked(kBackground)) {
    setWindowTitle(QStringLiteral("Accident Report"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_close = CSkinButton::createImageButton(41, 20, this, QStringLiteral("Close"), kCloseId, 874,
                                             41, 151, 152, 150);
    m_printStart = CSkinButton::createImageButton(87, 606, this, QStringLiteral("Print Start"),
                                                  kPrintStartId, 820, 91, 154, 155, 153);
    m_form = new QPlainTextEdit(this);
    m_form->setObjectName(QStringLiteral("reportForm"));
    m_form->setGeometry(20, 605, 790, 88);
    m_form->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_form->setFrameShape(QFrame::Box);
    m_form->setPlainText(initialForm());
    m_form->installEventFilter(this);
    resize(kSize);
    if (owner != nullptr) {
        QWidget* main = owner->window();
        move(main->geometry().center() - QPoint(kSize.width() / 2, kSize.height() / 2));
    }
}

CPrintDlg::~CPrintDlg() = default;

CSkinButton* CPrintDlg::button(int id) const {
    return id == kCloseId ? m_close : id == kPrintStartId ? m_printStart : nullptr;
}

qintptr CPrintDlg::onMessage(unsigned message, qintptr wParam, qintptr) {
    if (message != kMsgButtonClicked) {
        return -1;
    }
    if (wParam == kCloseId) {
        done(1);
    } else if (wParam == kPrintStartId) {
        printReport();
    }
    return 0;
}

ReportPage CPrintDlg::currentPage() {
    ReportPage page;
    page.frame = grab(kFrameGrabRect).toImage();
    page.map = m_map ? m_map() : QImage();
    page.details = m_form->toPlainText();
    page.recordingName = m_evidence.recordingName;
    page.startTime = m_evidence.startTime;
    if (!m_hasher.done()) {
        // A long recording on a slow card: the window keeps painting while the last files are
        // hashed.
        const WaitCursor busy;
        while (!m_hasher.done()) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
            QThread::msleep(20);
        }
    }
    page.evidenceLines = m_hasher.lines();
    return page;
}

CPrintDlg::PrintResult CPrintDlg::printReport() {
    const QString details = m_form->toPlainText();
    QPrinter printer(QPrinter::HighResolution);
    if (!m_askPrinter || !m_askPrinter(printer, this)) {
        return PrintResult::Cancelled;
    }
    ReportPage page = currentPage();
    page.details = details;
    if (!printAccidentReport(printer, page, QSize(logicalDpiX(), logicalDpiY()))) {
        const QString target =
            printer.outputFileName().isEmpty()
                ? QStringLiteral("the printer \"%1\"").arg(printer.printerName())
                : QStringLiteral("the file \"%1\"").arg(printer.outputFileName());
        showMessageBox(
            this,
            QStringLiteral("The accident report was not printed: %1 could not be started.")
                .arg(target),
            MessageIcon::Error);
        return PrintResult::Failed;
    }
    return PrintResult::Printed;
}

void CPrintDlg::breakLine() {
    QTextCursor cursor = m_form->textCursor();
    cursor.clearSelection();
    cursor.insertText(QStringLiteral("\n"));
    m_form->setTextCursor(cursor);
    m_form->ensureCursorVisible();
}

bool CPrintDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_form && event->type() == QEvent::KeyPress &&
        isReturn(static_cast<QKeyEvent*>(event))) {
        breakLine();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// Return (from whichever control has the focus) goes to the form; Escape would end the
// report with the user's text in it, so it does nothing.
void CPrintDlg::keyPressEvent(QKeyEvent* event) {
    if (isReturn(event)) {
        breakLine();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CPrintDlg::event(QEvent* event) {
    return dispatchMessage(event) || QDialog::event(event);
}

void CPrintDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(16, 16, 16));
    painter.drawPixmap(0, 0, m_background);
    if (!m_frame.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(kFrameRect, m_frame);
    }
}

// The whole dialog drags the window.

QImage currentFrameOf(const media::PlaybackEngine& engine, int channel) {
    const media::PlaybackGraph* graph = engine.graph();
    media::Snapshot picture;
    if (graph == nullptr || !graph->hasChannel(channel) || !engine.snapshot(channel, picture) ||
        picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() < static_cast<std::size_t>(picture.width) *
                                    static_cast<std::size_t>(picture.height) * 4) {
        return {};
    }
    return QImage(picture.pixels.data(), picture.width, picture.height, picture.width * 4,
                  QImage::Format_RGB32)
        .copy();
}

}  // namespace qelv::ui

namespace qelv::ui {

std::unique_ptr<CPrintDlg> makeAccidentReport(QWidget* owner, const media::PlaybackEngine& engine,
                                              int channel, const std::string& recordingPath,
                                              CPrintDlg::MapSource map) {
    return std::make_unique<CPrintDlg>(owner, currentFrameOf(engine, channel), std::move(map),
                                       evidenceOfOpened(engine.openedSources(), recordingPath));
}

}  // namespace qelv::ui
