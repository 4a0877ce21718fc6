#include "export/clip_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "export/clip_check.h"
#include "export/export_graph.h"
#include "export/overlay_timeline.h"
#include "playback/channel_files.h"

namespace qelv::media {

namespace {

namespace fs = std::filesystem;

const char* const kCameraNames[3] = {"FRONT", "REAR", "THIRD"};

// The temporary file the clip is written to, beside the target (so that the final rename
// stays on one file system); removed unless kept.
class PartFile {
public:
    // Empty path() and error() set when the folder cannot take a new file.
    explicit PartFile(const fs::path& target) {
        const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        // A new name of our own rather than mkstemp's, which would make the clip private:
        // it gets the modes of any new file.
        std::random_device random;
        for (int tries = 0; tries < 100; ++tries) {
            // Short, so that a target whose own name is near the limit still gets one.
            const std::string name = ".qelv-export-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(random()) + ".part";
            const std::string candidate = (folder / name).string();
            const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                ::close(fd);
                m_path = candidate;
                return;
            }
            if (errno != EEXIST) {
                break;
            }
        }
        m_error = std::strerror(errno);
    }
    ~PartFile() {
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
            ::unlink(indexPath().c_str());
        }
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    const std::string& path() const { return m_path; }
    // Where the muxer keeps the clip's pictures while it writes the index in front of them:
    // beside the clip, on the target's disk, and removed with it.
    std::string indexPath() const { return m_path + ".index"; }
    const std::string& error() const { return m_error; }
    // Moves the file to `target`; false (the file still removed later) when it cannot.
    bool keepAs(const fs::path& target) {
        if (::rename(m_path.c_str(), target.c_str()) != 0) {
            m_error = std::strerror(errno);
            return false;
        }
        m_path.clear();
        return true;
    }

private:
    std::string m_path;
    std::string m_error;
};

// Why the clip cannot be written to `target`, or empty.
std::string targetProblem(const ExportRequest& request) {
    const fs::path target(request.outPath);
    std::error_code error;
    if (request.outPath.empty() || target.filename().empty()) {
        return "no output file given";
    }
    if (fs::is_directory(target, error)) {
        return request.outPath + " is a folder";
    }
    // The clip replaces an existing file by a rename: a device, a pipe or a link in its place
    // would be replaced, not written to.
    const fs::file_status existing = fs::symlink_status(target, error);
    if (!error && fs::exists(existing) && !fs::is_regular_file(existing)) {
        return request.outPath +
               (fs::is_symlink(existing) ? " is a symbolic link" : " is not a regular file") +
               "; choose another name";
    }
    // Writing over a recording would destroy the evidence the clip is made from.
    for (const ExportRecording& r : request.recordings) {
        for (const std::string& path : r.paths) {
            if (!path.empty() && fs::equivalent(path, target, error)) {
                return request.outPath + " is one of the recordings";
            }
        }
    }
    return {};
}

std::string secondsText(std::int64_t ns) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ns) / kNsPerSecond);
    return text;
}

// Where the pictures of a rear or third camera's file end, when that is more than a picture
// before the segment's end; their place is black from there.
std::optional<std::int64_t> earlyEnd(const std::string& path, const SpanSegment& segment) {
    const auto facts = readMovieFacts(path);
    if (!facts) {
        return std::nullopt;
    }
    const std::int64_t endNs = facts->durationNs - facts->firstPictureLeadNs;
    if (endNs >= segment.outNs - kNsPerSecond / kExportFps) {
        return std::nullopt;
    }
    return endNs;
}

// What the files say before anything is decoded: the sources left out, the labels of their
// places and why, for the user; or why the clip cannot be made.
struct Survey {
    std::set<SourceKey> leftOut;
    std::vector<PlaceLabel> labels;
    std::vector<std::string> notes;
    std::string error;
};

// The front camera is the clip; a rear or third file that cannot be read, or whose pictures
// end early, leaves its place black, with a label saying why. A segment whose front file has
// no sound there gives none.
Survey surveySources(const ExportRequest& request, const SpanPlan& plan) {
    Survey survey;
    const auto shown = layoutRegions(request.layout, request.width, request.height);
    for (std::size_t k = 0; k < plan.segments.size(); ++k) {
        const SpanSegment& s = plan.segments[k];
        const ExportRecording& r = request.recordings[s.recording];
        if (const auto problem = unplayable(r.paths[0])) {
            survey.error = "cannot read " + r.paths[0] + ": " + *problem;
            return survey;
        }
        // The sound is cued with the pictures, the front's lead later.
        if (r.soundNs <= s.inNs + r.frontLeadNs) {
            survey.leftOut.insert({k, kSoundChannel});
            if (request.sound) {
                survey.notes.push_back(
                    r.paths[0] + " (sound): " +
                    (r.hasSound ? "its sound ends before the span" : "the file has no sound"));
            }
        }
        for (int c = 1; c < 3; ++c) {
            const std::string& path = r.paths[static_cast<std::size_t>(c)];
            const auto problem = path.empty() ? std::nullopt : unplayable(path);
            if (problem) {
                survey.leftOut.insert({k, c});
                survey.labels.push_back({k, c, std::string(kCameraNames[c]) + ": " + *problem});
                survey.notes.push_back(path + ": " + *problem);
            } else if (const auto endNs = path.empty() ? std::nullopt : earlyEnd(path, s);
                       endNs && shown[static_cast<std::size_t>(c)]) {
                const std::string at = secondsText(*endNs);
                survey.labels.push_back(
                    {k, c, std::string(kCameraNames[c]) + ": its file ends at " + at, *endNs});
                survey.notes.push_back(path + ": its pictures end at " + at + ", before the " +
                                       secondsText(s.outNs) + " the span takes");
            }
        }
    }
    return survey;
}

}  // namespace

