#include "storage/ui/card_arrival.h"

#include <algorithm>
#include <filesystem>

#include <QApplication>
#include <QTimer>

#include "skin/message_box.h"

namespace qelv::ui {

CardArrival::CardArrival(QWidget* owner, QSettings& settings,
                         std::function<std::vector<core::SourceDrive>()> cards,
                         std::function<bool(const core::SourceDrive&)> isRecorderCard,
                         std::function<void(const core::SourceDrive&)> open)
    : m_owner(owner),
      m_settings(settings),
      m_cards(std::move(cards)),
      m_isRecorderCard(std::move(isRecorderCard)),
      m_open(std::move(open)) {
    m_known = recorderCards();
}

std::vector<core::SourceDrive> CardArrival::recorderCards() const {
    std::vector<core::SourceDrive> found;
    for (core::SourceDrive& drive : m_cards()) {
        if ((drive.kind == core::SourceKind::FatDrive ||
             drive.kind == core::SourceKind::WyfsDrive) &&
            m_isRecorderCard(drive)) {
            found.push_back(std::move(drive));
        }
    }
    return found;
}

void CardArrival::drivesChanged() {
    // Not over the question itself or another modal window: looked at again after it.
    if (m_asking || QApplication::activeModalWidget() != nullptr) {
        if (!m_pending) {
            m_pending = true;
            QTimer::singleShot(1000, this, [this] {
                m_pending = false;
                drivesChanged();
            });
        }
        return;
    }
    const std::vector<core::SourceDrive> now = recorderCards();
    std::vector<core::SourceDrive> arrived;
    for (const core::SourceDrive& drive : now) {
        if (std::none_of(m_known.begin(), m_known.end(),
                         [&](const core::SourceDrive& known) { return sameDrive(known, drive); })) {
            arrived.push_back(drive);
        }
    }
    m_known = now;
    // Read from the file each time: a change made while the viewer runs counts.
    m_settings.sync();
    if (arrived.empty() || !m_settings.value(QString::fromLatin1(kSettingKey), true).toBool()) {
        return;
    }
    // One question for the first new card; more at once are rare (a reader with two slots).
    askAbout(arrived.front());
}

void CardArrival::askAbout(const core::SourceDrive& card) {
    m_asking = true;
    const int answer = showMessageBox(m_owner, QString::fromLatin1(kQuestion),
                                      MessageIcon::Question, MessageButtons::YesNo);
    m_asking = false;
    if (answer == kIdYes) {
        const std::vector<core::SourceDrive> now = recorderCards();
        if (std::any_of(now.begin(), now.end(),
                        [&](const core::SourceDrive& drive) { return sameDrive(drive, card); })) {
            m_open(card);
        } else {
            showMessageBox(m_owner,
                           QStringLiteral("The card %1 was taken out.")
                               .arg(QString::fromStdString(card.label)),
                           MessageIcon::Information);
        }
    }
}

bool sameDrive(const core::SourceDrive& a, const core::SourceDrive& b) {
    return a.kind == b.kind && a.devicePath == b.devicePath && a.label == b.label;
}

bool holdsRecorderLayout(const core::SourceDrive& drive, const std::vector<std::string>& folders) {
    if (drive.kind == core::SourceKind::WyfsDrive) {
        return true;
    }
    std::error_code error;
    return std::any_of(folders.begin(), folders.end(), [&](const std::string& folder) {
        return std::filesystem::is_directory(std::filesystem::path(drive.label) / folder, error);
    });
}

}  // namespace qelv::ui
