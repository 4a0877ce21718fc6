#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/options.h"
#include "config/ini_store.h"
#include "simulator/recorder_simulator.h"
#include "tools/recorder_settings.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage =
    "usage: qelv demo-card (DIR | --wyfs IMAGE) [--recordings N] [--seconds S] [--channels 1|2|3]\n"
    "                          [--categories NEPU] [--unfinished K]\n"
    "                          [--start \"YYYY-MM-DD HH:MM:SS\"] [--seed N] [--scale F]\n"
    "                          [--incidents N [--plan FILE]] [--same-pictures]\n"
    "Writes a card as the recorder does: NOR, EVT, MOT and USR folders with FRONT and REAR\n"
    "below them, N recordings one minute apart (categories taken in turn from the letters\n"
    "given), the last K of them unfinished (no index), and SETUP/setup.ini. --scale\n"
    "multiplies the recorder's bit rates (1.0: about 70 MB a minute front, 36 MB rear).\n"
    "With --wyfs the recordings go into a new WyFS image instead, one AVI file each (every\n"
    "camera, the sound and the telemetry), in its NOR, EVT, MOT and USR directories.\n"
    "--incidents N drives with a real drive's noise (GPS jitter and dropouts, one position\n"
    "jump a recording, road bumps) and N planted incidents a recording (hard braking,\n"
    "impacts, swerves; 0: quiet drives); --plan FILE writes them as JSON lines (file, kind,\n"
    "second, offsetMs, seconds, peak in km/h a second for braking and g otherwise).\n"
    "--same-pictures encodes the video once for all recordings (large cards in minutes).\n";

sim::LocalTime parseStart(const std::string& text) {
    sim::LocalTime t;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.year, &t.month, &t.day, &t.hour,
                    &t.minute, &t.second, &tail) != 6 ||
        t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
        t.second > 59 || t.year < 2000 || t.year > 2099) {
        throw UsageError("--start is \"YYYY-MM-DD HH:MM:SS\" between 2000 and 2099");
    }
    return t;
}

core::RecordingCategory categoryOf(char letter) {
    switch (letter) {
        case 'N':
            return core::RecordingCategory::Normal;
        case 'E':
            return core::RecordingCategory::Event;
        case 'P':
            return core::RecordingCategory::Parking;
        case 'U':
            return core::RecordingCategory::User;
        default:
            throw UsageError("--categories takes the letters N, E, P and U");
    }
}

bool writeSettings(const std::filesystem::path& root, std::ostream& err) {
    std::filesystem::create_directories(root / "SETUP");
    std::ostringstream echo;
    core::IniStore store(echo);
    core::registerRecorderSettings(store);
    store.load(root / core::kRecorderSettingsPath);  // keep what an earlier run wrote
    if (!store.write(root / core::kRecorderSettingsPath)) {
        err << "qelv demo-card: cannot write " << (root / core::kRecorderSettingsPath) << '\n';
        return false;
    }
    return true;
}

// One JSON line per planted incident of the recording in `file`.
void addPlan(std::string& plan, const std::string& file,
             const std::vector<sim::PlantedIncident>& incidents) {
    for (const sim::PlantedIncident& incident : incidents) {
        plan += JsonObject()
                    .add("file", file)
                    .add("kind", sim::plantedKindName(incident.kind))
                    .add("second", incident.second)
                    .add("offsetMs", std::int64_t{incident.second} * 1000)
                    .add("seconds", incident.seconds)
                    .addRaw("peak", jsonFixed(incident.peak, 3))
                    .str();
        plan += '\n';
    }
}

// The plan as `path`, whole or not at all.
bool writePlan(const std::string& path, const std::string& plan, std::ostream& err) {
    const std::string temp = path + ".partial";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file.write(plan.data(), static_cast<std::streamsize>(plan.size()));
        file.flush();
        if (file) {
            file.close();
            std::error_code error;
            std::filesystem::rename(temp, path, error);
            if (!error) {
                return true;
            }
        }
    }
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    err << "qelv demo-card: cannot write the plan " << path << '\n';
    return false;
}

sim::RecordingRequest nthRequest(const sim::RecordingRequest& base, int i,
                                 const std::string& letters) {
    sim::RecordingRequest request = base;
    request.start = sim::addSeconds(base.start, std::int64_t{i} * std::max(60, base.seconds));
    request.category = categoryOf(letters[static_cast<std::size_t>(i) % letters.size()]);
    request.seed = base.seed * 1000 + static_cast<std::uint64_t>(i);
    return request;
}

