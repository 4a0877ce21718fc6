#include "telemetry/text_track_reader.h"

namespace qelv::core {

std::size_t TextTrackReader(TextTrackSource& source, TelemetryState& state,
                            const PlaybackStateFn& playbackState) {
    std::array<std::uint8_t, kRecordBufferSize> buffer{};
    std::uint32_t timeMs = 0;
    std::size_t records = 0;
    for (;;) {
        const int result = source.read(buffer);
        const std::int32_t playing = playbackState ? playbackState() : -1;
        if (result != 0 || (playing != 0 && playing != 1)) {
            return records;
        }
        ++records;
        if (state.ParseTextRecord(buffer, timeMs) != -1) {
            timeMs += 1000;
        }
    }
}

}  // namespace qelv::core
