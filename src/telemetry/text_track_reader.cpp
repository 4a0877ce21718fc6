#include "telemetry/text_track_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "telemetry/telemetry_export.h"

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

namespace {

// A day of driving at one fix a second; a hostile track cannot make the route grow further.
constexpr std::size_t kMaxRoutePoints = 86400;

void readFrom(ByteSource& bytes, TelemetryState& state, const PlaybackStateFn& playbackState,
              std::uint64_t epoch) {
    {
        TextTrackSource track(bytes);
        TextTrackReader(track, state, playbackState, epoch);
    }
    // The route: every record again, numbered the same way, keeping only the mappable fixes.
    TextTrackSource track(bytes);
    std::vector<RoutePoint> route;
    std::array<std::uint8_t, kRecordBufferSize> buffer{};
    std::uint32_t timeMs = 0;
    while (route.size() < kMaxRoutePoints && track.read(buffer) == 0) {
        if (state.epoch() != epoch) {
            return;  // stopped meanwhile: the route would be thrown away
        }
        const ParsedRecord parsed = parseRecord(buffer, timeMs);
        if (!parsed.accepted) {
            continue;
        }
        if (const auto point = parsed.fix ? routePoint(*parsed.fix, timeMs) : std::nullopt) {
            route.push_back(*point);
        }
        timeMs += 1000;
    }
    state.setRoute(std::move(route), epoch);
}

}  // namespace

bool readPlayingRecording(const PlayingRecording& recording, TelemetryState& state,
                          const PlaybackStateFn& playbackState, std::uint64_t epoch) {
    if (recording.cardFile) {
        readFrom(*recording.cardFile, state, playbackState, epoch);
        return true;
    }
    const int fd = ::open(recording.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    FileSource bytes(fd, static_cast<std::uint64_t>(info.st_size));
    readFrom(bytes, state, playbackState, epoch);
    ::close(fd);
    return true;
}

}  // namespace qelv::core
