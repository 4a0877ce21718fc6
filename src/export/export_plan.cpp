#include "export/export_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "storage/byte_source.h"
#include "telemetry/box_reader.h"

namespace qelv::media {

namespace {

constexpr std::int64_t kFps = 30;

std::string seconds(std::int64_t ns) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ns) / kNsPerSecond);
    return text;
}

std::string fileName(const ExportRecording& r) {
    return std::filesystem::path(r.paths[0]).filename().string();
}

// The next recording continues `current` when the recorder started it within the tolerance
// of the current one's end, with the same cameras.
bool continues(const ExportRecording& current, const ExportRecording& next) {
    if (next.name.channels != current.name.channels) {
        return false;
    }
    const std::int64_t endNs = startSeconds(current.name) * kNsPerSecond + current.durationNs;
    const std::int64_t gapNs = startSeconds(next.name) * kNsPerSecond - endNs;
    return gapNs >= -kJoinToleranceNs && gapNs <= kJoinToleranceNs;
}

std::uint64_t bigEndian(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        v = (v << 8) | b[at + i];
    }
    return v;
}

// The media header's payload holds the time scale at 12 (version 0) or 20 (version 1); the
// time-to-sample box holds version and flags, an entry count, then (count, delta) pairs.
// A first entry of one sample whose delta is twice the next entry's: the first picture is
// stamped one period longer than the others.
// A track's time scale (from the media header, 0 when it cannot be read) and its
// time-to-sample box.
struct TimeTable {
    std::uint64_t scale = 0;
    std::optional<core::Box> stts;
};
TimeTable timeTableOf(core::BoxReader& reader, const core::Box& mdia) {
    const auto mdhd = reader.child(mdia, "mdhd");
    const auto minf = reader.child(mdia, "minf");
    const auto stbl = minf ? reader.child(*minf, "stbl") : std::nullopt;
    const auto head =
        mdhd ? reader.read(mdhd->payload, std::min<std::uint64_t>(mdhd->size, 24)) : std::nullopt;
    if (!head || head->size() < 16 || ((*head)[0] == 1 && head->size() < 24)) {
        return {};
    }
    return {bigEndian(*head, (*head)[0] == 1 ? 20 : 12, 4),
            stbl ? reader.child(*stbl, "stts") : std::nullopt};
}

std::int64_t firstPictureLead(core::BoxReader& reader, const core::Box& mdia) {
    const auto [scale, stts] = timeTableOf(reader, mdia);
    const auto table = stts && stts->size >= 24 ? reader.read(stts->payload, 24) : std::nullopt;
    if (scale == 0 || !table || bigEndian(*table, 4, 4) < 2) {
        return 0;
    }
    const std::uint64_t firstCount = bigEndian(*table, 8, 4), firstDelta = bigEndian(*table, 12, 4);
    const std::uint64_t nextDelta = bigEndian(*table, 20, 4);
    if (firstCount != 1 || nextDelta == 0 || firstDelta != 2 * nextDelta) {
        return 0;
    }
    return static_cast<std::int64_t>(nextDelta * kNsPerSecond / scale);
}

// The total length of a track's samples: the sum of its time-to-sample entries (count and
// delta each), in the media header's time scale. The table is read up to a bound; a longer one
// counts as far as read.
std::int64_t trackLengthNs(core::BoxReader& reader, const core::Box& mdia) {
    constexpr std::uint64_t kMostEntries = 1 << 16;
    const auto [scale, stts] = timeTableOf(reader, mdia);
    const auto count = stts && stts->size >= 8 ? reader.read(stts->payload, 8) : std::nullopt;
    if (scale == 0 || !count) {
        return 0;
    }
    const std::uint64_t entries =
        std::min<std::uint64_t>({bigEndian(*count, 4, 4), (stts->size - 8) / 8, kMostEntries});
    const auto table = entries > 0 ? reader.read(stts->payload + 8, entries * 8) : std::nullopt;
    if (!table) {
        return 0;
    }
    std::uint64_t units = 0;
    for (std::uint64_t e = 0; e < entries; ++e) {
        // 32-bit count times 32-bit delta, at most 2^16 of them: no overflow.
        units += bigEndian(*table, e * 8, 4) * bigEndian(*table, e * 8 + 4, 4);
    }
    return static_cast<std::int64_t>(static_cast<long double>(units) * kNsPerSecond / scale);
}

}  // namespace

