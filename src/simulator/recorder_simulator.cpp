#include "simulator/recorder_simulator.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>
#include <tuple>

#include "simulator/avi_writer.h"
#include "simulator/media_encoders.h"
#include "storage/movie_box.h"
#include "storage/size_class.h"

namespace qelv::sim {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kAudioBitrate = 24000;

struct ChannelPlan {
    int channel;
    core::CameraChannel camera;
    std::string_view cameraField;
    std::string_view folder;
};

constexpr std::array<ChannelPlan, 3> kChannels{{
    {1, core::CameraChannel::Front, "F", "FRONT"},
    {2, core::CameraChannel::Rear, "R1", "REAR"},
    {3, core::CameraChannel::Rear, "R2", "REAR"},
}};

double megabytesPerMinute(const ChannelPlan& plan, core::RecordingCategory category) {
    const double normal = plan.channel == 1 ? 70.0 : 36.0;
    return category == core::RecordingCategory::Normal ? normal : normal / 2;
}

char categoryLetter(core::RecordingCategory category) {
    switch (category) {
        case core::RecordingCategory::Normal:
            return 'N';
        case core::RecordingCategory::Event:
            return 'E';
        case core::RecordingCategory::Parking:
            return 'P';
        case core::RecordingCategory::User:
            return 'U';
    }
    return 'N';
}

int classOf(core::RecordingCategory category, std::uint64_t bytes) {
    return core::sizeClassOf(category, bytes / 1024);
}

// The unfinished file's zero tail, grown where needed so that the file's size class gives
// the resolution it was encoded at: the rebuild reads the resolution from the size.
std::uint64_t tailFor(const SimulatedFile& file, core::RecordingCategory category,
                      std::uint64_t dataEnd, std::uint64_t tail) {
    auto fits = [&](std::uint64_t size) {
        return &core::videoFormatFor(file.camera, classOf(category, size)) == file.video;
    };
    if (fits(dataEnd + tail)) {
        return tail;
    }
    const std::uint64_t unit = category == core::RecordingCategory::Normal ? 2 : 1;
    for (std::uint64_t mb : {15 * unit, 25 * unit, 30 * unit}) {
        const std::uint64_t size = mb * 1024 * 1024;
        if (size > dataEnd + tail && fits(size)) {
            return size - dataEnd;
        }
    }
    throw std::runtime_error("no preallocated size gives " + file.path.string() +
                             " the size class of its resolution; choose other --seconds");
}

// Samples in time order; at one instant the sound frame comes first, then the telemetry
// record, then the video frame. Times count in 1/48000 s: a video frame lasts 1600, a sound
// frame 3072, a record 48000. A sound frame always lasts longer than a video frame, so no two
// sound frames meet, and the file ends with a video frame: every sample has a successor the
// index rebuild's walk can find.
std::vector<Sample> interleave(std::vector<Sample> video,
                               std::vector<std::vector<std::uint8_t>> audio,
                               std::vector<std::vector<std::uint8_t>> records) {
    std::vector<Sample> out;
    out.reserve(video.size() + audio.size() + records.size());
    std::size_t a = 0, r = 0;
    for (std::size_t v = 0; v < video.size(); ++v) {
        const std::uint64_t now = v * 1600;
        for (;;) {
            const bool soundDue = a < audio.size() && a * 3072 <= now;
            const bool recordDue = r < records.size() && r * 48000 <= now;
            if (soundDue && (!recordDue || a * 3072 <= r * 48000)) {
                out.push_back({SampleKind::Audio, std::move(audio[a++]), false});
            } else if (recordDue) {
                out.push_back({SampleKind::Telemetry, std::move(records[r++]), false});
            } else {
                break;
            }
        }
        out.push_back(std::move(video[v]));
    }
    return out;
}

}  // namespace

