#include "tools/ui/setting_dlg.h"

#include <QPainter>
#include <iostream>

#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "skin/skin_bitmaps.h"

namespace qelv::ui {

namespace {

constexpr QSize kSize{724, 878};
constexpr int kSelectedFace = 165;
constexpr int kNormalFace = 166;
constexpr int kHoverFace = 167;

}  // namespace

CSettingDlg::CSettingDlg(QWidget* owner, const std::filesystem::path& cardRoot)
    : DraggableDialog(owner, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_settings(std::cout),
      m_background(skinBitmapMasked(157)) {
    setWindowTitle(QStringLiteral("Device Settings"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_openProblem = QString::fromStdString(m_settings.open(cardRoot));
    if (m_openProblem.isEmpty() && !m_settings.existed()) {
        // A card without the file gets the recorder's defaults at once, written as a save
        // writes them: never through a link, never off the card.
        m_openProblem = QString::fromStdString(m_settings.save());
    }
    for (int n = 0; n < static_cast<int>(core::kSettingChoices.size()); ++n) {
        const core::SettingChoice& choice = core::kSettingChoices[static_cast<std::size_t>(n)];
        m_buttons[static_cast<std::size_t>(n)] = CSkinButton::createImageButton(
            20, choice.top, this,
            QString::fromLatin1(choice.tooltip.data(),
                                static_cast<qsizetype>(choice.tooltip.size())),
            n, choice.left, 20, kNormalFace, kHoverFace, kSelectedFace);
    }
    m_buttons[core::kChoiceSave] = CSkinButton::createImageButton(
        36, 812, this, QStringLiteral("Save"), core::kChoiceSave, 282, 158, 163, 161, 162);
    m_buttons[core::kChoiceClose] = CSkinButton::createImageButton(
        28, 5, this, QStringLiteral("Close"), core::kChoiceClose, 653, 65, 158, 158, 160);
    showChoices();

    m_zones = new CSkinComboBox(this);
    m_zones->setObjectName(QStringLiteral("timeZoneList"));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(16);
    m_zones->setFont(font);
    m_zones->setGeometry(180, 714, 450, 20);
    for (std::string_view name : core::kTimeZoneNames) {
        m_zones->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    m_zones->setCurrentIndex(m_settings.shownTimeZone());
    // Only a zone the user picks replaces the file's value (which may be one the list lacks).
    connect(m_zones, &QComboBox::activated, this,
            [this](int index) { m_settings.chooseTimeZone(index); });

    resize(kSize);
    // Over the middle of the main window, whichever pane opened it.
    const QWidget* main = WindowRegistry::instance().find(kKeyMainWindow);
    if (main == nullptr && owner != nullptr) {
        main = owner->window();
    }
    if (main != nullptr) {
        QRect place(QPoint(), kSize);
        place.moveCenter(main->geometry().center());
        move(place.topLeft());
    }
}

CSkinButton* CSettingDlg::choiceButton(int n) const {
    return n >= 0 && n < static_cast<int>(m_buttons.size()) ? m_buttons[static_cast<std::size_t>(n)]
                                                            : nullptr;
}

void CSettingDlg::showChoices() {
    for (int n = 0; n < static_cast<int>(core::kSettingChoices.size()); ++n) {
        CSkinButton* button = m_buttons[static_cast<std::size_t>(n)];
        const bool selected = m_settings.isShown(n);
        button->setCheckable(true);
        button->setChecked(selected);
        if (selected) {
            button->setImageNumbers(kSelectedFace, kSelectedFace, kSelectedFace);
        } else {
            button->setImageNumbers(kSelectedFace, kNormalFace, kHoverFace);
        }
    }
}

qintptr CSettingDlg::onMessage(unsigned message, qintptr wParam, qintptr) {
    if (message != kMsgButtonClicked) {
        return -1;
    }
    const int n = static_cast<int>(wParam);
    if (n >= 0 && n < static_cast<int>(core::kSettingChoices.size())) {
        m_settings.choose(n);
        showChoices();
    } else if (n == core::kChoiceSave) {
        save();
    } else if (n == core::kChoiceClose) {
        reject();
    }
    return 0;
}

void CSettingDlg::save() {
    const std::string problem = m_settings.save();
    if (!problem.empty()) {
        // The dialog stays: the user may make the card writable and save again.
        showMessageBox(
            this,
            QStringLiteral("The settings were not saved: %1").arg(QString::fromStdString(problem)),
            MessageIcon::Error);
        return;
    }
    showMessageBox(this, QStringLiteral("Save done"), MessageIcon::Information);
    accept();
}

void CSettingDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_openProblem.isEmpty() && !m_problemShown) {
        m_problemShown = true;
        const QString text =
            QStringLiteral(
                "The recorder's settings could not be read from the card (%1); the "
                "recorder's defaults are shown.")
                .arg(m_openProblem);
        QMetaObject::invokeMethod(
            this, [this, text] { showMessageBox(this, text, MessageIcon::Error); },
            Qt::QueuedConnection);
    }
}

bool CSettingDlg::event(QEvent* event) {
    return dispatchMessage(event) || QDialog::event(event);
}

void CSettingDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(16, 16, 16));
    painter.drawPixmap(0, 0, m_background);
}

// The whole dialog drags the window.

}  // namespace qelv::ui
