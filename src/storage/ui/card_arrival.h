// Offers to open a recorder card the moment it is put in: when the drives change, a card
// that was not there before and that holds a recorder's recordings (the configured category
// folders on a FAT card, or a WyFS card) brings up "Recorder card found: open its
// recordings?"; Yes lists it at once. Cards present when the viewer starts are not offered.
// Off when the profile's "Cards/offerToOpen" is false.
#pragma once

#include <QObject>
#include <QSettings>
#include <functional>
#include <string>
#include <vector>

#include "storage/recording_types.h"

class QWidget;

namespace qelv::ui {

class CardArrival : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kSettingKey = "Cards/offerToOpen";
    static constexpr const char* kQuestion = "Recorder card found: open its recordings?";

    // `cards` lists the card drives now (the folder line may be among them); `isRecorderCard`
    // says whether a drive holds a recorder's layout; `open` lists a drive the user accepted.
    CardArrival(QWidget* owner, QSettings& settings,
                std::function<std::vector<core::SourceDrive>()> cards,
                std::function<bool(const core::SourceDrive&)> isRecorderCard,
                std::function<void(const core::SourceDrive&)> open);

    // The drives may have changed (the mount watch says so): offers a new recorder card.
    // While the question (or another modal window) is up, the change is looked at after it.
    void drivesChanged();

private:
    std::vector<core::SourceDrive> recorderCards() const;
    void askAbout(const core::SourceDrive& card);

    QWidget* m_owner;
    QSettings& m_settings;
    std::function<std::vector<core::SourceDrive>()> m_cards;
    std::function<bool(const core::SourceDrive&)> m_isRecorderCard;
    std::function<void(const core::SourceDrive&)> m_open;
    std::vector<core::SourceDrive> m_known;
    bool m_asking = false;
    bool m_pending = false;  // drives changed while the question was up
};

// The same drive: kind, device and label. Not its number in a list, which moves when
// another drive comes or goes.
bool sameDrive(const core::SourceDrive& a, const core::SourceDrive& b);

// A FAT card with at least one of `folders` at its root, or any WyFS card.
bool holdsRecorderLayout(const core::SourceDrive& drive, const std::vector<std::string>& folders);

}  // namespace qelv::ui
