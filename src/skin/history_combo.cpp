#include "skin/history_combo.h"

#include <QFileInfo>
#include <QLineEdit>

namespace qelv::ui {

namespace {
// The numbered keys are deleted upward up to this index at most.
constexpr int kLastNumberedKey = 999;
}  // namespace

CHistoryCombo::CHistoryCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
}

void CHistoryCombo::setMaxHistory(int maximum) {
    m_max = maximum;
    while (count() > m_max) {
        removeItem(count() - 1);
    }
}

QString CHistoryCombo::lastKey() const {
    // The last-used entry has no name of its own: it is the prefix, or "Last" without one.
    return m_prefix.isEmpty() ? QStringLiteral("Last") : m_prefix;
}

QString CHistoryCombo::numberedKey(int index) const {
    return QStringLiteral("%1%2").arg(m_prefix).arg(index, 4, 10, QLatin1Char('0'));
}

QStringList CHistoryCombo::entries() const {
    QStringList list;
    for (int i = 0; i < count(); ++i) {
        list << itemText(i);
    }
    return list;
}

void CHistoryCombo::loadHistory(QSettings& settings) {
    clear();
    settings.beginGroup(m_section);
    for (int index = 0; index < m_max; ++index) {
        const QString value = settings.value(numberedKey(index)).toString();
        if (value.isEmpty()) {
            break;
        }
        if (!m_checkExistence || QFileInfo::exists(value)) {
            addItem(value);
        }
    }
    const QString last = settings.value(lastKey()).toString();
    settings.endGroup();
    const int found = findText(last, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found >= 0) {
        setCurrentIndex(found);
    } else {
        setCurrentIndex(-1);
        setEditText(last);
    }
}

void CHistoryCombo::addEditText() {
    const QString text = currentText().trimmed();
    if (text.isEmpty()) {
        return;
    }
    insertItem(0, text);
    for (int i = 1; i < count(); ++i) {
        if (itemText(i) == text) {
            removeItem(i);
            break;
        }
    }
    while (count() > m_max) {
        removeItem(count() - 1);
    }
    setCurrentIndex(0);
}

void CHistoryCombo::saveHistory(QSettings& settings) {
    addEditText();
    settings.beginGroup(m_section);
    int index = 0;
    for (; index < count() && index <= m_max; ++index) {
        settings.setValue(numberedKey(index), itemText(index));
    }
    for (; index <= kLastNumberedKey; ++index) {
        const QString key = numberedKey(index);
        if (settings.value(key).toString().isEmpty()) {
            break;
        }
        settings.remove(key);
    }
    if (m_saveLast) {
        settings.setValue(lastKey(), currentText());
    }
    settings.endGroup();
    settings.sync();
}

}  // namespace qelv::ui
