// The keys of the recorder's settings file "SETUP/setup.ini", with the recorder's defaults,
// in the order the recorder writes them.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "config/ini_store.h"

namespace qelv::core {

struct RecorderSettingKey {
    std::string_view name;
    std::int32_t defaultValue;
    std::int32_t upper;
};

inline constexpr std::array<RecorderSettingKey, 18> kRecorderSettingKeys{{
    {"BOARD_VERSION", 0, 2},
    {"LCD_BR_LV", 2, 2},
    {"LCD_OFF_DUR", 30, 180},
    {"SCREEN_SAVER_EN", 1, 1},
    {"LDWS_EN", 0, 1},
    {"FCWS_EN", 0, 1},
    {"FVSA_EN", 0, 1},
    {"GSENSOR_LV", 1, 2},
    {"MOTION_LV", 1, 2},
    {"NV_EN", 1, 1},
    {"DST_EN", 1, 1},
    {"GMT_ID", 23, 47},
    {"GUIDE_EN", 1, 1},
    {"MIC_EN", 1, 1},
    {"VOLUME_LV", 1, 2},
    {"VOLT_CUT_ID", 1, 3},
    {"PARK_EN", 1, 1},
    {"PARK_LED_EN", 1, 1},
}};

inline constexpr std::string_view kRecorderSettingsPath = "SETUP/setup.ini";

// Registers every key with its default, in the file's order.
void registerRecorderSettings(IniStore& store);

// The choices of the settings dialog, numbered 0 to 38: one image button each, grouped by the
// key they set. Choice 39 is "Save", 40 "Close".
struct SettingChoice {
    std::string_view tooltip;
    int left;
    int top;
};
inline constexpr std::array<SettingChoice, 39> kSettingChoices{{
    {"LCD Brightnee level 1", 40, 209},
    {"LCD Brightnee level 2", 131, 209},
    {"LCD Brightnee level 3", 246, 209},
    {"G Sensor Sensitivity low", 246, 373},
    {"G Sensor Sensitivity middle", 131, 373},
    {"G Sensor Sensitivity high", 40, 373},
    {"Motion Sensitivity low", 596, 373},
    {"Motion Sensitivity middle", 482, 373},
    {"Motion Sensitivity high", 390, 373},
    {"LDWS OFF", 144, 451},
    {"LDWS ON", 39, 451},
    {"FCWS OFF", 375, 451},
    {"FCWS ON", 269, 451},
    {"FVSA OFF", 604, 451},
    {"FVSA ON", 500, 451},
    {"Voice Guide OFF", 144, 286},
    {"Voice Guide ON", 39, 286},
    {"Vioce Recording OFF", 375, 286},
    {"Vioce Recording ON", 269, 286},
    {"Night-Vision OFF", 604, 286},
    {"Night-Vision ON", 500, 286},
    {"Parking LED OFF", 375, 528},
    {"Parking LED ON", 269, 528},
    {"Parking Mode OFF", 145, 528},
    {"Parking Mode ON", 40, 528},
    {"Power shutdown 11.8V / 23.8V", 66, 608},
    {"Power shutdown 12.0V / 24.0V", 279, 608},
    {"Power shutdown 12.2V / 24.2V", 492, 608},
    {"Power shutdown 12.4V / 24.4V", 66, 642},
    {"Not used", 279, 642},
    {"Audio volume low", 389, 209},
    {"Audio volume middle", 482, 209},
    {"Audio volume high", 596, 209},
    {"Screen off after 30 seconds", 65, 91},
    {"Screen off after 3 minutes", 397, 91},
    {"Screen always on", 397, 121},
    {"Display clock after 30 seconds", 65, 121},
    {"DST OFF", 375, 751},
    {"DST ON", 269, 751},
}};
inline constexpr int kChoiceSave = 39;
inline constexpr int kChoiceClose = 40;

// A group of choices that sets one key: choice base + v sets the key to v.
struct ChoiceGroup {
    std::string_view key;
    int base;
    int count;
};
// In the order the dialog selects them when it opens.
inline constexpr std::array<ChoiceGroup, 14> kChoiceGroups{{
    {"LCD_BR_LV", 0, 3},
    {"GSENSOR_LV", 3, 3},
    {"MOTION_LV", 6, 3},
    {"LDWS_EN", 9, 2},
    {"FCWS_EN", 11, 2},
    {"FVSA_EN", 13, 2},
    {"GUIDE_EN", 15, 2},
    {"MIC_EN", 17, 2},
    {"NV_EN", 19, 2},
    {"PARK_LED_EN", 21, 2},
    {"PARK_EN", 23, 2},
    {"DST_EN", 37, 2},
    {"VOLT_CUT_ID", 25, 5},  // 4: "Not used"
    {"VOLUME_LV", 30, 3},
}};
// The screen group (33 to 36) sets two keys: the screen time-out and the clock switch.
inline constexpr int kScreenChoiceBase = 33;
inline constexpr int kScreenChoiceCount = 4;

// The recorder's time zones, indexed by GMT_ID.
extern const std::array<std::string_view, 48> kTimeZoneNames;

// The recorder's settings file on a card, as the settings dialog and `qelv settings` edit
// it: the choice shown for every group, changes in memory, and a save that replaces the file
// safely.
class RecorderSettingsFile {
public:
    explicit RecorderSettingsFile(std::ostream& diag);