std::string_view categoryFolder(core::RecordingCategory category) {
    switch (category) {
        case core::RecordingCategory::Normal:
            return "NOR";
        case core::RecordingCategory::Event:
            return "EVT";
        case core::RecordingCategory::Parking:
            return "MOT";
        case core::RecordingCategory::User:
            return "USR";
    }
    return "NOR";
}

std::string recordingFileName(const LocalTime& t, int channels, core::RecordingCategory category,
                              std::string_view camera) {
    std::array<char, 64> name{};
    std::snprintf(name.data(), name.size(), "%04d%02d%02d_%02d%02d%02d_%dCH_%c_%.*s.mp4", t.year,
                  t.month, t.day, t.hour, t.minute, t.second, channels, categoryLetter(category),
                  static_cast<int>(camera.size()), camera.data());
    return name.data();
}

namespace {

struct Timing {
    int frames;
    int audioFrames;
};

Timing timingOf(const RecordingRequest& request) {
    if (request.channels < 1 || request.channels > 3 || request.seconds < 1) {
        throw std::invalid_argument("a recording has 1 to 3 channels and at least one second");
    }
    const int frames = request.seconds * 30;
    const double lastFrameTime = double(frames - 1) / 30.0;
    return {frames, static_cast<int>(lastFrameTime * 16000.0 / 1024.0) + 1};
}

double channelBytes(const ChannelPlan& plan, const RecordingRequest& request) {
    return megabytesPerMinute(plan, request.category) * kMiB * request.seconds / 60.0 *
           request.bitrateScale;
}

std::vector<Sample> channelVideo(const ChannelPlan& plan, const RecordingRequest& request,
                                 const core::mp4::VideoFormat& format, int frames,
                                 const std::string& label) {
    const double bytes = channelBytes(plan, request);
    const int videoKbps = std::max(200, static_cast<int>(bytes * 8 / request.seconds / 1000) -
                                            (plan.channel == 1 ? kAudioBitrate / 1000 + 1 : 0));
    // Pictures shared by the recordings that ask for it, by camera, size, length and rate.
    static std::mutex sharedLock;
    static std::map<std::tuple<int, int, int, int>, std::vector<Sample>> shared;
    const auto key = std::tuple(plan.channel, format.height, frames, videoKbps);
    if (request.samePictures) {
        const std::lock_guard lock(sharedLock);
        if (const auto found = shared.find(key); found != shared.end()) {
            return found->second;
        }
    }
    if (request.progress) {
        request.progress(label + ": encoding");
    }
    std::vector<Sample> video =
        encodeVideo({&format, plan.channel, frames, videoKbps, 20,
                     request.seed * 7 + static_cast<std::uint64_t>(plan.channel) - 1},
                    [&](int done) {
                        if (request.progress) {
                            request.progress(label + ": " + std::to_string(done) + "/" +
                                             std::to_string(frames) + " frames");
                        }
                    });
    if (request.samePictures) {
        const std::lock_guard lock(sharedLock);
        shared.emplace(key, video);
    }
    return video;
}

std::vector<std::vector<std::uint8_t>> telemetryRecords(const RecordingRequest& request,
                                                        std::vector<PlantedIncident>& planted) {
    DrivePlan drive = planDrive(request.seconds, request.seed, request.drive);
    std::vector<std::vector<std::uint8_t>> records;
    for (int s = 0; s < request.seconds; ++s) {
        records.push_back(
            telemetryRecord(drive.seconds[static_cast<std::size_t>(s)], request.start, s));
    }
    planted = std::move(drive.incidents);
    return records;
}

}  // namespace

