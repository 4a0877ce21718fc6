// qelv events: the hard braking, impacts and swerves of every recording of a card, a folder,
// a WyFS image or single files, most severe first. Only reads: a recording whose index was
// never written is read through the rebuild's sample walk, and nothing is written to it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/options.h"
#include "events/incident_detector.h"
#include "events/recording_track.h"
#include "storage/recording_name.h"
#include "wyfs/wyfs.h"
#include "wyfs/wyfs_listing.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: qelv events [options] PATH...\n"
    "       qelv events [options] --wyfs IMAGE [DIR/NAME...]\n"
    "Finds hard braking, impacts and swerves in the telemetry of every recording of a card\n"
    "root or a folder (the front files in every folder below it), of single files, or of a\n"
    "WyFS card image (all of it, or the recordings named), and prints one JSON line per\n"
    "incident, most severe first:\n"
    "  file, category (NOR, EVT, MOT, USR or NONE, from the name), start (the recorder's\n"
    "  local time of the incident: the recording's start from its name plus offsetMs; null\n"
    "  when the name holds none), offsetMs and endOffsetMs (its first and last second in the\n"
    "  recording), kind (braking, impact, swerve), severity (peak / threshold: 1.00 is just\n"
    "  at it, one scale for every kind), speedKmh {before, after} (null without a fix near),\n"
    "  peakG (braking: the deceleration the GPS speed shows; impact: the blow above the\n"
    "  recording's resting level; swerve: its sideways part), brakingKmhPerS (braking only,\n"
    "  else null), unfinished (the recording's index was never written; it is read as it is).\n"
    "options:\n"
    "  --sort severity|time  most severe first (ties in time order), or in time order\n"
    "  --csv                 CSV with a header line instead of JSON\n"
    "  --min-severity X      only incidents of severity X or more\n"
    "  --braking KMH_PER_S   speed lost in one second that is hard braking (default 12)\n"
    "  --braking-from KMH    braking counts from this speed up (default 10)\n"
    "  --impact G            a blow above the resting level that is an impact (default 1.5)\n"
    "  --swerve G            a sideways push that is a swerve (default 0.6)\n"
    "A recording that cannot be read is skipped with a note on standard error.\n"
    "Exit status: 0; 1 when a PATH, the image or a recording named cannot be read (the\n"
    "others are still listed); 2 for a usage error.\n";

// Cards with more recordings than this show a progress bar on a terminal.
constexpr std::size_t kProgressFrom = 300;

struct Recording {
    std::string label;     // what the lines name: the path, or IMAGE:DIR/NAME
    std::string fileName;  // the name alone: category and start time
    std::string cardDir;   // the WyFS directory; empty for a file
    bool named = false;    // given by name: failing to read it fails the command
};

struct Found {
    std::size_t recording;  // index into the recordings
    events::Incident incident;
    bool unfinished;
};

bool isFrontRecording(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const core::RecordingName name = core::parseRecordingName(path.filename().string());
    return (extension == ".mp4" || extension == ".avi") &&
           name.camera == core::CameraChannel::Front && !name.companionFile;
}

// The front recordings below `root`, in path order; nothing (and the reason on `err`) when the
// folder cannot be read. Linked folders are not followed, so a loop of links ends.
std::optional<std::vector<std::string>> recordingsBelow(const std::string& root,
                                                        std::ostream& err) {
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    std::vector<std::string> found;
    while (!error && it != fs::recursive_directory_iterator()) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && isFrontRecording(it->path())) {
            found.push_back(it->path().string());
        }
        it.increment(error);
    }
    if (error) {
        err << "qelv events: cannot read the folder " << root << ": " << error.message() << '\n';
        return std::nullopt;
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The recordings of the PATHs; false when one cannot be read (said on `err`).
bool addPaths(const std::vector<std::string>& paths, std::vector<Recording>& out,
              std::ostream& err) {
    bool allRead = true;
    for (const std::string& path : paths) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            err << "qelv events: cannot read " << path << ": " << std::strerror(errno) << '\n';
            allRead = false;
        } else if (S_ISDIR(info.st_mode)) {
            const auto found = recordingsBelow(path, err);
            allRead = allRead && found.has_value();
            for (const std::string& file : found.value_or(std::vector<std::string>{})) {
                out.push_back({file, fs::path(file).filename().string(), {}, false});
            }
        } else {
            out.push_back({path, fs::path(path).filename().string(), {}, true});
        }
    }
    return allRead;
}

