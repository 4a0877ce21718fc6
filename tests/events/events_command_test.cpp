// `qelv events` on simulated cards whose incidents the recorder simulator planted: every one
// listed where it happened, ranked, in the formats and orders asked for; an unfinished
// recording read without a byte of the card changing; a damaged one skipped with a note.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_run.h"
#include "events/incident_scan.h"
#include "simulator/recorder_simulator.h"
#include "support/temp_dir.h"
#include "wyfs/wyfs_volume.h"

namespace qelv {
namespace {

namespace fs = std::filesystem;
using test::runQelv;

// A value of a JSON line as text: a string's content, or a number, true or null as written.
std::string field(const std::string& line, const std::string& name) {
    const std::size_t key = line.find("\"" + name + "\": ");
    if (key == std::string::npos) {
        return "(missing)";
    }
    const std::size_t at = key + name.size() + 4;
    if (line[at] == '"') {
        return line.substr(at + 1, line.find('"', at + 1) - at - 1);
    }
    return line.substr(at, line.find_first_of(",}", at) - at);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        out.push_back(text.substr(at, end - at));
    }
    return out;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

struct Planted {
    std::string file;  // as the command names it
    sim::PlantedIncident incident;
    std::string category;
    sim::LocalTime start;  // the recording's
    bool unfinished;
};

// Three one-channel recordings of 30 s with two planted incidents each (the last never
// finished), and a WyFS image with one more; made once for the program.
struct Cards {
    test::TempDir dir;
    fs::path card = dir.path() / "card";
    fs::path image = dir.path() / "card.img";
    std::vector<Planted> planted, onImage;
    std::map<fs::path, std::string> bytes;  // every file of the card as it was written

