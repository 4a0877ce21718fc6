// qelv trips: the drives of a card, a folder or a WyFS image. The recorder cuts a drive into
// recordings of a minute; a trip joins them again: each normal recording with the same
// cameras that started within a few seconds of the previous one's end. Only reads.
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/options.h"
#include "cli/recording_sources.h"
#include "storage/recording_name.h"
#include "trips/trip_builder.h"
#include "trips/trip_facts.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage =
    "usage: qelv trips [options] PATH...\n"
    "       qelv trips [options] --wyfs IMAGE [DIR/NAME...]\n"
    "Joins the recordings of a card root, a folder (every front file below it), single files\n"
    "or a WyFS card image into trips: runs of normal recordings with the same cameras, each\n"
    "started within --gap seconds of the previous one's end (event and user recordings made\n"
    "during a trip are its markers; parking recordings belong to none). Prints one JSON line\n"
    "per trip, in time order:\n"
    "  start, end (the recorder's local time), durationS, channels, recordings (the front\n"
    "  files in order), distanceKm and topSpeedKmh (from the GPS fixes that can be trusted:\n"
    "  no position jump, no impossible speed; topSpeedKmh null without one), incidents (file,\n"
    "  offsetMs in the recording, tripOffsetMs, kind, severity), markers (file, category,\n"
    "  tripOffsetMs), unreadable (recordings of the trip that cannot be read: their length\n"
    "  is taken from the next one's start).\n"
    "options:\n"
    "  --gap SECONDS         the largest gap that still joins two recordings (default "
    "5)\n" QELV_THRESHOLD_USAGE
    "A recording that cannot be read is noted on standard error and never ends a trip.\n"
    "Exit status: 0; 1 when a PATH, the image or a recording named cannot be read (the\n"
    "trips are still listed); 2 for a usage error.\n";

std::string tripLine(const trips::Trip& trip, const std::vector<SourceRecording>& recordings,
                     const std::vector<trips::TripInput>& inputs,
                     const std::vector<trips::RecordingFacts>& facts) {
    const trips::TripTotals totals = trips::tripTotals(trip, inputs, facts);
    std::vector<std::string> files;
    std::vector<std::string> incidents;
    std::vector<std::string> unreadable;
    for (const std::size_t k : trip.recordings) {
        files.push_back(jsonQuote(recordings[k].label));
        if (!facts[k].problem.empty()) {
            unreadable.push_back(jsonQuote(recordings[k].label));
        }
        const std::int64_t offsetMs = trips::startMsOf(inputs[k]).value_or(0) - trip.startMs;
        for (const events::Incident& i : facts[k].incidents) {
            incidents.push_back(JsonObject()
                                    .add("file", recordings[k].label)
                                    .add("offsetMs", std::int64_t{i.startMs})
                                    .add("tripOffsetMs", offsetMs + i.startMs)
                                    .add("kind", events::kindName(i.kind))
                                    .addRaw("severity", jsonFixed(i.severity, 2))
                                    .str());
        }
    }
    std::vector<std::string> markers;
    for (const std::size_t k : trip.markers) {
        markers.push_back(
            JsonObject()
                .add("file", recordings[k].label)
                .add("category", core::parseRecordingName(recordings[k].fileName).typeText())
                .add("tripOffsetMs", trips::startMsOf(inputs[k]).value_or(0) - trip.startMs)
                .str());
    }
    const auto clock = [](std::int64_t ms) { return core::recorderClockText(ms / 1000); };
    return JsonObject()
               .add("start", clock(trip.startMs))
               .add("end", clock(trip.endMs))
               .add("durationS", (trip.endMs - trip.startMs) / 1000)
               .add("channels", trip.channels)
               .addRaw("recordings", jsonArray(files))
               .addRaw("distanceKm", jsonFixed(totals.distanceKm, 2))
               .addRaw("topSpeedKmh",
                       totals.topSpeedKmh < 0 ? "null" : jsonFixed(totals.topSpeedKmh, 1))
               .addRaw("incidents", jsonArray(incidents))
               .addRaw("markers", jsonArray(markers))
               .addRaw("unreadable", jsonArray(unreadable))
               .str() +
           "\n";
}

}  // namespace

int runTripsCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    ParsedOptions o;
    events::Thresholds thresholds;
    std::int64_t gapMs = trips::kDefaultJoinGapMs;
    try {
        o = parseOptions(
            args, {"--wyfs", "--gap", "--braking", "--braking-from", "--impact", "--swerve"}, {});
        if (o.help) {
            out << kUsage;
            return 0;
        }
        thresholds = thresholdOptions(o);
        gapMs = static_cast<std::int64_t>(o.number("--gap", 5, 0, 600) * 1000);
        if (o.positional.empty() && !o.value("--wyfs")) {
            throw UsageError("give a card, a folder or a recording (or --wyfs IMAGE)");
        }
    } catch (const UsageError& error) {
        err << "qelv trips: " << error.what() << '\n' << kUsage;
        return 2;
    }

    RecordingSources sources("qelv trips");
    const std::optional<bool> named = sources.addNamed(o, err);
    if (!named) {
        return 1;
    }
    bool allRead = *named;
    const std::vector<SourceRecording>& recordings = sources.recordings();
    std::vector<trips::TripInput> inputs;
    std::vector<trips::RecordingFacts> facts;
    inputs.reserve(recordings.size());
    facts.reserve(recordings.size());
    Progress progress(recordings.size(), err);
    for (std::size_t k = 0; k < recordings.size(); ++k) {
        progress.show(k);
        trips::RecordingFacts f = trips::recordingFacts(sources.read(k), thresholds);
        if (!f.problem.empty()) {
            progress.clear();
            err << "qelv trips: " << recordings[k].label << ": cannot be read: " << f.problem
                << '\n';
            allRead = allRead && !recordings[k].named;
        }
        inputs.push_back({recordings[k].fileName, f.durationMs, f.unfinished});
        facts.push_back(std::move(f));
    }
    progress.clear();

    std::string text;
    for (const trips::Trip& trip : trips::buildTrips(inputs, gapMs)) {
        text += tripLine(trip, recordings, inputs, facts);
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return allRead ? 0 : 1;
}

}  // namespace qelv::cli