// The recordings of the open image: those named ("DIR/NAME"), or every file of every
// directory but the second and third cameras' (a WyFS recording is one file).
bool addImage(const std::string& image, const std::vector<std::string>& names,
              CardDeviceHandle* device, std::vector<Recording>& out, std::ostream& err) {
    for (const std::string& name : names) {
        const std::size_t slash = name.find('/');
        if (slash == std::string::npos) {
            err << "qelv events: " << name << ": name a recording as DIR/NAME\n";
            return false;
        }
        out.push_back({image + ":" + name, name.substr(slash + 1), name.substr(0, slash), true});
    }
    if (!names.empty()) {
        return true;
    }
    const auto volume = wyfs::Volume::open(image);
    if (!volume) {
        err << "qelv events: " << image << " holds no WyFS volume\n";
        return false;
    }
    for (const auto& dir : volume->directories()) {
        for (const wyfs::ListedFile& file : wyfs::listDirectory(device, dir.name)) {
            if (!core::isCompanionName(file.name)) {
                out.push_back(
                    {image + ":" + dir.name + "/" + file.name, file.name, dir.name, false});
            }
        }
    }
    return true;
}

events::RecordingTrack readTrack(const Recording& r, CardDeviceHandle* device) {
    core::RecordingLocation where;
    if (device != nullptr) {
        where.card = device;
        where.cardDir = r.cardDir;
        where.cardName = r.fileName;
    } else {
        where.path = r.label;
    }
    return events::readRecordingTrack(where);
}

// A bar on standard error while a large card is read, when it is a terminal.
class Progress {
public:
    Progress(std::size_t total, std::ostream& err)
        : m_total(total), m_err(err), m_on(total > kProgressFrom && isatty(STDERR_FILENO) != 0) {}
    ~Progress() { clear(); }

    void show(std::size_t done) {
        const std::size_t percent = done * 100 / m_total;
        if (!m_on || percent == m_percent) {
            return;
        }
        m_percent = percent;
        constexpr std::size_t kWidth = 40;
        const std::size_t filled = done * kWidth / m_total;
        m_err << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] "
              << done << "/" << m_total << " recordings" << std::flush;
    }
    // Takes the bar off the line, for a note or the end.
    void clear() {
        if (m_on && m_percent != kNone) {
            m_err << "\r\033[K" << std::flush;
            m_percent = kNone;
        }
    }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t m_total;
    std::ostream& m_err;
    bool m_on;
    std::size_t m_percent = kNone;
};

// "2024-01-31 12:00:34", or empty without a start.
std::string localTime(const std::optional<std::int64_t>& start, std::uint32_t offsetMs) {
    return start ? core::recorderClockText(*start + offsetMs / 1000) : std::string();
}

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

constexpr const char* kCsvHeader =
    "file,category,start,offsetMs,endOffsetMs,kind,severity,speedBeforeKmh,speedAfterKmh,peakG,"
    "brakingKmhPerS,unfinished\n";

std::string line(const Recording& r, const Found& f, bool csv) {
    const events::Incident& i = f.incident;
    const bool braking = i.kind == events::IncidentKind::HardBraking;
    const std::string start = localTime(core::startSecondsOf(r.fileName), i.startMs);
    const std::string category(core::parseRecordingName(r.fileName).typeText());
    const auto speed = [](double kmh) { return kmh < 0 ? std::string("null") : jsonFixed(kmh, 1); };
    // Braking's peak is km/h lost in a second: as g, the deceleration it means.
    const double peakG = braking ? i.peak / 3.6 / 9.80665 : i.peak;
    const std::string brakingKmhPerS = braking ? jsonFixed(i.peak, 1) : "null";
    if (csv) {
        const auto blank = [](const std::string& v) { return v == "null" ? std::string() : v; };
        return csvField(r.label) + "," + category + "," + start + "," + std::to_string(i.startMs) +
               "," + std::to_string(i.endMs) + "," + std::string(events::kindName(i.kind)) + "," +
               jsonFixed(i.severity, 2) + "," + blank(speed(i.speedBeforeKmh)) + "," +
               blank(speed(i.speedAfterKmh)) + "," + jsonFixed(peakG, 3) + "," +
               blank(brakingKmhPerS) + "," + (f.unfinished ? "true" : "false") + "\n";
    }
    JsonObject o;
    o.add("file", r.label).add("category", category);
    if (start.empty()) {
        o.addRaw("start", "null");
    } else {
        o.add("start", start);
    }
    return o.add("offsetMs", std::int64_t{i.startMs})
               .add("endOffsetMs", std::int64_t{i.endMs})
               .add("kind", events::kindName(i.kind))
               .addRaw("severity", jsonFixed(i.severity, 2))
               .addRaw("speedKmh", "{\"before\": " + speed(i.speedBeforeKmh) +
                                       ", \"after\": " + speed(i.speedAfterKmh) + "}")
               .addRaw("peakG", jsonFixed(peakG, 3))
               .addRaw("brakingKmhPerS", brakingKmhPerS)
               .add("unfinished", f.unfinished)
               .str() +
           "\n";
}

