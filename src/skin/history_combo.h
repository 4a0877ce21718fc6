// The drop-down of recently used folders in the folder picker. The history lives in the user's
// settings: one key per folder, most recent first ("Folder0000", "Folder0001", ... in section
// "FolderHistory"), and the folder last confirmed under "Folder".
#pragma once

#include <QComboBox>
#include <QSettings>
#include <QString>

namespace qelv::ui {

class CHistoryCombo : public QComboBox {
    Q_OBJECT
public:
    explicit CHistoryCombo(QWidget* parent = nullptr);

    void setSection(const QString& section) { m_section = section; }
    void setKeyPrefix(const QString& prefix) { m_prefix = prefix; }
    void setCheckExistence(bool check) { m_checkExistence = check; }
    void setSaveLast(bool save) { m_saveLast = save; }
    // Entries beyond the new maximum are deleted.
    void setMaxHistory(int maximum);
    int maxHistory() const { return m_max; }
    void setDropDownCount(int count) { setMaxVisibleItems(count); }

    // Reads the numbered keys until one is empty or the maximum is reached (skipping folders
    // that no longer exist when the existence check is on), then the last-used entry: selected
    // when listed, put into the edit field otherwise.
    void loadHistory(QSettings& settings);
    // Puts the edit field's text (without surrounding blanks) on top, drops an older identical
    // entry and entries beyond the maximum, and selects the top entry.
    void addEditText();
    // addEditText, then writes one key per entry, deletes the numbered keys after them, and the
    // last-used entry.
    void saveHistory(QSettings& settings);

    QStringList entries() const;

private:
    QString lastKey() const;
    QString numberedKey(int index) const;

    QString m_section = QStringLiteral("FolderHistory");
    QString m_prefix = QStringLiteral("Folder");
    bool m_checkExistence = false;
    bool m_saveLast = true;
    int m_max = 100;
};

}  // namespace qelv::ui