std::variant<SpanPlan, std::string> planSpan(const std::vector<ExportRecording>& recordings,
                                             std::int64_t fromNs, std::int64_t toNs) {
    if (recordings.empty()) {
        return std::string("no recording given");
    }
    if (fromNs < 0) {
        return "the span starts before the recording (" + seconds(fromNs) + ")";
    }
    if (toNs <= fromNs) {
        return "the span ends (" + seconds(toNs) + ") before it starts (" + seconds(fromNs) + ")";
    }
    if (fromNs >= recordings[0].durationNs) {
        return "the span starts at " + seconds(fromNs) + ", after the end of " +
               fileName(recordings[0]) + " (" + seconds(recordings[0].durationNs) + ")";
    }
    SpanPlan plan;
    std::int64_t inNs = fromNs;
    std::int64_t leftNs = toNs - fromNs;
    for (std::size_t k = 0;; ++k) {
        const ExportRecording& r = recordings[k];
        const std::int64_t outNs = std::min(r.durationNs, inNs + leftNs);
        plan.segments.push_back({k, inNs, outNs, plan.durationNs});
        plan.durationNs += outNs - inNs;
        leftNs -= outNs - inNs;
        if (leftNs <= 0) {
            return plan;
        }
        if (k + 1 >= recordings.size() || !continues(r, recordings[k + 1])) {
            // A span asked up to the recorder's round minute ends with the movie, which the
            // recorder closes a moment before it.
            if (leftNs < kNsPerSecond / kFps) {
                return plan;
            }
            const std::string end = "the span ends " + seconds(leftNs) + " past the end of " +
                                    fileName(r) + " (" + seconds(r.durationNs) + ")";
            if (!r.nextUnreadable.empty() && k + 1 == recordings.size()) {
                return end + "; the recording that follows it cannot be read: " + r.nextUnreadable;
            }
            return end + " and no recording with the same cameras follows within two seconds";
        }
        // The recorder ends a movie a moment before its last picture does; the part before a
        // joint is taken as whole frame periods, so that the next recording's pictures fall
        // on the clip's frame times.
        const std::int64_t takenNs = outNs - inNs;
        const std::int64_t wholeNs =
            std::llround(static_cast<double>(takenNs) * kFps / static_cast<double>(kNsPerSecond)) *
            kNsPerSecond / kFps;
        plan.durationNs += wholeNs - takenNs;
        leftNs -= wholeNs - takenNs;
        plan.segments.back().outNs = inNs + wholeNs;
        if (leftNs <= 0) {
            return plan;
        }
        inNs = 0;
    }
}

std::int64_t startSeconds(const core::RecordingName& name) {
    return core::startSecondsOf(name).value_or(0);
}

std::string momentText(const core::RecordingName& name, std::int64_t offsetNs) {
    return core::recorderClockText(startSeconds(name) + offsetNs / kNsPerSecond);
}

// The movie header's payload: version (1 byte) and flags (3), then creation and modification
// times, the time scale and the duration; the times and the duration are 32-bit in version 0
// and 64-bit in version 1. A track's handler box holds version and flags, 4 reserved bytes
// and the handler type ("vide", "soun", "sdsm").
std::optional<MovieFacts> readMovieFacts(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    core::FileSource bytes(fd, static_cast<std::uint64_t>(info.st_size));
    core::BoxReader reader(bytes);
    std::optional<MovieFacts> facts;
    for (const core::Box& top : reader.boxes(0, reader.size())) {
        if (top.type != "moov") {
            continue;
        }
        const auto mvhd = reader.child(top, "mvhd");
        const auto head = mvhd ? reader.read(mvhd->payload, std::min<std::uint64_t>(mvhd->size, 32))
                               : std::nullopt;
        if (!head || head->size() < 20) {
            break;
        }
        const bool v1 = (*head)[0] == 1;
        if (v1 && head->size() < 32) {
            break;
        }
        const std::uint64_t scale = bigEndian(*head, v1 ? 20 : 12, 4);
        const std::uint64_t duration = bigEndian(*head, v1 ? 24 : 16, v1 ? 8 : 4);
        if (scale == 0 || duration > (std::uint64_t{1} << 40)) {
            break;
        }
        facts = MovieFacts{static_cast<std::int64_t>(duration * kNsPerSecond / scale), false, 0};
        for (const core::Box& trak : reader.boxes(top.payload, top.payload + top.size)) {
            const auto mdia = trak.type == "trak" ? reader.child(trak, "mdia") : std::nullopt;
            const auto hdlr = mdia ? reader.child(*mdia, "hdlr") : std::nullopt;
            const auto type =
                hdlr && hdlr->size >= 12 ? reader.read(hdlr->payload + 8, 4) : std::nullopt;
            if (type && std::equal(type->begin(), type->end(), "soun") && !facts->hasSound) {
                facts->hasSound = true;
                facts->soundNs = trackLengthNs(reader, *mdia);
            }
            if (type && std::equal(type->begin(), type->end(), "vide") &&
                facts->firstPictureLeadNs == 0) {
                facts->firstPictureLeadNs = firstPictureLead(reader, *mdia);
            }
        }
        break;
    }
    ::close(fd);
    return facts;
}

