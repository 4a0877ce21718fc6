// qelv events: the hard braking, impacts and swerves of every recording of a card, a folder,
// a WyFS image or single files, most severe first. Only reads: a recording whose index was
// never written is read through the rebuild's sample walk, and nothing is written to it.

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/options.h"
#include "cli/recording_sources.h"
#include "events/incident_detector.h"
#include "events/recording_track.h"
#include "storage/recording_name.h"

namespace qelv::cli {

namespace {

using Recording = SourceRecording;

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
    "  --min-severity X      only incidents of severity X or more\n" QELV_THRESHOLD_USAGE
    "A recording that cannot be read is skipped with a note on standard error.\n"
    "Exit status: 0; 1 when a PATH, the image or a recording named cannot be read (the\n"
    "others are still listed); 2 for a usage error.\n";

struct Found {
    std::size_t recording;  // index into the recordings
    events::Incident incident;
    bool unfinished;
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
    e.thresholds = thresholdOptions(o);
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

    RecordingSources sources("qelv events");
    const std::optional<bool> named = sources.addNamed(o, err);
    if (!named) {
        return 1;
    }
    bool allRead = *named;
    const std::vector<Recording>& recordings = sources.recordings();

    std::vector<Found> found;
    Progress progress(recordings.size(), err);
    for (std::size_t k = 0; k < recordings.size(); ++k) {
        progress.show(k);
        const events::RecordingTrack track = sources.read(k);
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
