// The small modal dialog in which the user picks the source to read: one line per card drive
// found on the machine, then the line that opens a folder on the PC.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <functional>
#include <string>
#include <vector>

#include "storage/recording_catalogue.h"

namespace qelv::ui {

// Finds the drive list; the argument is the folder line's text.
using DriveLister = std::function<std::vector<core::SourceDrive>(const std::string&)>;

class CNSelectDriveDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kComboId = 1024;
    static constexpr int kCloseId = 1005;
    static constexpr int kCheckId = 1006;

    // Runs the drive discovery at once; its list becomes the catalogue's on "Check" only.
    CNSelectDriveDlg(QWidget* owner, core::RecordingCatalogue& catalogue,
                     const DriveLister& listDrives);

    // The chosen line after "Check": its index in the catalogue's drive list.
    int chosenIndex() const { return m_chosen; }
    QComboBox* driveCombo() const { return m_combo; }
    QPushButton* checkButton() const { return m_check; }
    QPushButton* closeButton() const { return m_close; }

    // The text a drive's line shows: its label without "(WYFS)".
    static QString lineText(const core::SourceDrive& drive);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    core::RecordingCatalogue& m_catalogue;
    std::vector<core::SourceDrive> m_drives;
    QComboBox* m_combo;
    QPushButton* m_close;
    QPushButton* m_check;
    int m_chosen = 0;
};

}  // namespace qelv::ui