SimulatedCardFile simulateCardRecording(const RecordingRequest& request) {
    const Timing timing = timingOf(request);
    static const std::array<const core::mp4::VideoFormat*, 3> kFormats{
        &core::mp4::kVideo1080, &core::mp4::kVideo720, &core::mp4::kVideo480};
    SimulatedCardFile file;
    std::string name = recordingFileName(request.start, request.channels, request.category, "F");
    file.name = name.substr(0, name.size() - 4) + ".avi";
    AviContent content;
    for (int c = 0; c < request.channels; ++c) {
        const ChannelPlan& plan = kChannels[static_cast<std::size_t>(c)];
        const auto& format = *kFormats[static_cast<std::size_t>(c)];
        content.video.push_back(
            {&format, channelVideo(plan, request, format, timing.frames,
                                   file.name + " camera " + std::to_string(plan.channel))});
    }
    content.sound = encodeAudio(timing.audioFrames, request.seed, 0);
    content.records = telemetryRecords(request, file.incidents);
    file.bytes = writeAvi(content);
    // The recorder's clock runs nine hours ahead of UTC.
    file.time = static_cast<std::int32_t>(unixSeconds(request.start) - 9 * 3600);
    file.frames = timing.frames;
    file.audioFrames = timing.audioFrames;
    file.records = request.seconds;
    return file;
}

SimulatedRecording simulateRecording(const RecordingRequest& request) {
    const Timing timing = timingOf(request);
    SimulatedRecording result;
    result.frames = timing.frames;
    result.records = request.seconds;
    result.audioFrames = timing.audioFrames;
    if (request.soundSeconds >= 0) {
        result.audioFrames =
            std::min(result.audioFrames,
                     static_cast<int>(request.soundSeconds * core::mp4::kAudioSampleRate /
                                      core::mp4::kAudioFrameSamples));
    }

    for (int c = 0; c < request.channels; ++c) {
        const ChannelPlan& plan = kChannels[static_cast<std::size_t>(c)];
        SimulatedFile file{plan.channel, plan.camera, {}, nullptr, 0, {}, {}, {}};
        file.path =
            request.cardRoot / categoryFolder(request.category) / plan.folder /
            recordingFileName(request.start, request.channels, request.category, plan.cameraField);
        const std::uint64_t expected = static_cast<std::uint64_t>(channelBytes(plan, request)) +
                                       (request.complete ? 0 : request.tailBytes);
        file.video = &core::videoFormatFor(plan.camera, classOf(request.category, expected));
        auto video =
            channelVideo(plan, request, *file.video, result.frames, file.path.filename().string());
        std::vector<std::vector<std::uint8_t>> audio, records;
        if (plan.channel == 1) {
            audio = encodeAudio(result.audioFrames, request.seed, 0);
            records = telemetryRecords(request, result.incidents);
        }
        file.layout =
            RecordingLayout(interleave(std::move(video), std::move(audio), std::move(records)));
        // Alternative encodings of the same sound, for frames the walk would misread.
        std::vector<std::vector<std::vector<std::uint8_t>>> variants;
        const bool walkable = makeWalkable(
            file.layout,
            [&](std::size_t index, int attempt) -> std::optional<std::vector<std::uint8_t>> {
                if (attempt >= 4) {
                    return std::nullopt;
                }
                while (variants.size() <= static_cast<std::size_t>(attempt)) {
                    variants.push_back(encodeAudio(result.audioFrames, request.seed,
                                                   static_cast<int>(variants.size()) + 1));
                }
                std::size_t audioIndex = 0;
                for (std::size_t i = 0; i < index; ++i) {
                    audioIndex += file.layout.samples()[i].kind == SampleKind::Audio ? 1 : 0;
                }
                return variants[static_cast<std::size_t>(attempt)][audioIndex];
            });
        if (!walkable) {
            throw std::runtime_error("cannot lay out " + file.path.string() +
                                     " so that its samples can be found again");
        }
        std::filesystem::create_directories(file.path.parent_path());
        const std::uint64_t tail =
            request.complete
                ? 0
                : tailFor(file, request.category, file.layout.dataEnd(), request.tailBytes);
        file.file = writeRecording(file.layout, file.path, request.complete, plan.camera,
                                   *file.video, tail);
        file.moov = core::buildMovieBox(file.layout.tables(), plan.camera, *file.video);
        file.sizeClass = classOf(request.category, file.file.size);
        result.files.push_back(std::move(file));
    }
    return result;
}

}  // namespace qelv::sim
