// Which recordings and which parts of them an exported clip is made of. A span that runs past
// the end of its recording continues at the start of the next one, as long as the recorder
// started that one within two seconds of this one's end with the same cameras: it split one
// drive into minutes, and the clip should not notice.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "storage/recording_name.h"

namespace qelv::media {

inline constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// The largest gap between one recording's end and the next one's start that still joins them.
inline constexpr std::int64_t kJoinToleranceNs = 2 * kNsPerSecond;

// One recording as the export meets it.
struct ExportRecording {
    std::array<std::string, 3> paths;  // front, rear, third; empty when the camera is absent
    core::RecordingName name;          // of the front file: start time, channel count
    // Of the pictures: the front file's movie less its lead.
    std::int64_t durationNs = 0;
    bool hasSound = false;  // the front file has sound: a sound track that holds samples
    // How long the front file's sound runs from the file's start; it may stop before the
    // pictures do.
    std::int64_t soundNs = 0;
    // How much longer the front file's first picture is stamped than the others: the recorder
    // stamps it with two frame periods, so every front picture after it comes one period
    // later than the same moment of the other cameras. 0 for a file stamped evenly.
    std::int64_t frontLeadNs = 0;
    // The recording the recorder started next, within the join tolerance of this one's end,
    // when it cannot be read, and why: "NAME: why". Empty when there is none.
    std::string nextUnreadable;
};

// The part of one recording that goes into the clip.
struct SpanSegment {
    std::size_t recording = 0;  // index into the list given to planSpan
    std::int64_t inNs = 0;      // from this position of the recording...
    std::int64_t outNs = 0;     // ...up to (not including) this one
    std::int64_t clipNs = 0;    // where the segment starts in the clip
};

struct SpanPlan {
    std::vector<SpanSegment> segments;
    std::int64_t durationNs = 0;
};

// Plans [fromNs, toNs) of recordings[0]; recordings[1...] are the recordings that follow it
// in the list, in order. Returns the plan, or why the span cannot be exported (a message for
// the user).
std::variant<SpanPlan, std::string> planSpan(const std::vector<ExportRecording>& recordings,
                                             std::int64_t fromNs, std::int64_t toNs);

// Seconds since 1970 of the recording's start, its local time read as UTC (the recorder's
// clock has no zone).
std::int64_t startSeconds(const core::RecordingName& name);  // 0 when the name holds none

// "2024-01-31 12:00:05": the recorder's clock `offsetNs` into the recording.
std::string momentText(const core::RecordingName& name, std::int64_t offsetNs);

// What an MP4 recording file says about itself: the movie's duration and whether it has a
// sound track. Nothing when the file cannot be read or is no MP4 with a movie box.
struct MovieFacts {
    std::int64_t durationNs = 0;
    bool hasSound = false;
    std::int64_t firstPictureLeadNs = 0;  // the first picture's extra period, see frontLeadNs
    std::int64_t soundNs = 0;             // the sound samples' total length
};
std::optional<MovieFacts> readMovieFacts(const std::string& path);

// The recording whose front file is `frontPath` (its rear and third files by the pairing
// rule, kept only when they exist), with its facts; nothing when the front file cannot be
// read as a recording.
std::optional<ExportRecording> recordingAt(const std::string& frontPath);

// Why `path` cannot be read as a recording, for the user: no file, a recording the recorder
// never finished (and what repairs it), or no MP4 movie.
std::string unreadableReason(const std::string& path);

// The front files in the folder of `frontPath` that start after it with the same channel
// count, earliest first: the candidates a span may continue into.
std::vector<std::string> followingFrontFiles(const std::string& frontPath);

// `first` and the recordings after it in its folder that continue it one after another, read
// until they reach `untilNs` from the start of `first` or one does not continue the last; one
// that would continue it but cannot be read is named in the last one's nextUnreadable.
std::vector<ExportRecording> continuedRecordings(ExportRecording first, std::int64_t untilNs);

// The latest end of a span that starts in chain[0], from chain[0]'s start: the end of the last
// recording the chain joins without a break.
std::int64_t spanLimitNs(const std::vector<ExportRecording>& chain);

}  // namespace qelv::media
