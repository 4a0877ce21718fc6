// The "INCIDENTS" view of the recording list: every hard braking, impact and swerve of the
// current source's recordings, most severe first, with its date, time, kind and severity. The
// scan runs on a worker thread while the list fills; a progress bar and Cancel show under the
// list, and a double-click (or Enter) on a row asks for the recording at that moment.
#pragma once

#include <QBasicTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "events/incident_scan.h"
#include "skin/skin_list_ctrl.h"
#include "storage/recording_catalogue.h"

namespace qelv::ui {

class CIncidentsView : public QWidget {
    Q_OBJECT
public:
    // The list takes the same place as the recording list.
    explicit CIncidentsView(QWidget* parent);
    ~CIncidentsView() override;

    // Stops any scan and scans every recording of the catalogue's current source (the open
    // card stays open until the scan was stopped: see forget).
    void scan(core::RecordingCatalogue& catalogue, const events::Thresholds& thresholds);
    // Stops a scan under way; what it found stays listed.
    void stop();
    // Stops and empties the view: the source is about to change.
    void forget();
    // Something was scanned since the last forget (the scan may have been stopped before its
    // end: see complete).
    bool scanned() const { return m_scanned; }
    bool complete() const { return m_scan.complete(); }
    bool scanning() const { return m_scan.running(); }

    struct Row {
        std::size_t entry;  // index into the catalogue's entries
        events::Incident incident;
        bool unfinished;
        QString date;  // "YYYY-MM-DD" of the incident on the recorder's clock, "-" unknown
        QString time;  // "HH:MM:SS", or "+M:SS" into the recording without a date
        // When it happened on the recorder's clock (ms since 1970), for the order of equally
        // severe ones; those of recordings without a date after all the others.
        std::int64_t atMs;
    };
    // In list order.
    const std::vector<Row>& rows() const { return m_rows; }

    CSkinListCtrl* list() const { return m_list; }
    QProgressBar* progress() const { return m_progress; }
    QPushButton* button() const { return m_button; }
    QLabel* status() const { return m_status; }

    // Takes what the scan found so far into the list (the view's timer does it every 100 ms).
    void takeFound();

signals:
    // A row was double-clicked: the catalogue entry and the incident's first second.
    void incidentChosen(qulonglong entry, quint32 startMs);
    // Scan again (the button after a scan ended or was cancelled).
    void rescanRequested();

protected:
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refill();
    void choose(int row);
    void showProgress();

    events::IncidentScan m_scan;
    // The file names of the scanned entries, by entry index (rows outlive a catalogue that
    // changed only through forget).
    std::vector<std::string> m_names;
    std::vector<Row> m_rows;
    bool m_scanned = false;
    QBasicTimer m_poll;
    int m_pollsSinceRefill = 0;
    bool m_hasNew = false;  // found rows not listed yet
    CSkinListCtrl* m_list;
    QProgressBar* m_progress;
    QLabel* m_status;
    QPushButton* m_button;
};

}  // namespace qelv::ui
