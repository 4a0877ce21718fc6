// "Export telemetry..." of the recording list: the GPS fixes and G-sensor samples of the
// selected recordings as GPX, KML or CSV files (the documents `qelv telemetry` prints), one
// file per recording in a folder the user picks, or one file that merges them in the order
// of their start times. A recording that cannot be read is named and the others are still
// written; a file that cannot be written is named and nothing of it is left.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QRadioButton>
#include <functional>
#include <optional>
#include <vector>

#include "storage/recording_catalogue.h"
#include "telemetry/telemetry_files.h"

namespace qelv::ui {

struct TelemetryExportChoice {
    core::TelemetryFormat format = core::TelemetryFormat::Gpx;
    bool merged = false;  // one file for all the recordings, or one file each
};

// Asks for the format and, for several recordings, one file each or one merged file.
class CTelemetryExportDlg : public QDialog {
    Q_OBJECT
public:
    CTelemetryExportDlg(QWidget* parent, int recordings);

    TelemetryExportChoice choice() const;
    QComboBox* formatBox() const { return m_format; }
    QRadioButton* eachButton() const { return m_each; }
    QRadioButton* mergedButton() const { return m_merged; }

private:
    QComboBox* m_format;
    QRadioButton* m_each;
    QRadioButton* m_merged;
};

// How the export asks the user; the defaults are the dialog above and the desktop's file and
// folder dialogs (the file dialog asks before a file is replaced).
struct TelemetryExportServices {
    // The choice for `recordings` recordings, or nothing when cancelled.
    std::function<std::optional<TelemetryExportChoice>(QWidget* parent, int recordings)> choose;
    // The file to write, or an empty text when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& suggestedPath,
                          const QString& filter)>
        askFile;
    // The folder for one file each, or an empty text when cancelled.
    std::function<QString(QWidget* parent, const QString& title)> askFolder;
    static TelemetryExportServices defaults();
};

// Exports the telemetry of the recordings shown at `rows` of the catalogue's list: asks what
// and where, writes, and tells the user what was written and what was not. False when no file
// was written (nothing to export, cancelled, or every read or write failed).
bool exportTelemetry(QWidget* parent, core::RecordingCatalogue& catalogue,
                     const std::vector<int>& rows, const TelemetryExportServices& services);

}  // namespace qelv::ui