    Cards() {
        sim::RecordingRequest request;
        request.cardRoot = card;
        request.seconds = 30;
        request.channels = 1;
        request.bitrateScale = 0.01;
        request.drive = {true, 3};
        request.samePictures = true;
        const core::RecordingCategory categories[] = {core::RecordingCategory::Normal,
                                                      core::RecordingCategory::Event,
                                                      core::RecordingCategory::Parking};
        for (int i = 0; i < 4; ++i) {
            request.start = sim::addSeconds({2024, 3, 9, 23, 59, 0}, i * 60);
            request.seed = 40 + static_cast<std::uint64_t>(i);
            if (i == 3) {
                request.category = core::RecordingCategory::Event;
                const auto made = sim::simulateCardRecording(request);
                wyfs::formatImage(image, 16 * 1024 * 1024);
                wyfs::Volume::open(image, true)->addFile("EVT", made.name, made.bytes, made.time);
                for (const auto& incident : made.incidents) {
                    onImage.push_back({image.string() + ":EVT/" + made.name, incident, "EVT",
                                       request.start, false});
                }
                continue;
            }
            request.category = categories[i];
            request.complete = i != 2;
            const auto made = sim::simulateRecording(request);
            for (const auto& incident : made.incidents) {
                planted.push_back({made.files[0].path.string(), incident,
                                   std::string(sim::categoryFolder(request.category)),
                                   request.start, !request.complete});
            }
        }
        for (const auto& entry : fs::recursive_directory_iterator(card)) {
            if (entry.is_regular_file()) {
                bytes[entry.path()] = test::readFile(entry.path());
            }
        }
    }
    static Cards& shared() {
        static Cards cards;
        return cards;
    }
};

// Whether `found` lists each planted incident once: its recording, kind and second, the
// recorder's local time, and a peak near what was planted; and nothing else.
void expectPlanted(const std::vector<std::string>& found, const std::vector<Planted>& planted) {
    ASSERT_EQ(found.size(), planted.size());
    for (const Planted& p : planted) {
        const std::string kind(sim::plantedKindName(p.incident.kind));
        SCOPED_TRACE(p.file + " " + kind + " at " + std::to_string(p.incident.second));
        const auto line = std::find_if(found.begin(), found.end(), [&](const std::string& l) {
            return field(l, "file") == p.file && field(l, "kind") == kind &&
                   field(l, "offsetMs") == std::to_string(p.incident.second * 1000);
        });
        ASSERT_NE(line, found.end());
        const sim::LocalTime t = sim::addSeconds(p.start, p.incident.second);
        std::array<char, 32> start{};
        std::snprintf(start.data(), start.size(), "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month,
                      t.day, t.hour, t.minute, t.second);
        EXPECT_EQ(field(*line, "start"), start.data());
        EXPECT_EQ(field(*line, "category"), p.category);
        EXPECT_EQ(field(*line, "unfinished"), p.unfinished ? "true" : "false");
        EXPECT_NE(field(*line, "before"), "(missing)");
        if (p.incident.kind == sim::PlantedKind::Braking) {  // the GPS speed jitters
            EXPECT_NEAR(std::stod(field(*line, "brakingKmhPerS")), p.incident.peak, 3.0);
        } else {  // g above the resting level, taken from what was planted
            EXPECT_NEAR(std::stod(field(*line, "peakG")), p.incident.peak, 0.5);
        }
    }
}

TEST(EventsCommand, ListsEveryPlantedIncidentMostSevereFirstAndWritesNothing) {
    Cards& cards = Cards::shared();
    const test::CliRun run = runQelv("events " + quoted(cards.card));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> found = lines(run.out);
    expectPlanted(found, cards.planted);
    for (std::size_t i = 1; i < found.size(); ++i) {
        EXPECT_GE(std::stod(field(found[i - 1], "severity")),
                  std::stod(field(found[i], "severity")));
    }

    // Time order: the recorder's local time, across midnight.
    const std::vector<std::string> byTime =
        lines(runQelv("events --sort time " + quoted(cards.card)).out);
    ASSERT_EQ(byTime.size(), found.size());
    EXPECT_TRUE(std::is_sorted(byTime.begin(), byTime.end(), [](const auto& a, const auto& b) {
        return field(a, "start") < field(b, "start");
    }));

    // Only the severe ones: a bar halfway between two severities that the lines tell apart.
    std::size_t above = found.size() / 2;
    while (above + 1 < found.size() && std::stod(field(found[above], "severity")) -
                                               std::stod(field(found[above + 1], "severity")) <
                                           0.02) {
        ++above;
    }
    ASSERT_LT(above + 1, found.size());
    const double bar = (std::stod(field(found[above], "severity")) +
                        std::stod(field(found[above + 1], "severity"))) /
                       2;
    const auto severe = lines(
        runQelv("events --min-severity " + std::to_string(bar) + " " + quoted(cards.card)).out);
    EXPECT_EQ(severe, std::vector<std::string>(found.begin(), found.begin() + above + 1));

    // The same incidents as CSV rows under a header.
    const auto csv = lines(runQelv("events --csv " + quoted(cards.card)).out);
    ASSERT_EQ(csv.size(), found.size() + 1);
    EXPECT_EQ(csv[0],
              "file,category,start,offsetMs,endOffsetMs,kind,severity,speedBeforeKmh,"
              "speedAfterKmh,peakG,brakingKmhPerS,unfinished");
    EXPECT_EQ(csv[1].rfind(field(found[0], "file") + "," + field(found[0], "category") + "," +
                               field(found[0], "start") + "," + field(found[0], "offsetMs"),
                           0),
              0u)
        << csv[1];

    // The thresholds reach the detector: no blow is an impact at 8 g.
    for (const std::string& line : lines(runQelv("events --impact 8 " + quoted(cards.card)).out)) {
        EXPECT_NE(field(line, "kind"), "impact");
    }
    // Not a byte of the card changed, the unfinished recording's least of all.
    for (const auto& [path, content] : cards.bytes) {
        EXPECT_TRUE(test::readFile(path) == content) << path << " changed";
    }
}

TEST(EventsCommand, ReadsAWyfsImage) {
    Cards& cards = Cards::shared();
    ASSERT_FALSE(cards.onImage.empty());
    const std::string name = cards.onImage[0].file.substr(cards.onImage[0].file.find(':') + 1);
    for (const std::string& args :
         {"--wyfs " + quoted(cards.image), "--wyfs " + quoted(cards.image) + " " + name}) {
        const test::CliRun run = runQelv("events " + args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        expectPlanted(lines(run.out), cards.onImage);
    }
}

TEST(EventsCommand, SkipsADamagedRecordingWithANote) {
    Cards& cards = Cards::shared();
    test::TempDir dir;
    const Planted& good = cards.planted[0];
    const std::string recording = test::readFile(good.file);
    dir.write("good/" + fs::path(good.file).filename().string(), recording);
    // A recording whose movie box was cut off, and bytes named like a recording.
    const fs::path cut =
        dir.write("20240101_000000_1CH_N_F.mp4", recording.substr(0, recording.size() - 300));
    const fs::path junk = dir.write("20240101_000100_1CH_N_F.mp4", "not a recording at all");
    const test::CliRun run = runQelv("events " + quoted(dir.path()));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find(cut.string() + ": skipped: its movie box is damaged"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(junk.string() + ": skipped"), std::string::npos) << run.err;
    const std::vector<std::string> found = lines(run.out);
    EXPECT_EQ(static_cast<std::size_t>(
                  std::count_if(cards.planted.begin(), cards.planted.end(),
                                [&](const Planted& p) { return p.file == good.file; })),
              found.size());

    // Named on the command line, a recording that cannot be read fails the command.
    const test::CliRun named = runQelv("events " + quoted(junk));
    EXPECT_EQ(named.exitCode, 1);
    EXPECT_NE(named.err.find(junk.string()), std::string::npos) << named.err;
}

// The viewer's scan of a whole card on its worker thread: the same incidents as the command,
// each with its recording's number; a file that cannot be read counted, not fatal; a stop
// takes effect at once and says the scan is not whole.
TEST(IncidentScan, FindsThePlantedIncidentsOnItsThreadAndStops) {
    Cards& cards = Cards::shared();
    std::vector<std::string> files;
    for (const Planted& p : cards.planted) {
        if (std::find(files.begin(), files.end(), p.file) == files.end()) {
            files.push_back(p.file);
        }
    }
    files.push_back((cards.dir.path() / "gone.mp4").string());
    std::vector<events::ScanTarget> targets;
    for (std::size_t k = 0; k < files.size(); ++k) {
        targets.push_back({k, {files[k]}});
    }
    events::IncidentScan scan;
    scan.start(targets, {});
    for (int wait = 0; scan.running() && wait < 12000; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::vector<events::ScannedIncident> found = scan.takeFound();
    ASSERT_TRUE(scan.complete());
    EXPECT_EQ(scan.done(), files.size());
    EXPECT_EQ(scan.skipped(), 1U);
    ASSERT_EQ(found.size(), cards.planted.size());
    for (const Planted& p : cards.planted) {
        EXPECT_EQ(std::count_if(found.begin(), found.end(),
                                [&](const events::ScannedIncident& f) {
                                    return files[f.id] == p.file &&
                                           f.incident.startMs == p.incident.second * 1000U &&
                                           f.unfinished == p.unfinished;
                                }),
                  1)
            << p.file << " " << p.incident.second;
    }

    // A card of thousands of recordings: a stop right away ends the scan long before.
    std::vector<events::ScanTarget> many;
    for (std::size_t k = 0; k < 5000; ++k) {
        many.push_back({k, {files[k % (files.size() - 1)]}});
    }
    scan.start(many, {});
    scan.stop();
    EXPECT_FALSE(scan.running());
    EXPECT_FALSE(scan.complete());
    EXPECT_LT(scan.done(), many.size());
}

TEST(EventsCommand, RefusesWhatItCannotDo) {
    Cards& cards = Cards::shared();
    const std::string card = quoted(cards.card);
    const struct {
        std::string args;
        int exitCode;
        std::string said;
    } cases[] = {
        {"events", 2, "give a card"},
        {"events --sort fastest " + card, 2, "--sort"},
        {"events --braking 0 " + card, 2, "--braking"},
        {"events --impact lots " + card, 2, "--impact"},
        {"events --min-severity -1 " + card, 2, "--min-severity"},
        {"events --loud " + card, 2, "unknown option"},
        {"events --wyfs", 2, "needs a value"},
        {"events " + quoted(cards.dir.path() / "missing"), 1, "missing"},
        {"events --wyfs " + quoted(cards.dir.path() / "missing.img"), 1, "missing.img"},
        {"events --wyfs " + quoted(cards.image) + " EVT", 1, "DIR/NAME"},
    };
    for (const auto& c : cases) {
        const test::CliRun run = runQelv(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args << '\n' << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << c.args << '\n' << run.err;
        EXPECT_EQ(run.out, "") << c.args;
    }
}

}  // namespace
}  // namespace qelv
