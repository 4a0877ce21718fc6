// FILETIME values (100 ns units since 1601-01-01 UTC) and the card's size rules.
#pragma once

#include <cstdint>

namespace qelv::core {

using FileTime = std::uint64_t;

inline constexpr std::int64_t kUnixEpochAsFileTimeSeconds = 11644473600;
inline constexpr std::uint64_t kFileTimeTicksPerSecond = 10'000'000;

// The card library's seconds since 1970-01-01 UTC.
FileTime fileTimeFromCardSeconds(std::int32_t seconds);
// A file-system time (seconds and nanoseconds since 1970); times before 1601 give 0.
FileTime fileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds);
// Whole seconds since 1970 (negative before it).
std::int64_t unixSecondsFromFileTime(FileTime time);

// Sizes are listed in KB, rounded down.
inline constexpr std::uint64_t sizeKBFromBytes(std::uint64_t bytes) {
    return bytes / 1024;
}
inline constexpr std::uint64_t sizeKBFromCardBytes(std::uint32_t bytes) {
    return bytes >> 10;
}

}  // namespace qelv::core
