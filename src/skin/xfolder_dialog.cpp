#include "skin/xfolder_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "skin/message_box.h"

namespace qelv::ui {

namespace {
constexpr int kMaxHistory = 50;
constexpr int kDropDownCount = 20;
const QString kViewModeKey = QStringLiteral("XFolderDialog/ViewMode");

bool accessibleFolder(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}
// The grid row of the dialog's (hidden) name field, beside its buttons; a new row below the
// others when the dialog has none.
int nameRowOf(QGridLayout& grid, QWidget* nameField) {
    const int index = nameField != nullptr ? grid.indexOf(nameField) : -1;
    if (index < 0) {
        return grid.rowCount();
    }
    int row = 0;
    int column = 0;
    int rowSpan = 0;
    int columnSpan = 0;
    grid.getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    return row;
}
}  // namespace

CXFolderDialog::CXFolderDialog(QSettings& settings, const QString& initialFolder, QWidget* parent,
                               const QString& title)
    : QFileDialog(parent), m_settings(settings) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::Directory);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilter(QStringLiteral("Files (*.mp4)"));
    setSizeGripEnabled(true);
    setWindowTitle(title.isEmpty() ? QStringLiteral("Select Folder") : title);
    setDirectory(initialFolder.isEmpty() ? QDir::homePath() : initialFolder);
    buildFolderRow();
    applyViewMode();

    connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) {
        m_selected = path;
        m_history->setEditText(QDir::toNativeSeparators(directory().absolutePath()));
    });
    connect(this, &QFileDialog::directoryEntered, this, [this](const QString& path) {
        m_selected.clear();
        m_history->setEditText(path);
    });
}

CXFolderDialog::~CXFolderDialog() {
    m_settings.setValue(kViewModeKey, viewMode() == QFileDialog::Detail ? kViewDetails : kViewList);
    m_settings.sync();
}

void CXFolderDialog::buildFolderRow() {
    // The dialog's own name and type fields give way to the folder row.
    for (const char* name : {"fileNameLabel", "fileNameEdit", "fileTypeLabel", "fileTypeCombo"}) {
        if (auto* widget = findChild<QWidget*>(QString::fromLatin1(name))) {
            widget->hide();
        }
    }
    auto* label = new QLabel(QStringLiteral("Folder &name:"), this);
    m_history = new CHistoryCombo(this);
    m_history->setObjectName(QStringLiteral("folderHistory"));
    m_history->setCheckExistence(true);
    m_history->setMaxHistory(kMaxHistory);
    m_history->setDropDownCount(kDropDownCount);
    m_history->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    label->setBuddy(m_history);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    m_ok->setAutoDefault(true);
    // "OK" takes the place of the hidden "Open" in the dialog's own button box, which orders it
    // and "Cancel" as the platform does; the box's acceptance comes to accept() below.
    if (auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))) {
        // Out of the box for good: a box shows all its buttons whenever it lays them out.
        if (QPushButton* open = buttons->button(QDialogButtonBox::Open)) {
            buttons->removeButton(open);
            delete open;
        }
        buttons->addButton(m_ok, QDialogButtonBox::AcceptRole);
    } else {
        connect(m_ok, &QPushButton::clicked, this, [this] { confirm(); });
    }
    // The row stands where the name field was, beside "OK", its label next to the drop-down.
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        auto* row = new QHBoxLayout;
        row->addWidget(label);
        row->addWidget(m_history, 1);
        grid->addLayout(row, nameRowOf(*grid, findChild<QWidget*>(QStringLiteral("fileNameEdit"))),
                        0, 1, 2);
    }
    m_history->loadHistory(m_settings);
    if (m_history->count() > 0 && m_history->currentText().isEmpty()) {
        m_history->setCurrentIndex(0);
    }
    connect(m_history, &QComboBox::activated, this, [this] { goToTypedFolder(); });
    connect(m_history->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (accessibleFolder(m_history->currentText().trimmed())) {
            m_folder = m_history->currentText().trimmed();
        }
        goToTypedFolder();
    });
}

void CXFolderDialog::applyViewMode() {
    const int mode = m_settings.value(kViewModeKey, 0).toInt();
    setViewMode(mode == kViewDetails ? QFileDialog::Detail : QFileDialog::List);
}

void CXFolderDialog::goToTypedFolder() {
    const QString text = m_history->currentText().trimmed();
    if (!text.isEmpty() && QFileInfo(text).isDir()) {
        const QString typed = text;
        setDirectory(typed);
        m_history->setEditText(typed);
    }
}

bool CXFolderDialog::confirm() {
    if (!m_selected.isEmpty() && QFileInfo(m_selected).isDir()) {
        m_history->setEditText(m_selected);
    }
    const QString folder = m_history->currentText().trimmed();
    if (folder.isEmpty()) {
        showMessageBox(this, QStringLiteral("Please select a folder."), MessageIcon::None);
        return false;
    }
    if (!accessibleFolder(folder)) {
        showMessageBox(this, QStringLiteral("The folder '%1' isn't accessible.").arg(folder),
                       MessageIcon::None);
        return false;
    }
    m_folder = folder;
    m_history->saveHistory(m_settings);
    QDialog::accept();
    return true;
}

void CXFolderDialog::accept() {
    confirm();
}

void CXFolderDialog::showEvent(QShowEvent* event) {
    QFileDialog::showEvent(event);
    // Without a history the field shows the folder the dialog opens in, as it does whenever
    // the folder changes, so that "OK" takes what the user sees.
    if (m_history->currentText().trimmed().isEmpty()) {
        m_history->setEditText(QDir::toNativeSeparators(directory().absolutePath()));
    }
    // The user types or picks a folder first.
    m_history->setFocus();
    m_history->lineEdit()->selectAll();
}

int CXFolderDialog::run() {
    return exec() == QDialog::Accepted ? 1 : 2;
}

}  // namespace qelv::ui