std::optional<ExportRecording> recordingAt(const std::string& frontPath) {
    const auto facts = readMovieFacts(frontPath);
    if (!facts) {
        return std::nullopt;
    }
    ExportRecording r;
    r.paths[0] = frontPath;
    r.name = core::parseRecordingName(std::filesystem::path(frontPath).filename().string());
    r.frontLeadNs = facts->firstPictureLeadNs;
    r.durationNs = std::max<std::int64_t>(0, facts->durationNs - r.frontLeadNs);
    r.hasSound = facts->hasSound && facts->soundNs > 0;
    r.soundNs = facts->soundNs;
    const core::CompanionPaths companions = core::companionPathsOf(frontPath);
    std::error_code ignored;
    // A camera the name promises stays in the list even when its file is gone: its place
    // in the clip is then labelled, not silently dropped.
    const auto wanted = [&](int camera, const std::optional<std::string>& path) {
        if (!path || *path == frontPath) {
            return false;
        }
        return r.name.channels > 0 ? r.name.channels >= camera
                                   : std::filesystem::is_regular_file(*path, ignored);
    };
    if (wanted(2, companions.second)) {
        r.paths[1] = *companions.second;
    }
    if (wanted(3, companions.third)) {
        r.paths[2] = *companions.third;
    }
    return r;
}

// A recording the recorder never finished holds its samples in a media-data box that runs to
// the end of the file, after its file-type box, and no movie box.
std::string unreadableReason(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return "no such file";
    }
    if (!std::filesystem::is_regular_file(path, error)) {
        return "not a regular file";
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return "it cannot be opened";
    }
    core::FileSource bytes(fd, static_cast<std::uint64_t>(info.st_size));
    core::BoxReader reader(bytes);
    bool fileType = false, movie = false;
    for (const core::Box& top : reader.boxes(0, reader.size())) {
        fileType = fileType || top.type == "ftyp";
        movie = movie || top.type == "moov";
    }
    ::close(fd);
    if (fileType && !movie) {
        return "the recording is unfinished (the recorder never wrote its MP4 index); 'qelv "
               "repair " +
               path + "' or the ALL view of the recording list repairs it";
    }
    return "it is no MP4 recording with a readable index";
}

std::vector<std::string> followingFrontFiles(const std::string& frontPath) {
    const std::filesystem::path front(frontPath);
    const core::RecordingName own = core::parseRecordingName(front.filename().string());
    const std::int64_t ownStart = startSeconds(own);
    std::vector<std::pair<std::int64_t, std::string>> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(
             front.parent_path().empty() ? "." : front.parent_path(), error)) {
        const std::string file = entry.path().filename().string();
        const core::RecordingName name = core::parseRecordingName(file);
        if (name.companionFile || core::nameField(file, 4) != "F.mp4" ||
            name.channels != own.channels || startSeconds(name) <= ownStart) {
            continue;
        }
        found.emplace_back(startSeconds(name), entry.path().string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& [start, path] : found) {
        paths.push_back(std::move(path));
    }
    return paths;
}

std::vector<ExportRecording> continuedRecordings(ExportRecording first, std::int64_t untilNs) {
    std::vector<ExportRecording> chain{std::move(first)};
    std::int64_t endNs = chain[0].durationNs;
    if (endNs >= untilNs) {
        return chain;
    }
    for (const std::string& next : followingFrontFiles(chain[0].paths[0])) {
        auto recording = recordingAt(next);
        // The chain stops at a recording that cannot be read or does not continue the last;
        // one whose name says it would continue it is named, so that the user learns why.
        if (!recording) {
            ExportRecording named;
            named.paths[0] = next;
            named.name = core::parseRecordingName(std::filesystem::path(next).filename().string());
            if (continues(chain.back(), named)) {
                chain.back().nextUnreadable = fileName(named) + ": " + unreadableReason(next);
            }
            break;
        }
        if (!continues(chain.back(), *recording)) {
            break;
        }
        endNs += recording->durationNs;
        chain.push_back(std::move(*recording));
        if (endNs >= untilNs) {
            break;
        }
    }
    return chain;
}

std::int64_t spanLimitNs(const std::vector<ExportRecording>& chain) {
    std::int64_t endNs = 0;
    for (std::size_t k = 0; k < chain.size(); ++k) {
        if (k > 0 && !continues(chain[k - 1], chain[k])) {
            break;
        }
        endNs = k + 1 < chain.size() && continues(chain[k], chain[k + 1])
                    ? endNs + std::llround(static_cast<double>(chain[k].durationNs) * kFps /
                                           static_cast<double>(kNsPerSecond)) *
                                  kNsPerSecond / kFps
                    : endNs + chain[k].durationNs;
    }
    return endNs;
}

}  // namespace qelv::media
