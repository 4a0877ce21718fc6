#include "storage/recording_name.h"

#include <array>
#include <cstdio>
#include <utility>

#include "config/text_rules.h"

namespace qelv::core {

namespace {

struct Triple {
    std::int32_t high, middle, low;
};

// "20240131" -> {2024, 1, 31}; read the way C reads a leading number, so "5" -> {0, 0, 5}.
Triple splitDecimal(std::string_view field) {
    const std::int32_t v = parseDecimal(field).value_or(0);
    return {v / 10000, (v % 10000) / 100, v % 100};
}

// `folder` is empty or ends with "/".
std::string pathWithCamera(std::string_view folder, std::string_view name,
                           std::string_view marker) {
    std::string_view holder = folder;
    if (!holder.empty()) {
        holder.remove_suffix(1);
    }
    const std::size_t slash = holder.rfind('/');
    const std::string_view parent =
        slash == std::string_view::npos ? holder : holder.substr(slash + 1);
    std::string out;
    if (parent == "FRONT") {
        out.append(holder.substr(0, holder.size() - parent.size()));
        out.append("REAR/");
    } else {
        out.append(folder);
    }
    out.append(replaceAll(name, "_F", marker));
    return out;
}

}  // namespace

namespace {

// Appends `value` (0 to 10^digits - 1) with leading zeros.
void appendDigits(std::string& out, std::int32_t value, int digits) {
    char text[4];
    for (int i = digits - 1; i >= 0; --i) {
        text[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(text, static_cast<std::size_t>(digits));
}

bool inRange(std::int32_t value, std::int32_t end) {
    return value >= 0 && value < end;
}

// "%0Nd<sep>%02d<sep>%02d": written by hand for the values a recorder writes (a list shows
// thousands of them), by printf for anything else.
std::string threeFields(std::int32_t first, int firstDigits, std::int32_t second,
                        std::int32_t third, char separator) {
    const std::int32_t firstEnd = firstDigits == 4 ? 10000 : 100;
    if (inRange(first, firstEnd) && inRange(second, 100) && inRange(third, 100)) {
        std::string out;
        out.reserve(10);
        appendDigits(out, first, firstDigits);
        out += separator;
        appendDigits(out, second, 2);
        out += separator;
        appendDigits(out, third, 2);
        return out;
    }
    std::array<char, 48> buffer{};
    std::snprintf(buffer.data(), buffer.size(),
                  firstDigits == 4 ? "%04d%c%02d%c%02d" : "%02d%c%02d%c%02d", first, separator,
                  second, separator, third);
    return buffer.data();
}

}  // namespace

std::string RecordingName::dateText() const {
    return threeFields(year, 4, month, day, '-');
}

std::string RecordingName::timeText() const {
    return threeFields(hour, 2, minute, second, ':');
}

std::string_view nameField(std::string_view fileName, int index) {
    std::size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const std::size_t underscore = fileName.find('_', start);
        if (underscore == std::string_view::npos) {
            return {};
        }
        start = underscore + 1;
    }
    const std::size_t end = fileName.find('_', start);
    return fileName.substr(start, end == std::string_view::npos ? end : end - start);
}

namespace {

constexpr std::array<std::pair<char, RecordingCategory>, 4> kLetters{{
    {'N', RecordingCategory::Normal},
    {'E', RecordingCategory::Event},
    {'P', RecordingCategory::Parking},
    {'U', RecordingCategory::User},
}};

std::optional<RecordingCategory> categoryLetterIn(std::string_view fileName) {
    for (const auto& [letter, category] : kLetters) {
        if (fileName.find(letter) != std::string_view::npos) {
            return category;
        }
    }
    return std::nullopt;
}

}  // namespace

bool isCompanionName(std::string_view fileName) {
    // Most names end otherwise: decide those without splitting the name.
    if (!fileName.ends_with("R1.mp4") && !fileName.ends_with("R2.mp4")) {
        return false;
    }
    const std::string_view field = nameField(fileName, 4);
    return field == "R1.mp4" || field == "R2.mp4";
}

RecordingCategory letterCategory(std::string_view fileName) {
    return categoryLetterIn(fileName).value_or(RecordingCategory::Normal);
}

RecordingName parseRecordingName(std::string_view fileName) {
    RecordingName name;
    const Triple date = splitDecimal(nameField(fileName, 0));
    name.year = date.high;
    name.month = date.middle;
    name.day = date.low;
    const Triple time = splitDecimal(nameField(fileName, 1));
    name.hour = time.high;
    name.minute = time.middle;
    name.second = time.low;

    name.category = categoryLetterIn(fileName);
    for (const auto& [letter, category] : kLetters) {
        const char marker[] = {'_', letter, '_', '\0'};
        if (fileName.find(marker) != std::string_view::npos) {
            name.listCategory = category;
            break;
        }
    }

    if (fileName.find("_F") != std::string_view::npos) {
        name.camera = CameraChannel::Front;
    } else if (fileName.find("_R") != std::string_view::npos) {
        name.camera = CameraChannel::Rear;
    }

    for (const auto& [text, count] : {std::pair{"3CH", 3}, {"2CH", 2}, {"1CH", 1}}) {
        if (fileName.find(text) != std::string_view::npos) {
            name.channels = count;
            break;
        }
    }

    name.companionFile = isCompanionName(fileName);
    return name;
}

CompanionPaths companionPathsOf(std::string_view frontPath) {
    const std::size_t slash = frontPath.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view{} : frontPath.substr(0, slash + 1);
    const std::string_view fileName =
        slash == std::string_view::npos ? frontPath : frontPath.substr(slash + 1);

    const std::string_view channelField = nameField(fileName, 2);
    const int cameras = channelField == "3CH" ? 3 : channelField == "2CH" ? 2 : 1;
    if (cameras == 1) {
        return {};
    }
    const bool rewrite = nameField(fileName, 4) == "F.mp4";
    auto companion = [&](std::string_view marker) {
        return rewrite ? pathWithCamera(folder, fileName, marker) : std::string(frontPath);
    };
    CompanionPaths paths;
    paths.second = companion("_R1");
    if (cameras == 3) {
        paths.third = companion("_R2");
    }
    return paths;
}

namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

}  // namespace

std::optional<std::int64_t> startSecondsOf(const RecordingName& name) {
    if (name.year < 1 || name.year > 9999 || name.month < 1 || name.month > 12 || name.day < 1 ||
        name.day > 31 || name.hour < 0 || name.hour > 23 || name.minute < 0 || name.minute > 59 ||
        name.second < 0 || name.second > 60) {
        return std::nullopt;
    }
    return daysFromCivil(name.year, static_cast<unsigned>(name.month),
                         static_cast<unsigned>(name.day)) *
               86400 +
           name.hour * 3600 + name.minute * 60 + name.second;
}

std::optional<std::int64_t> startSecondsOf(std::string_view fileName) {
    return startSecondsOf(parseRecordingName(fileName));
}

std::string recorderClockText(std::int64_t seconds) {
    // Civil date from days since 1970-01-01 (the inverse of daysFromCivil).
    const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const std::int64_t inDay = seconds - days * 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(z - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
    // Room for any value the fields' types can hold, which the compiler checks.
    std::array<char, 128> text{};
    std::snprintf(text.data(), text.size(), "%04lld-%02u-%02u %02lld:%02lld:%02lld",
                  static_cast<long long>(year), month, day, static_cast<long long>(inDay / 3600),
                  static_cast<long long>(inDay / 60 % 60), static_cast<long long>(inDay % 60));
    return text.data();
}

}  // namespace qelv::core
