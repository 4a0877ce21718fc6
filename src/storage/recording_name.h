// What a recording's file name says about it. The viewer never reads a file to classify it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "storage/recording_types.h"

namespace qelv::core {

// The recorder names every file with five fields joined by "_" (a plain split, no escaping):
//
//   20240131_235958_2CH_N_F.mp4
//   |        |      |   | +-- 4: camera and extension: "F.mp4", "R1.mp4" (second), "R2.mp4" (third)
//   |        |      |   +---- 3: category letter N, E, P, U
//   |        |      +-------- 2: channel count "1CH", "2CH", "3CH"
//   |        +--------------- 1: start time hhmmss
//   +------------------------ 0: start date yyyymmdd
struct RecordingName {
    std::int32_t year = 0, month = 0, day = 0;
    std::int32_t hour = 0, minute = 0, second = 0;
    std::int32_t channels = 0;  // 0 when no "1CH", "2CH" or "3CH" appears
    // The first of the letters N, E, P, U anywhere in the name (case-sensitive): the type
    // shown in lists and used by the single-category filters.
    std::optional<RecordingCategory> category;
    // The first of "_N_", "_E_", "_P_", "_U_": used by the all-categories listing.
    std::optional<RecordingCategory> listCategory;
    CameraChannel camera = CameraChannel::None;
    // Field 4 is exactly "R1.mp4" or "R2.mp4": a second- or third-camera file, never a row.
    bool companionFile = false;

    std::string dateText() const;  // "%04d-%02d-%02d"
    std::string timeText() const;  // "%02d:%02d:%02d"
    std::string_view typeText() const { return typeTextOf(category); }
    // A name without a category letter is listed under the normal filter.
    RecordingCategory filterCategory() const {
        return category.value_or(RecordingCategory::Normal);
    }
};

// The recording's start from its name's date and time, in seconds on the recorder's clock
// counted as if it were UTC (the recorder keeps local time and no zone); nothing when the
// name holds no valid date and time (years 1 to 9999, a leap second allowed).
std::optional<std::int64_t> startSecondsOf(const RecordingName& name);
std::optional<std::int64_t> startSecondsOf(std::string_view fileName);
// "YYYY-MM-DD HH:MM:SS" for seconds on the recorder's clock, as startSecondsOf counts them.
std::string recorderClockText(std::int64_t seconds);

// Field 4 is exactly "R1.mp4" or "R2.mp4": a second- or third-camera file.
bool isCompanionName(std::string_view fileName);

// The category the single-category filters use: the first of the letters N, E, P, U in the
// name, normal when there is none.
RecordingCategory letterCategory(std::string_view fileName);

// Parses a file name (no folder).
RecordingName parseRecordingName(std::string_view fileName);

// Field `index` (0 to 4) of a file name, empty when the name has fewer fields.
std::string_view nameField(std::string_view fileName, int index);

// The other cameras' files of a front file.
struct CompanionPaths {
    std::optional<std::string> second;  // two- and three-camera recordings
    std::optional<std::string> third;   // three-camera recordings
};

// Pairs a front file with its second- and third-camera files: the front file's folder "FRONT"
// becomes "REAR" and "_F" in the file name becomes "_R1" or "_R2". Only the folder that holds
// the file and the file name are rewritten, so a user's folder that happens to contain
// "FRONT" or "_F" higher up stays as it is. When field 4 is not exactly "F.mp4" the
// companions are the front path unchanged.
CompanionPaths companionPathsOf(std::string_view frontPath);

}  // namespace qelv::core
