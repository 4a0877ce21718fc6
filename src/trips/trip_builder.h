// Trips: the recorder cuts a drive into recordings of a minute or so; a trip is the drive
// again, a run of normal recordings with the same cameras, each started within a few seconds
// of the previous one's end. Event and user recordings made during a trip are its markers;
// parking recordings belong to no trip. Pure work on names and durations: nothing is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qelv::trips {

// The largest gap between one recording's end and the next one's start (or overlap) that
// still joins them into one trip.
inline constexpr std::int64_t kDefaultJoinGapMs = 5000;
// A recording whose length is not known (it cannot be read) is taken to last until the next
// one starts, when that is no later than this after its own start: a damaged recording in the
// middle of a drive does not split it.
inline constexpr std::int64_t kLongestUnknownMs = 180000;

struct TripInput {
    std::string fileName;  // the front file's name: start time, category, channel count
    // How long the recording lasts; nothing (or 0) when it is not known.
    std::optional<std::uint32_t> durationMs;
    // The recording was cut short (its index was never written, or the file ends early): it
    // lasted at least durationMs, maybe until the next one (as an unknown length does).
    bool atLeast = false;
};

struct Trip {
    // Indexes into the inputs: the trip's recordings in time order, and the event and user
    // recordings that started during it.
    std::vector<std::size_t> recordings;
    std::vector<std::size_t> markers;
    // On the recorder's clock, in ms since 1970 as core::startSecondsOf counts.
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;
    int channels = 0;
};

// The trips of a card's front recordings, in time order. Names without a valid start, a
// category or a channel count are in none; of two recordings of the same name (a card copied
// twice into one folder) the first counts. Recordings with other cameras are other trips,
// even where they overlap in time.
std::vector<Trip> buildTrips(const std::vector<TripInput>& inputs,
                             std::int64_t joinGapMs = kDefaultJoinGapMs);

// Where input `index` starts on the recorder's clock (ms), or nothing for a name without one.
std::optional<std::int64_t> startMsOf(const TripInput& input);

}  // namespace qelv::trips
