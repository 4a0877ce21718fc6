#include "events/recording_track.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "common/byte_order.h"
#include "common/posix_io.h"
#include "storage/card_file_source.h"
#include "storage/mp4_format.h"
#include "storage/sample_walk.h"
#include "telemetry/text_track_source.h"

namespace qelv::events {

namespace {

using Buffer = std::array<std::uint8_t, core::kRecordBufferSize>;

// Keeps what one record holds; a record of no known shape takes no second.
void collect(RecordingTrack& track, const Buffer& buffer, std::uint32_t& timeMs) {
    core::ParsedRecord parsed = core::parseRecord(buffer, timeMs);
    if (!parsed.accepted) {
        return;
    }
    if (parsed.fix) {
        track.fixes.push_back(std::move(*parsed.fix));
    }
    if (const auto& s = parsed.sample) {
        // Field by field: GCC 12 takes a copy out of the optional for a dangling pointer.
        track.samples.push_back({s->x, s->y, s->z, s->format, s->timeMs});
    }
    timeMs += 1000;
}

enum class Mp4Layout { Other, Unfinished, Closed };

// How the recorder left an MP4 file: unfinished when its media-data box at 40 is sized 0 (the
// recorder writes the size when it closes the file) or sized past anything that is a movie box
// (a leftover of an earlier file); closed when a movie box starts where the size points.
Mp4Layout mp4Layout(core::ByteSource& bytes) {
    std::array<std::uint8_t, 8> head{};
    if (bytes.read(core::mp4::kMediaDataOffset, head) != head.size() ||
        std::memcmp(head.data() + 4, "mdat", 4) != 0) {
        return Mp4Layout::Other;
    }
    const std::uint32_t size = core::readBe32(head.data());
    if (size == 0) {
        return Mp4Layout::Unfinished;
    }
    std::array<std::uint8_t, 4> type{};
    const std::size_t n = bytes.read(core::mp4::kMediaDataOffset + 4 + size, type);
    if (!bytes.error().empty()) {
        return Mp4Layout::Other;
    }
    return n == type.size() && std::memcmp(type.data(), "moov", 4) == 0 ? Mp4Layout::Closed
                                                                        : Mp4Layout::Unfinished;
}

// The records the index rebuild's walk finds, read where it found them; nothing is written.
RecordingTrack walkUnfinished(core::ByteSource& bytes) {
    RecordingTrack track;
    track.unfinished = true;
    const core::SampleWalk walk = core::walkSamples(bytes);
    if (!walk.readError.empty()) {
        track.problem = "cannot read the file: " + walk.readError;
        return track;
    }
    if (!walk.tables.hasCompleteSample()) {
        track.problem = "an unfinished recording in which no sample can be found";
        return track;
    }
    const auto& offsets = walk.tables.telemetryOffsets;
    const auto& sizes = walk.tables.telemetrySizes;  // the last record's may be unknown
    Buffer buffer{};
    std::uint32_t timeMs = 0;
    for (std::size_t i = 0; i < sizes.size() && i < offsets.size() && i < kMostRecords; ++i) {
        buffer.fill(0);
        const std::size_t n = std::min<std::size_t>(sizes[i], buffer.size() - 1);
        if (bytes.read(offsets[i], std::span(buffer).first(n)) != n) {
            track.problem = "cannot read the file: " + core::shortReadReason(bytes);
            return track;
        }
        collect(track, buffer, timeMs);
    }
    track.seconds = timeMs / 1000;
    return track;
}

}  // namespace

RecordingTrack readRecordingTrack(core::ByteSource& bytes) {
    core::TextTrackSource source(bytes);
    if (source.status() == core::TrackStatus::NotRecording) {
        const Mp4Layout layout = bytes.error().empty() ? mp4Layout(bytes) : Mp4Layout::Other;
        if (layout == Mp4Layout::Unfinished) {
            return walkUnfinished(bytes);
        }
        // A closed file's samples are not walked: its movie box says where they are.
        RecordingTrack refused;
        refused.problem = layout == Mp4Layout::Closed ? "its movie box is damaged or cut off"
                          : source.problem().empty()  ? "not a readable recording"
                                                      : source.problem();
        return refused;
    }
    RecordingTrack track;
    Buffer buffer{};
    std::uint32_t timeMs = 0;
    for (std::size_t n = 0; n < kMostRecords && source.read(buffer) == 0; ++n) {
        collect(track, buffer, timeMs);
    }
    track.seconds = timeMs / 1000;
    if (!bytes.error().empty()) {
        track.problem = "cannot read the file: " + bytes.error();
    }
    return track;
}

RecordingTrack readRecordingTrack(const core::RecordingLocation& where) {
    RecordingTrack refused;
    if (where.source) {
        return readRecordingTrack(*where.source);
    }
    if (where.card != nullptr) {
        core::CardFileSource source(where.card, where.cardDir, where.cardName);
        if (!source.valid()) {
            refused.problem = "no such recording on the card";
            return refused;
        }
        return readRecordingTrack(source);
    }
    const core::Fd fd(::open(where.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd.valid()) {
        refused.problem = std::string("cannot be opened: ") + std::strerror(errno);
    } else if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        refused.problem = "not a file";
    } else {
        core::FileSource source(fd.get(), static_cast<std::uint64_t>(info.st_size));
        return readRecordingTrack(source);
    }
    return refused;
}

}  // namespace qelv::events
