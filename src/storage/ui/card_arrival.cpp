#include "storage/ui/card_arrival.h"

#include <algorithm>
#include <filesystem>

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
    if (m_asking) {
        return;  // the question is up; the cards are looked at again after it
    }
    const std::vector<core::SourceDrive> now = recorderCards();
    std::vector<core::SourceDrive> arrived;
    for (const core::SourceDrive& drive : now) {
        if (std::find(m_known.begin(), m_known.end(), drive) == m_known.end()) {
            arrived.push_back(drive);
        }
    }
    m_known = now;
    if (arrived.empty() || !m_settings.value(QString::fromLatin1(kSettingKey), true).toBool()) {
        return;
    }
    // One question for the first new card; more at once are rare (a reader with two slots).
    m_asking = true;
    const int answer = showMessageBox(m_owner, QString::fromLatin1(kQuestion),
                                      MessageIcon::Question, MessageButtons::YesNo);
    m_asking = false;
    if (answer == kIdYes) {
        m_open(arrived.front());
    }
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
