// The reader thread's body: pulls every record out of the text track into the store, as fast
// as the track gives them, while playback runs or is paused.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "telemetry/telemetry_state.h"
#include "telemetry/text_track_source.h"

namespace qelv::core {

// Playback states as the engine reports them: 0 running, 1 paused, 2 stopped, 3 created,
// -1 no graph.
using PlaybackStateFn = std::function<std::int32_t()>;

// Reads until the track ends or the playback state is neither running nor paused. The k-th
// accepted record is stored at k x 1000 ms; a rejected record does not advance the time.
// Returns the number of records read.
std::size_t TextTrackReader(TextTrackSource& source, TelemetryState& state,
                            const PlaybackStateFn& playbackState);
// The same for a reader that started at the store's `epoch`: it also ends when the store is
// emptied (playback stopped or moved to another recording).
std::size_t TextTrackReader(TextTrackSource& source, TelemetryState& state,
                            const PlaybackStateFn& playbackState, std::uint64_t epoch);

// The recording being played, as the reader thread opens it: the front file's path, or the
// card file the engine reads a WyFS recording from (which any thread may read).
struct PlayingRecording {
    std::string path;
    std::shared_ptr<ByteSource> cardFile;
};

// The reader thread's whole work for one play: the records into the store (as above, for the
// store's `epoch`), then the recording's route. False (and nothing stored) when the file
// cannot be opened.
bool readPlayingRecording(const PlayingRecording& recording, TelemetryState& state,
                          const PlaybackStateFn& playbackState, std::uint64_t epoch);

}  // namespace qelv::core
