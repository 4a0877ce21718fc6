#include "storage/file_time.h"

namespace qelv::core {

FileTime fileTimeFromCardSeconds(std::int32_t seconds) {
    // Every 32-bit time lies after 1601, so the sum is never negative.
    return static_cast<FileTime>(std::int64_t{seconds} + kUnixEpochAsFileTimeSeconds) *
           kFileTimeTicksPerSecond;
}

FileTime fileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds) {
    constexpr std::int64_t kLastSeconds =
        static_cast<std::int64_t>(UINT64_MAX / kFileTimeTicksPerSecond) -
        kUnixEpochAsFileTimeSeconds - 1;
    if (seconds < -kUnixEpochAsFileTimeSeconds) {
        return 0;
    }
    if (seconds > kLastSeconds) {
        seconds = kLastSeconds;
    }
    return static_cast<FileTime>(seconds + kUnixEpochAsFileTimeSeconds) * kFileTimeTicksPerSecond +
           (nanoseconds % 1'000'000'000u) / 100u;
}

std::int64_t unixSecondsFromFileTime(FileTime time) {
    return static_cast<std::int64_t>(time / kFileTimeTicksPerSecond) - kUnixEpochAsFileTimeSeconds;
}

}  // namespace qelv::core
