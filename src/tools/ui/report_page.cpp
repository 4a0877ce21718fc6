#include "tools/ui/report_page.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QTextLayout>
#include <algorithm>
#include <memory>

namespace qelv::ui {

namespace {

constexpr QPointF kFrameTopLeft{70, 110};
constexpr qreal kMapLeft = 70;  // top: the frame grab's height + 130
constexpr QSize kMapSize{299, 290};
constexpr int kEvidenceLargest = 10;
constexpr int kEvidenceSmallest = 5;

// Fonts are given by their cell height (ascent + descent), as the recorder's tools always
// sized them; Qt sizes by the em, so the em is scaled down to give that cell.
QFont reportFont(const QString& family, int cellHeight, bool bold) {
    QFont font(family);
    font.setBold(bold);
    font.setPixelSize(100);
    const qreal cell = QFontMetricsF(font).height();
    font.setPixelSize(std::max(1, qRound(cellHeight * 100 / std::max<qreal>(cell, 1))));
    return font;
}

// A heading: one line from the box's top-left corner, above the item it names (a heading
// centred in its 60-unit box would run into the picture below it).
void drawHeading(QPainter& painter, const QRectF& box, int cellHeight, const QString& text) {
    painter.setFont(reportFont(QStringLiteral("Arial"), cellHeight, true));
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

// `text` laid out in rows `width` wide with `wrap`, measured for `device`.
std::unique_ptr<QTextLayout> layOut(const QString& text, const QFont& font, qreal width,
                                    QTextOption::WrapMode wrap, QPaintDevice* device) {
    auto layout = std::make_unique<QTextLayout>(
        QString(text).replace(QLatin1Char('\n'), QChar::LineSeparator), font, device);
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(wrap);
    layout->setTextOption(option);
    layout->beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    return layout;
}

// Draws the rows of `layout` from `first` on that fit whole into `box`, the first at its top.
// Returns the first row left for a next box.
int drawRows(QPainter& painter, const QTextLayout& layout, int first, const QRectF& box) {
    if (first >= layout.lineCount()) {
        return first;
    }
    const qreal top = layout.lineAt(first).y();
    painter.save();
    painter.setClipRect(box);
    int row = first;
    for (; row < layout.lineCount(); ++row) {
        const QTextLine line = layout.lineAt(row);
        if (line.y() - top + line.height() > box.height() + 0.5) {
            break;
        }
        line.draw(&painter, box.topLeft() - QPointF(0, top));
    }
    painter.restore();
    // A row taller than the box is never drawn whole: it must not hold up the rows after it.
    return row == first ? first + 1 : row;
}

// The largest font up to kEvidenceLargest whose widest line fits `width`.
QFont evidenceFont(const QStringList& lines, qreal width) {
    QFont font(QStringLiteral("Arial"));
    for (int size = kEvidenceLargest; size >= kEvidenceSmallest; --size) {
        font.setPixelSize(size);
        const QFontMetricsF metrics(font);
        const bool fits = std::all_of(lines.begin(), lines.end(), [&](const QString& line) {
            return metrics.horizontalAdvance(line) <= width;
        });
        if (fits) {
            break;
        }
    }
    return font;
}

void drawEvidence(QPainter& painter, const ReportPage& page, qreal pageWidth) {
    QStringList lines;
    if (!page.recordingName.isEmpty()) {
        lines << QStringLiteral("Recording: %1").arg(page.recordingName);
        lines << QStringLiteral("Start time: %1")
                     .arg(page.startTime.isEmpty() ? QStringLiteral("unknown") : page.startTime);
    }
    lines << page.evidenceLines;
    if (lines.isEmpty()) {
        return;
    }
    QRectF box = kReportEvidenceBox;
    box.setWidth(std::max(box.width(), pageWidth - box.left() - 10));
    // Whole hashes stay on one line where the page allows; a line too long for the smallest
    // font wraps rather than losing digits.
    const auto layout =
        layOut(lines.join(QLatin1Char('\n')), evidenceFont(lines, box.width()), box.width(),
               QTextOption::WrapAtWordBoundaryOrAnywhere, painter.device());
    drawRows(painter, *layout, 0, box);
}

// The form's text, never cut: what the details box cannot take goes on over further pages
// (each started by `newPage`), a word too long for a row broken at the box's edge. False when
// a page could not be started.
bool drawDetails(QPainter& painter, const QString& text, const std::function<bool()>& newPage) {
    const auto details =
        layOut(text, reportFont(QStringLiteral("arial"), 14, true), kReportDetailsBox.width(),
               QTextOption::WrapAtWordBoundaryOrAnywhere, painter.device());
    // Rows after the last one with text (the form's closing line breaks) take no page.
    int rows = details->lineCount();
    while (rows > 0 &&
           text.mid(details->lineAt(rows - 1).textStart(), details->lineAt(rows - 1).textLength())
               .trimmed()
               .isEmpty()) {
        --rows;
    }
    int row = drawRows(painter, *details, 0, kReportDetailsBox);
    bool started = true;
    while (row < rows && (started = newPage())) {
        drawHeading(painter, QRectF(40, 20, 700, 40), 20, QStringLiteral("3.Details (continued)"));
        row = drawRows(painter, *details, row, kReportDetailsContinuedBox);
    }
    return started;
}

}  // namespace

bool paintAccidentReport(QPainter& painter, const ReportPage& page, qreal pageWidth,
                         const std::function<bool()>& newPage) {
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(Qt::black);
    qreal grabHeight = 524;
    if (!page.frame.isNull()) {
        // The grab's size in screen pixels: a high-density screen's grab holds more image
        // pixels than that.
        const QSizeF grab = QSizeF(page.frame.size()) / page.frame.devicePixelRatio();
        grabHeight = grab.height();
        const QRectF target(kFrameTopLeft, QSizeF(grab.width() - 200, grab.height() - 40));
        painter.drawImage(target, page.frame);
    }
    if (!page.map.isNull()) {
        // A grab of a high-density screen holds more pixels than the area: it is shown at the
        // area's size.
        painter.drawImage(QRectF(QPointF(kMapLeft, grabHeight + 130), QSizeF(kMapSize)), page.map);
    }
    drawHeading(painter, QRectF(250, 20, 400, 60), 40, QStringLiteral("Accident Report"));
    drawHeading(painter, QRectF(40, 80, 300, 60), 20, QStringLiteral("1.Video captuer"));
    drawHeading(painter, QRectF(40, 620, 300, 60), 20, QStringLiteral("2.Map"));
    drawHeading(painter, QRectF(40, 960, 300, 60), 20, QStringLiteral("3.Details"));
    drawEvidence(painter, page, pageWidth);
    const bool whole = drawDetails(painter, page.details, newPage);
    painter.restore();
    return whole;
}

QString reportJobName(const QDateTime& now) {
    const QDate date = now.date();
    const QTime time = now.time();
    return QStringLiteral("%1%2%3%4%5%6")
        .arg(date.year())
        .arg(date.month())
        .arg(date.day())
        .arg(time.hour())
        .arg(time.minute())
        .arg(time.second());
}

bool printAccidentReport(QPrinter& printer, const ReportPage& page, QSize screenDpi,
                         const QDateTime& now) {
    printer.setDocName(reportJobName(now));
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    qreal sx = printer.logicalDpiX() / qreal(std::max(1, screenDpi.width() + 5));
    qreal sy = printer.logicalDpiY() / qreal(std::max(1, screenDpi.height()));
    const qreal fit = std::min({qreal(1), printer.width() / (sx * kReportExtent.width()),
                                printer.height() / (sy * kReportExtent.height())});
    sx *= fit;
    sy *= fit;
    const QTransform scale = QTransform::fromScale(sx, sy);
    painter.setTransform(scale);
    const bool whole = paintAccidentReport(painter, page, printer.width() / sx, [&] {
        if (!printer.newPage()) {
            return false;
        }
        painter.setTransform(scale);
        return true;
    });
    return painter.end() && whole;
}

}  // namespace qelv::ui
