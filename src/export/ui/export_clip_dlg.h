// "Export clip": exports a span of the recording being played, with every camera in one
// picture, as an MP4 file. The user sets the start and the end (15 s either side of where
// playback was, the position marked on a bar that shows the recordings the span may run
// into), the layout, the picture size and whether the date, time and speed and the sound go
// in; "Export..." asks where to save, then the export runs in the background with a progress
// bar and Cancel while playback goes on. A cancelled or failed export leaves no file; a
// finished one offers to open the folder that holds it.
//
// The dialog is not modal. Closing it while an export runs cancels the export.
#pragma once

#include <QBasicTimer>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "export/clip_export.h"

namespace qelv::ui {

class SpanBar;

struct ExportClipServices {
    // Where to save: the save dialog; an empty text when the user cancelled.
    std::function<QString(QWidget* parent, const QString& suggestedPath)> askFile;
    // Opens the folder holding a finished clip in the desktop's file manager.
    std::function<void(const QString& folder)> openFolder;
    // The viewer's services: the save dialog, the desktop's file manager.
    static ExportClipServices defaults();
};

class CExportClipDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr std::int64_t kAroundNs = 15 * media::kNsPerSecond;
    // How far past the recording's start the dialog looks for recordings that continue it.
    static constexpr std::int64_t kLongestSpanNs = 30 * 60 * media::kNsPerSecond;

    // `recordings[0]` is the recording being played, the rest the ones that continue it;
    // `positionNs` where playback is in it.
    CExportClipDlg(QWidget* owner, std::vector<media::ExportRecording> recordings,
                   std::int64_t positionNs, ExportClipServices services);
    // Cancels a running export and waits for it to remove what it wrote.
    ~CExportClipDlg() override;

    // Sets the span to export, [fromNs, toNs) from the first recording's start, in whole
    // tenths of a second within what the dialog allows.
    void setSpan(std::int64_t fromNs, std::int64_t toNs);
    // The same with the end `endOffsetNs` into the recording whose front file is `endPath` (one
    // that follows the first), counted along the recordings the clip joins; the furthest end
    // the dialog allows when that recording is not among them.
    void setSpanTo(std::int64_t fromNs, const std::string& endPath, std::int64_t endOffsetNs);

    // The recording the dialog exports from (its front file).
    const std::string& frontPath() const { return m_recordings.front().paths[0]; }
    bool exporting() const { return m_export != nullptr; }
    std::int64_t limitNs() const { return m_limitNs; }

    QDoubleSpinBox* startBox() const { return m_start; }
    QDoubleSpinBox* endBox() const { return m_end; }
    QComboBox* layoutBox() const { return m_layout; }
    QComboBox* sizeBox() const { return m_size; }
    QCheckBox* overlayBox() const { return m_overlay; }
    QCheckBox* soundBox() const { return m_sound; }
    QPushButton* exportButton() const { return m_exportButton; }
    QPushButton* closeButton() const { return m_close; }
    QProgressBar* progressBar() const { return m_progress; }
    QLabel* statusLine() const { return m_status; }
    SpanBar* spanBar() const { return m_bar; }

    // The request the dialog's controls describe, to be written to `outPath`.
    media::ExportRequest request(const std::string& outPath) const;
    // "Export...": checks the span, asks for the file and starts the export.
    void startExport();
    // Asks the running export to stop.
    void cancelExport();

signals:
    // An export ended: it wrote the clip, was cancelled, or failed.
    void exportEnded(bool ok);

protected:
    void reject() override;
    void timerEvent(QTimerEvent* event) override;

private:
    void buildControls(bool frontHasSound);
    void spanChanged();
    QString suggestedPath() const;
    void exportDone(const media::ExportResult& result);
    void setControlsEnabled(bool enabled);

    std::vector<media::ExportRecording> m_recordings;
    std::int64_t m_positionNs;
    std::int64_t m_limitNs;
    ExportClipServices m_services;

    SpanBar* m_bar = nullptr;
    QDoubleSpinBox* m_start = nullptr;
    QDoubleSpinBox* m_end = nullptr;
    QLabel* m_startClock = nullptr;
    QLabel* m_endClock = nullptr;
    QLabel* m_length = nullptr;
    QComboBox* m_layout = nullptr;
    QComboBox* m_size = nullptr;
    QCheckBox* m_overlay = nullptr;
    QCheckBox* m_sound = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_exportButton = nullptr;
    QPushButton* m_close = nullptr;

    std::unique_ptr<media::ClipExport> m_export;
    // Written by the export's streaming thread, read by the progress timer.
    std::shared_ptr<std::atomic<std::int64_t>> m_doneNs;
    std::int64_t m_totalNs = 0;
    QBasicTimer m_progressTimer;
    bool m_closeWhenDone = false;
};

// The recordings a span of the recording whose front file is `frontPath` may use, as the
// dialog needs them: it and the ones that continue it, up to kLongestSpanNs. Empty when the
// file cannot be read as a recording.
std::vector<media::ExportRecording> exportableRecordings(const std::string& frontPath);

}  // namespace qelv::ui
