// The printed accident report: one page in units of the screen's pixels, with the frame the
// user looked at, the piece of map, the details form, and the lines that tie the page to the
// recording's files.
//
//   frame        (70, 110)  708 × 484   the dialog's frame rectangle, stretched
//   map          (70, 654)  299 × 290   the map pane's browser area
//   headings     "Accident Report" (250, 20, 400 × 60) Arial bold 40; "1.Video captuer"
//                (40, 80), "2.Map" (40, 620), "3.Details" (40, 960), 300 × 60, Arial bold 20
//   details      (50, 990)  700 × 400   the form's text, bold 14, wrapped at words (a word
//                                       longer than a row broken at the edge); what the
//                                       box cannot take goes on over further pages, under
//                                       "3.Details (continued)", in (50, 60) 700 × 1330
//   evidence     (400, 654) to the page's right edge, down to 940, small: the recording, its
//                start time, and one "SHA-256 <name>: <hex>" line per file
#pragma once

#include <QDateTime>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>

class QPainter;
class QPrinter;

namespace qelv::ui {

struct ReportPage {
    QImage frame;  // the dialog's frame rectangle, 908 × 524; null: nothing printed there
    QImage map;    // the map, 299 × 290; null: the area stays blank
    QString details;
    QString recordingName;  // empty: no recording lines
    QString startTime;
    QStringList evidenceLines;
};

inline constexpr QRectF kReportDetailsBox{50, 990, 700, 400};
inline constexpr QRectF kReportDetailsContinuedBox{50, 60, 700, 1330};
inline constexpr QRectF kReportEvidenceBox{400, 654, 380, 286};
// The extent the page's items need, in report units.
inline constexpr QSizeF kReportExtent{790, 1390};

// Paints the report in report units onto `painter` (already mapped), `pageWidth` units wide:
// the page, then, for the details the page cannot take, `newPage` and a page of them each
// time. False when `newPage` said no further page could be started.
bool paintAccidentReport(QPainter& painter, const ReportPage& page, qreal pageWidth,
                         const std::function<bool()>& newPage);

// The print job's name: year, month, day, hour, minute and second, no leading zeros.
QString reportJobName(const QDateTime& now);

// Prints the report as one job named after `now`. A report unit is one screen pixel: the
// screen's DPI (`screenDpi`, its horizontal DPI counted 5 more) maps onto the printer's. A
// page too small for the report's extent at that scale gets it shrunk evenly to fit, so that
// nothing of the form is lost beyond the paper's edge. False when the printer could not be
// started (nothing printed then) or a further page of the details could not.
bool printAccidentReport(QPrinter& printer, const ReportPage& page, QSize screenDpi,
                         const QDateTime& now = QDateTime::currentDateTime());

}  // namespace qelv::ui
