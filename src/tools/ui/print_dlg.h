// The accident report: the frame the user stopped at, a details form to fill in (vehicle
// number, type, date of the accident), "Print Start", which asks for a printer and prints the
// page (frame, map, details and the recording's file hashes; see report_page.h), and "Close".
// Return anywhere in the dialog adds a line to the form; neither Return nor Escape closes it.
#pragma once

#include <QImage>
#include <QPixmap>
#include <functional>
#include <memory>

#include "playback/playback_engine.h"
#include "skin/skin_button.h"
#include "skin/window_message.h"
#include "tools/ui/draggable_dialog.h"
#include "tools/ui/report_evidence.h"
#include "tools/ui/report_page.h"

class QPlainTextEdit;
class QPrinter;

namespace qelv::ui {

class CPrintDlg : public DraggableDialog, public MessageTarget {
    Q_OBJECT
public:
    static constexpr int kCloseId = 2384;
    static constexpr int kPrintStartId = 2385;
    // The frame picture and the part of it a print takes (the dialog's coordinates).
    static constexpr QRect kFrameRect{15, 74, 909, 524};
    static constexpr QRect kFrameGrabRect{15, 74, 908, 524};

    // The map pane's browser area, grabbed now; a null image when there is no map.
    using MapSource = std::function<QImage()>;
    // Lets the user choose the printer and sets `printer` up; false when the user cancels.
    using PrinterAsker = std::function<bool(QPrinter& printer, QWidget* parent)>;
    // The print dialog: all pages, no page numbers, no selection; "Print to File (PDF)" is
    // the way out on a machine without printers.
    static bool askPrinter(QPrinter& printer, QWidget* parent);
    // The form's text when the dialog opens.
    static QString initialForm();

    // Centred over `owner`'s window. Starts hashing the evidence's files at once.
    CPrintDlg(QWidget* owner, QImage frame, MapSource map, ReportEvidence evidence);
    ~CPrintDlg() override;

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;

    // Replaces the print dialog (tests, a fixed printer).
    void setPrinterAsker(PrinterAsker asker) { m_askPrinter = std::move(asker); }

    enum class PrintResult { Cancelled, Printed, Failed };
    // "Print Start": asks for the printer and prints one page with the form's current text
    // and fresh grabs of the frame and the map. A printer that cannot be started is reported
    // in a message box; the dialog stays open either way.
    PrintResult printReport();
    // The page a print would make now (waits for the hashes, with the wait cursor).
    ReportPage currentPage();
    bool evidenceReady() const { return m_hasher.done(); }

    QPlainTextEdit* form() const { return m_form; }
    CSkinButton* button(int id) const;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // A line break at the form's caret; a selection is let go of, not replaced.
    void breakLine();

    QImage m_frame;
    MapSource m_map;
    ReportEvidence m_evidence;
    EvidenceHasher m_hasher;
    PrinterAsker m_askPrinter = askPrinter;
    QPixmap m_background;
    QPlainTextEdit* m_form = nullptr;
    CSkinButton* m_close = nullptr;
    CSkinButton* m_printStart = nullptr;
};

// The report of the recording `engine` plays: the picture of `channel`, the map from `map`,
// and the files the engine opened (`recordingPath` is the recording's front file or name).
std::unique_ptr<CPrintDlg> makeAccidentReport(QWidget* owner, const media::PlaybackEngine& engine,
                                              int channel, const std::string& recordingPath,
                                              CPrintDlg::MapSource map);

// The picture channel `channel` shows now, from the engine's renderer (the one "Capture"
// saves); a null image when the engine has no such channel or no picture yet.
QImage currentFrameOf(const media::PlaybackEngine& engine, int channel);

}  // namespace qelv::ui
