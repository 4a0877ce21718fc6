// The folder picker: the file dialog in directory mode with a "Folder &name:" drop-down of
// recently used folders and its own "OK" button. The history and the view mode (list or
// details) are kept in the user's settings between runs.
#pragma once

#include <memory>

#include <QFileDialog>
#include <QPushButton>
#include <QSettings>
#include <QString>

#include "skin/history_combo.h"

namespace qelv::ui {

class CXFolderDialog : public QFileDialog {
    Q_OBJECT
public:
    // The view-mode commands kept under "XFolderDialog/ViewMode".
    static constexpr int kViewDetails = 28747;
    static constexpr int kViewList = 28753;

    // `settings` holds the history and the view mode; it must outlive the dialog.
    CXFolderDialog(QSettings& settings, const QString& initialFolder, QWidget* parent = nullptr,
                   const QString& title = QString());
    ~CXFolderDialog() override;

    // Runs modally: 1 when a folder was confirmed, 2 when cancelled.
    int run();
    // The confirmed folder.
    const QString& folder() const { return m_folder; }

    CHistoryCombo* history() const { return m_history; }
    QPushButton* okButton() const { return m_ok; }
    // What "OK" does: checks the folder (a message box when it is empty or not accessible),
    // saves the history and ends the dialog with OK. False when the dialog stays open.
    bool confirm();
    // The file dialog's own acceptance (Enter in its fields) takes the same road as "OK".
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildFolderRow();
    void applyViewMode();
    void goToTypedFolder();

    QSettings& m_settings;
    CHistoryCombo* m_history = nullptr;
    QPushButton* m_ok = nullptr;
    QString m_folder;
    QString m_selected;
};

}  // namespace qelv::ui
