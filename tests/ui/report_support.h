// Helpers of the accident report tests: printing to PDF without a dialog, and reading the PDF
// back with poppler's tools (its text with word boxes, its picture at 50 DPI), and the
// SHA-256 of a file as sha256sum computes it.
#pragma once

#include <QImage>
#include <QMarginsF>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <vector>

namespace qelv::test {

inline constexpr int kToolTimeoutMs = 60000;

// Standard output of `program` with `arguments`; empty when it fails.
inline QString runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kToolTimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A PDF printer writing `path`: `pageInches` without margins, or A4 with the default margins
// when no size is given.
inline void printToPdf(QPrinter& printer, const QString& path, QSizeF pageInches = {}) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    if (pageInches.isValid()) {
        printer.setPageSize(QPageSize(pageInches, QPageSize::Inch, QStringLiteral("tall")));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0));
    } else {
        printer.setPageSize(QPageSize(QPageSize::A4));
    }
}

inline QString pdfText(const QString& pdf) {
    return runTool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
}

// One word of the PDF with its box in points from its page's top-left corner.
struct PdfWord {
    QString text;
    double xMin, yMin, xMax, yMax;
    int page;  // from 1
};

inline std::vector<PdfWord> pdfWords(const QString& pdf) {
    const QString html =
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">"
        "([^<]*)</word>"));
    std::vector<PdfWord> words;
    const QStringList pages = html.split(QStringLiteral("<page "));
    for (int page = 1; page < pages.size(); ++page) {
        for (auto it = word.globalMatch(pages[page]); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            words.push_back({m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(),
                             m.captured(3).toDouble(), m.captured(4).toDouble(), page});
        }
    }
    return words;
}

inline const PdfWord* findWord(const std::vector<PdfWord>& words, const QString& text) {
    for (const PdfWord& w : words) {
        if (w.text == text) {
            return &w;
        }
    }
    return nullptr;
}

// The first page at 50 DPI.
inline QImage pdfImage(const QString& pdf) {
    const QString base = pdf + QStringLiteral(".page");
    runTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("50"), QStringLiteral("-png"),
             QStringLiteral("-singlefile"), pdf, base});
    return QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// Pixels of `area` darker than near-white.
inline int inkedPixels(const QImage& image, QRect area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::min({c.red(), c.green(), c.blue()}) < 230) {
                ++n;
            }
        }
    }
    return n;
}

inline QString sha256sum(const QString& path) {
    return runTool(QStringLiteral("sha256sum"), {path}).section(QLatin1Char(' '), 0, 0);
}

}  // namespace qelv::test
