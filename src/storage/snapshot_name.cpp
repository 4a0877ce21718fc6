#include "storage/snapshot_name.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <optional>

namespace qelv::core {

namespace {

constexpr std::string_view kProposalEnd = "_CHx.jpg";

bool isLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// The number a run of characters gives when read as decimal digits (0 for none).
int decimal(std::string_view text) {
    int value = 0;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            break;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

// The recorder's "YYYYMMDD_HHMMSS" at the start of the name (or just after its first "_")
// as a FILETIME; nothing for a name too short or a date that does not exist.
std::optional<FileTime> fileNameTime(std::string_view name) {
    if (name.size() < 15) {
        return std::nullopt;
    }
    std::size_t s = 0;
    if (std::isdigit(static_cast<unsigned char>(name[0])) == 0) {
        const std::size_t underscore = name.find('_');
        if (underscore == std::string_view::npos) {
            return std::nullopt;
        }
        s = underscore + 1;
    }
    if (name.size() < s + 15) {
        return std::nullopt;
    }
    const int year = decimal(name.substr(s, 4));
    const int month = decimal(name.substr(s + 4, 2));
    const int day = decimal(name.substr(s + 6, 2));
    const int hour = decimal(name.substr(s + 9, 2));
    const int minute = decimal(name.substr(s + 11, 2));
    const int second = decimal(name.substr(s + 13, 2));
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return fileTimeFromUnix(static_cast<std::int64_t>(timegm(&tm)), 0);
}

}  // namespace

std::int64_t localDaylightShift(std::int64_t unixSeconds) {
    // The shift is what the local time adds beyond the smaller of the year's two offsets (mid
    // January and mid July): the summer hour, also in zones whose data calls the winter time
    // the saving one (Europe/Dublin), and nothing in zones without daylight saving.
    const auto offsetAt = [](std::time_t t, long& offset) {
        std::tm local{};
        if (localtime_r(&t, &local) == nullptr) {
            return false;
        }
        offset = local.tm_gmtoff;
        return true;
    };
    tzset();
    const auto t = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
    long now = 0;
    if (gmtime_r(&t, &utc) == nullptr || !offsetAt(t, now)) {
        return 0;
    }
    std::tm january{};
    january.tm_year = utc.tm_year;
    january.tm_mon = 0;
    january.tm_mday = 15;
    std::tm july = january;
    july.tm_mon = 6;
    long winter = 0;
    long summer = 0;
    if (!offsetAt(timegm(&january), winter) || !offsetAt(timegm(&july), summer)) {
        return 0;
    }
    return now - std::min(winter, summer);
}

std::string snapshotTimeText(FileTime time, std::uint64_t offsetMs, const DaylightShift& shift) {
    const std::uint64_t ms = time / 10'000 + offsetMs;
    std::int64_t seconds = unixSecondsFromFileTime(ms * 10'000);
    if (shift) {
        seconds += shift(seconds);
    }
    const auto t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (gmtime_r(&t, &utc) == nullptr || utc.tm_year + 1900 > 9999) {
        return {};
    }
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%d%02d%02d_%02d%02d%02d", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text.data();
}

std::string proposedSnapshotName(const SnapshotSource& source, bool filetime, bool addpos,
                                 const DaylightShift& shift) {
    std::string base;
    if (filetime) {
        base = snapshotTimeText(source.creationTime, addpos ? source.positionMs : 0, shift);
    } else if (addpos) {
        if (const auto time = fileNameTime(source.fileName)) {
            base = snapshotTimeText(*time, source.positionMs);
        }
    } else {
        base = source.path.size() >= 4 ? source.path.substr(0, source.path.size() - 4) : "";
    }
    return base + std::string(kProposalEnd);
}

std::string snapshotChannelPath(std::string_view chosen, int index) {
    constexpr std::array<std::string_view, 3> kMarkers{"(#1)", "(#2)", "(#3)"};
    // Five characters, not bytes: a name typed in another script (UTF-8) keeps whole letters.
    // Only the file name is cut: a short name never takes the end of its folder's name with it
    // (the pictures would land in another folder).
    const std::size_t slash = chosen.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::size_t cut = chosen.size();
    int characters = 0;
    while (cut > nameStart && characters < 5) {
        --cut;
        if ((static_cast<unsigned char>(chosen[cut]) & 0xC0) != 0x80) {
            ++characters;  // not a continuation byte: a character starts here
        }
    }
    const std::string_view base = chosen.substr(0, characters == 5 ? cut : nameStart);
    return std::string(base) + std::string(kMarkers[static_cast<std::size_t>(index)]) + ".jpg";
}

}  // namespace qelv::core