// Time order: recordings by their start (those whose name holds none last, by name), then the
// offset in the recording.
void sortIncidents(std::vector<Found>& found, const std::vector<Recording>& recordings,
                   bool bySeverity) {
    std::vector<std::optional<std::int64_t>> starts;
    starts.reserve(recordings.size());
    for (const Recording& r : recordings) {
        starts.push_back(core::startSecondsOf(r.fileName));
    }
    const auto earlier = [&](const Found& a, const Found& b) {
        const auto& sa = starts[a.recording];
        const auto& sb = starts[b.recording];
        if (sa.has_value() != sb.has_value()) {
            return sa.has_value();
        }
        const std::int64_t ta = sa.value_or(0) * 1000 + a.incident.startMs;
        const std::int64_t tb = sb.value_or(0) * 1000 + b.incident.startMs;
        if (ta != tb) {
            return ta < tb;
        }
        if (a.recording != b.recording) {
            return recordings[a.recording].label < recordings[b.recording].label;
        }
        return a.incident.kind < b.incident.kind;
    };
    std::stable_sort(found.begin(), found.end(), [&](const Found& a, const Found& b) {
        if (bySeverity && a.incident.severity != b.incident.severity) {
            return a.incident.severity > b.incident.severity;
        }
        return earlier(a, b);
    });
}

struct EventsOptions {
    events::Thresholds thresholds;
    double minSeverity = 0;
    bool bySeverity = true;
    bool csv = false;
};

EventsOptions eventsOptions(const ParsedOptions& o) {
    EventsOptions e;
    const events::Thresholds defaults;
    const auto threshold = [&o](const char* name, double fallback, events::ThresholdRange range) {
        return o.number(name, fallback, range.lowest, range.highest);
    };
    e.thresholds.brakingKmhPerS =
        threshold("--braking", defaults.brakingKmhPerS, events::kBrakingRange);
    e.thresholds.brakingMinStartKmh =
        threshold("--braking-from", defaults.brakingMinStartKmh, events::kBrakingFromRange);
    e.thresholds.impactG = threshold("--impact", defaults.impactG, events::kImpactRange);
    e.thresholds.swerveG = threshold("--swerve", defaults.swerveG, events::kSwerveRange);
    e.minSeverity = o.number("--min-severity", 0, 0, 1e6);
    const std::string sort = o.value("--sort").value_or("severity");
    if (sort != "severity" && sort != "time") {
        throw UsageError("--sort is severity or time");
    }
    e.bySeverity = sort == "severity";
    e.csv = o.flags.contains("--csv");
    if (o.positional.empty() && !o.value("--wyfs")) {
        throw UsageError("give a card, a folder or a recording (or --wyfs IMAGE)");
    }
    return e;
}

}  // namespace

int runEventsCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    ParsedOptions o;
    EventsOptions e;
    try {
        o = parseOptions(args,
                         {"--wyfs", "--sort", "--min-severity", "--braking", "--braking-from",
                          "--impact", "--swerve"},
                         {"--csv"});
        if (o.help) {
            out << kUsage;
            return 0;
        }
        e = eventsOptions(o);
    } catch (const UsageError& error) {
        err << "qelv events: " << error.what() << '\n' << kUsage;
        return 2;
    }

    std::vector<Recording> recordings;
    CardDeviceHandle device{};
    CardDeviceHandle* card = nullptr;
    bool allRead = true;
    if (const auto image = o.value("--wyfs")) {
        if (QV_WyFS_Device_Open(image->c_str(), 130, &device) != 0) {
            err << "qelv events: cannot open the WyFS image " << *image << '\n';
            return 1;
        }
        card = &device;
        allRead = addImage(*image, o.positional, card, recordings, err);
    } else {
        allRead = addPaths(o.positional, recordings, err);
    }

    std::vector<Found> found;
    Progress progress(recordings.size(), err);
    for (std::size_t k = 0; k < recordings.size(); ++k) {
        progress.show(k);
        const events::RecordingTrack track = readTrack(recordings[k], card);
        if (!track.problem.empty()) {
            progress.clear();
            err << "qelv events: " << recordings[k].label << ": skipped: " << track.problem << '\n';
            allRead = allRead && !recordings[k].named;
            continue;
        }
        for (const events::Incident& incident :
             events::findIncidents(track.fixes, track.samples, e.thresholds)) {
            if (incident.severity >= e.minSeverity) {
                found.push_back({k, incident, track.unfinished});
            }
        }
    }
    progress.clear();
    if (card != nullptr) {
        QV_WyFS_Device_Close(card);
    }

    sortIncidents(found, recordings, e.bySeverity);
    std::string text = e.csv ? kCsvHeader : "";
    text.reserve(found.size() * 320);
    for (const Found& f : found) {
        text += line(recordings[f.recording], f, e.csv);
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return allRead ? 0 : 1;
}

}  // namespace qelv::cli