int writeWyfsCard(const std::string& image, const sim::RecordingRequest& base, int recordings,
                  const std::string& letters, bool terminal, std::string& plan, std::ostream& out,
                  std::ostream& err) {
    try {
        // Room for every recording at the recorder's rates, with a margin.
        const double perMinute = (70.0 + 36.0 * (base.channels - 1)) * base.bitrateScale;
        const double megabytes = perMinute * base.seconds / 60.0 * recordings * 1.2 + 32.0;
        wyfs::formatImage(image, static_cast<std::uint64_t>(megabytes * 1024 * 1024));
        auto volume = wyfs::Volume::open(image, true);
        if (!volume) {
            throw std::runtime_error("the new image cannot be opened");
        }
        for (int i = 0; i < recordings; ++i) {
            sim::RecordingRequest request = nthRequest(base, i, letters);
            const std::string counter =
                "[" + std::to_string(i + 1) + "/" + std::to_string(recordings) + "] ";
            if (terminal) {
                request.progress = [&](const std::string& what) {
                    err << "\r\033[K" << counter << what << std::flush;
                };
            }
            const sim::SimulatedCardFile file = sim::simulateCardRecording(request);
            const std::string folder(sim::categoryFolder(request.category));
            volume->addFile(folder, file.name, file.bytes, file.time);
            out << image << ":" << folder << "/" << file.name << '\n';
            addPlan(plan, image + ":" + folder + "/" + file.name, file.incidents);
        }
        if (terminal) {
            err << "\r\033[K";
        }
    } catch (const std::exception& e) {
        err << "\nqelv demo-card: " << e.what() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int runDemoCardCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    ParsedOptions options;
    sim::RecordingRequest base;
    int recordings = 0, unfinished = 0;
    std::string letters;
    try {
        options =
            parseOptions(args,
                         {"--recordings", "--seconds", "--channels", "--categories", "--unfinished",
                          "--start", "--seed", "--scale", "--wyfs", "--incidents", "--plan"},
                         {"--same-pictures"});
        if (options.help) {
            out << kUsage;
            return 0;
        }
        if (options.positional.size() != (options.value("--wyfs") ? 0u : 1u)) {
            throw UsageError("give one folder, or --wyfs and an image");
        }
        if (!options.value("--wyfs")) {
            base.cardRoot = options.positional[0];
        }
        recordings = static_cast<int>(options.integer("--recordings", 4, 1, 10000));
        base.seconds = static_cast<int>(options.integer("--seconds", 60, 1, 600));
        base.channels = static_cast<int>(options.integer("--channels", 2, 1, 3));
        unfinished = static_cast<int>(options.integer("--unfinished", 0, 0, recordings));
        base.seed = static_cast<std::uint64_t>(options.integer("--seed", 1, 0, 1LL << 62));
        base.bitrateScale = options.number("--scale", 1.0, 0.01, 4.0);
        base.start = parseStart(options.value("--start").value_or("2024-01-31 12:00:00"));
        if (options.value("--incidents")) {
            base.drive.realistic = true;
            base.drive.incidents = static_cast<int>(options.integer("--incidents", 0, 0, 60));
        } else if (options.value("--plan")) {
            throw UsageError("--plan needs --incidents");
        }
        base.samePictures = options.flags.contains("--same-pictures");
        letters = options.value("--categories").value_or("NEPU");
        if (letters.empty()) {
            throw UsageError("--categories needs at least one letter");
        }
        for (char letter : letters) {
            categoryOf(letter);
        }
    } catch (const UsageError& e) {
        err << "qelv demo-card: " << e.what() << '\n' << kUsage;
        return 2;
    }

    const bool terminal = isatty(STDERR_FILENO) != 0;
    const auto planPath = options.value("--plan");
    std::string plan;
    if (const auto image = options.value("--wyfs")) {
        const int status =
            writeWyfsCard(*image, base, recordings, letters, terminal, plan, out, err);
        return status == 0 && planPath && !writePlan(*planPath, plan, err) ? 1 : status;
    }
    try {
        for (int i = 0; i < recordings; ++i) {
            sim::RecordingRequest request = nthRequest(base, i, letters);
            request.complete = i < recordings - unfinished;
            const std::string counter =
                "[" + std::to_string(i + 1) + "/" + std::to_string(recordings) + "] ";
            if (terminal) {
                request.progress = [&](const std::string& what) {
                    err << "\r\033[K" << counter << what << std::flush;
                };
            }
            const sim::SimulatedRecording made = sim::simulateRecording(request);
            for (const sim::SimulatedFile& file : made.files) {
                out << file.path.string() << (request.complete ? "" : " (unfinished)") << '\n';
            }
            addPlan(plan, made.files.front().path.string(), made.incidents);
        }
        if (terminal) {
            err << "\r\033[K";
        }
    } catch (const std::exception& e) {
        err << "\nqelv demo-card: " << e.what() << '\n';
        return 1;
    }
    if (planPath && !writePlan(*planPath, plan, err)) {
        return 1;
    }
    return writeSettings(base.cardRoot, err) ? 0 : 1;
}

}  // namespace qelv::cli
