#include "telemetry/text_track_reader.h"

namespace qelv::core {

std::size_t TextTrackReader(TextTrackSource& source, TelemetryState& state,
                            const PlaybackStateFn& playbackState) {
    return TextTrackReader(source, state, playbackState, state.epoch());
}

std::size_t TextTrackReader(TextTrackSource& source, TelemetryState& state,
                            const PlaybackStateFn& playbackState, std::uint64_t epoch) {
    std::array<std::uint8_t, kRecordBufferSize> buffer{};
    std::uint32_t timeMs = 0;
    std::size_t records = 0;
    for (;;) {
        const int result = source.read(buffer);
        const std::int32_t playing = playbackState ? playbackState() : -1;
        if (result != 0 || (playing != 0 && playing != 1)) {
            return records;
        }
        const int parsed = state.ParseTextRecord(buffer, timeMs, epoch);
        if (parsed == TelemetryState::kStale) {
            return records;
        }
        ++records;
        if (parsed != -1) {
            timeMs += 1000;
        }
    }
}

}  // namespace qelv::core