    // Reads <cardRoot>/SETUP/setup.ini; writes nothing. A card without the file shows the
    // recorder's defaults, which the first save writes. Returns an error text, empty when the
    // file was read or is missing; on an error the values are the defaults. A symbolic link in
    // the place of the file or its folder is an error: a card cannot hold one.
    std::string open(const std::filesystem::path& cardRoot);
    const std::filesystem::path& path() const { return m_path; }
    bool existed() const { return m_existed; }

    // The choice a group shows: the one of the key's value, or, for a value that is none of
    // the group's (a damaged or newer file), the default's, while the value itself stays
    // until a choice of the group is made.
    int shownChoice(const ChoiceGroup& group) const;
    // The screen group's choice: the clock switch on gives 36 whatever the time-out says;
    // otherwise -1 gives 35, 180 gives 34 and anything else 33.
    int shownScreenChoice() const;
    // Whether choice `n` (0 to 38) is the one its group shows.
    bool isShown(int n) const;
    // Makes choice `n` (0 to 38): its group's key (or the screen group's two keys) take its
    // value. Other numbers are ignored.
    void choose(int n);

    // The zone the list shows (the default's for a value outside the list), and a choice of
    // the user's.
    int shownTimeZone() const;
    void chooseTimeZone(int index);

    // The value of a key as the next save writes it.
    std::optional<std::int32_t> value(std::string_view key) const;
    // Sets `key` as the dialog would: a value that is one of the key's choices (GMT_ID a zone
    // index; LCD_OFF_DUR 30, 180 or -1 and SCREEN_SAVER_EN 0 or 1 through the screen group).
    // Returns an error text, empty when it was set.
    std::string set(std::string_view key, std::int32_t value);

    // Writes every key (creating the SETUP folder when missing); an error text naming the file
    // or folder when that failed (the old file stays). Refused when the card folder no longer
    // lies on the device it lay on when opened (the card was taken out), or when the file or
    // its folder is a symbolic link.
    std::string save();

private:
    void normalise();
    void setDefaults();
    std::int32_t intOf(std::string_view key) const;
    void setInt(std::string_view key, std::int32_t value);

    IniStore m_store;
    std::filesystem::path m_root;
    std::filesystem::path m_path;
    bool m_existed = false;
    std::optional<std::uint64_t> m_device;  // of the card folder when opened
};

}  // namespace qelv::core
