// The keys of the recorder's settings file "SETUP/setup.ini", with the recorder's defaults,
// in the order the recorder writes them.
#pragma once

#include <array>
#include <cstdint>
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

}  // namespace qelv::core