ClipExport::ClipExport(ExportRequest request) : m_request(std::move(request)) {}

ClipExport::~ClipExport() {
    cancel();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool ClipExport::start(ProgressFn progress, DoneFn done) {
    {
        const std::lock_guard guard(m_lock);
        if (m_started) {
            return false;
        }
        m_started = true;
    }
    m_thread = std::thread([this, progress = std::move(progress), done = std::move(done)] {
        ExportResult result = exportClip(progress);
        if (done) {
            done(result);
        }
        {
            const std::lock_guard guard(m_lock);
            m_result = std::move(result);
        }
        m_done.notify_all();
    });
    return true;
}

void ClipExport::cancel() {
    m_cancel = true;
}

bool ClipExport::finished() const {
    const std::lock_guard guard(m_lock);
    return m_result.has_value();
}

ExportResult ClipExport::wait() {
    std::unique_lock guard(m_lock);
    if (!m_started) {
        ExportResult result;
        result.error = "the export was not started";
        return result;
    }
    m_done.wait(guard, [this] { return m_result.has_value(); });
    return *m_result;
}

ExportResult ClipExport::run(const ProgressFn& progress) {
    {
        const std::lock_guard guard(m_lock);
        if (m_started) {
            ExportResult result;
            result.error = "the export was started before";
            return result;
        }
        m_started = true;
    }
    ExportResult result = exportClip(progress);
    const std::lock_guard guard(m_lock);
    m_result = result;
    return result;
}

ExportResult ClipExport::exportClip(const ProgressFn& progress) {
    const auto started = std::chrono::steady_clock::now();
    ExportResult result;
    result.outPath = m_request.outPath;
    const auto finish = [&](std::string error) {
        result.ok = error.empty();
        result.cancelled = !result.ok && m_cancel;
        result.error = result.cancelled ? "cancelled" : std::move(error);
        result.wallMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
        return result;
    };
    if (m_request.width < 64 || m_request.width > 7680 || m_request.height < 64 ||
        m_request.height > 4320 || m_request.width % 2 != 0 || m_request.height % 2 != 0) {
        return finish("the picture size must be even, 64 x 64 to 7680 x 4320");
    }
    auto planned = planSpan(m_request.recordings, m_request.fromNs, m_request.toNs);
    if (const auto* problem = std::get_if<std::string>(&planned)) {
        return finish(*problem);
    }
    const SpanPlan plan = std::get<SpanPlan>(std::move(planned));
    result.durationNs = plan.durationNs;

    for (const SpanSegment& segment : plan.segments) {
        result.recordingsUsed.push_back(m_request.recordings[segment.recording].paths[0]);
    }
    Survey survey = surveySources(m_request, plan);
    if (!survey.error.empty()) {
        return finish(survey.error);
    }
    std::set<SourceKey>& leftOut = survey.leftOut;
    std::vector<PlaceLabel>& labels = survey.labels;
    result.leftOut = std::move(survey.notes);
    // The clip has sound while a segment gives some; silence fills the rest. A sound track
    // without a sample would make players refuse the whole clip.
    const auto anySound = [&] {
        for (std::size_t k = 0; k < plan.segments.size(); ++k) {
            if (!leftOut.contains({k, kSoundChannel})) {
                return m_request.sound;
            }
        }
        return false;
    };
    if (const std::string problem = targetProblem(m_request); !problem.empty()) {
        return finish("cannot write the clip: " + problem);
    }
    std::optional<OverlayTimeline> overlay;
    if (m_request.overlay) {
        overlay.emplace(m_request.recordings, plan);
    }
    // A camera or the sound that fails while the clip is made is left out and the clip made
    // again; at most two cameras and the sound of each segment can go.
    for (std::size_t attempt = 0; attempt < 3 * plan.segments.size() + 1; ++attempt) {
        const bool sound = anySound();
        PartFile part(m_request.outPath);
        if (part.path().empty()) {
            return finish("cannot write " + m_request.outPath + ": " + part.error());
        }
        GraphOutcome outcome;
        {
            ExportGraph graph(m_request, plan, overlay ? &*overlay : nullptr, labels, leftOut,
                              sound, part.path(), part.indexPath());
            outcome = graph.run(m_cancel, progress);
        }
        if (outcome.ok && outcome.frames == 0) {
            // Nothing to show (a front file without pictures in the span): no clip at all.
            return finish("no picture of the span could be decoded from " +
                          m_request.recordings[0].paths[0]);
        }
        if (outcome.ok) {
            // Written is not yet readable: the clip is opened once as a player opens it.
            if (const auto problem = clipOpenProblem(part.path(), sound)) {
                return finish("the written clip does not open (" + *problem + "); it was removed");
            }
            if (!part.keepAs(m_request.outPath)) {
                return finish("cannot write " + m_request.outPath + ": " + part.error());
            }
            result.frames = outcome.frames;
            result.sound = sound;
            return finish({});
        }
        if (m_cancel || !outcome.failed || outcome.failed->second == 0 ||
            leftOut.contains(*outcome.failed)) {
            return finish(outcome.error);
        }
        const auto [segment, channel] = *outcome.failed;
        leftOut.insert(*outcome.failed);
        const ExportRecording& r = m_request.recordings[plan.segments[segment].recording];
        if (channel == kSoundChannel) {
            result.leftOut.push_back(r.paths[0] + " (sound): " + outcome.error);
        } else {
            labels.push_back({segment, channel, std::string(kCameraNames[channel]) + ": damaged"});
            result.leftOut.push_back(r.paths[static_cast<std::size_t>(channel)] + ": " +
                                     outcome.error);
        }
    }
    return finish("the clip could not be made");
}

}  // namespace qelv::media
