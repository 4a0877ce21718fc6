#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>

#include <cmath>
#include <cstdio>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/options.h"
#include "export/clip_export.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage =
    "usage: qelv export FRONT [REAR [THIRD]] --from SECONDS --to SECONDS\n"
    "                   [--layout side|pip|front] [--no-overlay] [--no-sound] [--size WxH]\n"
    "                   --out FILE.mp4\n"
    "Exports the span [--from, --to) of a recording as one MP4 clip with every camera in one\n"
    "picture (side: front large, the others beside it; pip: the others as insets; front: the\n"
    "front camera alone), the recorder's date and time and the speed burnt in, and the front\n"
    "camera's sound. A span past the recording's end continues into the next recording of the\n"
    "folder when it starts within two seconds of the end. Rear and third files default to\n"
    "the recording's own. Progress goes to standard error; the summary to standard output:\n"
    "{\"file\", \"duration\", \"frames\", \"recordings\", \"leftOut\", \"sound\", "
    "\"wallSeconds\"}.\n"
    "Exit 1 for a span outside the recordings, an unreadable recording or an output that\n"
    "cannot be written; 2 for a usage error.\n";

std::string decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// One side of --size: digits only, even, within [low, high].
int sizeSide(const std::string& text, int low, int high) {
    const bool digits = !text.empty() && text.size() <= 5 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const int value = digits ? std::atoi(text.c_str()) : -1;
    if (value < low || value > high || value % 2 != 0) {
        throw UsageError(
            "--size takes an even WIDTH from 64 to 7680 and an even HEIGHT from 64 "
            "to 4320, as WIDTHxHEIGHT (e.g. 1280x720)");
    }
    return value;
}

std::pair<int, int> sizeOption(const std::string& text) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) {
        throw UsageError("--size takes WIDTHxHEIGHT, e.g. 1280x720");
    }
    return {sizeSide(text.substr(0, x), 64, 7680), sizeSide(text.substr(x + 1), 64, 4320)};
}

// Ctrl-C, a closed terminal or a kill stop the export the way Cancel does: it removes what it
// wrote. The handler only sets the export's cancel flag (a lock-free store).
std::atomic<media::ClipExport*> g_running{nullptr};
volatile sig_atomic_t g_signal = 0;

void stopExport(int signal) {
    g_signal = signal;
    if (media::ClipExport* running = g_running.load()) {
        running->cancel();
    }
}

class StopOnSignals {
public:
    explicit StopOnSignals(media::ClipExport& clip) {
        g_signal = 0;
        g_running = &clip;
        struct sigaction action {};
        action.sa_handler = stopExport;
        sigemptyset(&action.sa_mask);
        for (std::size_t k = 0; k < kSignals.size(); ++k) {
            sigaction(kSignals[k], &action, &m_before[k]);
        }
    }
    ~StopOnSignals() {
        for (std::size_t k = 0; k < kSignals.size(); ++k) {
            sigaction(kSignals[k], &m_before[k], nullptr);
        }
        g_running = nullptr;
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

private:
    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> m_before{};
};

// "[#####.....]  42%" redrawn in place on a terminal; whole percents on separate lines
// otherwise, so that a log stays readable.
class ProgressLine {
public:
    explicit ProgressLine(std::ostream& err) : m_err(err), m_tty(::isatty(STDERR_FILENO) != 0) {}
    void show(const media::ExportProgress& p) {
        const int percent = p.totalNs > 0 ? static_cast<int>(100 * p.doneNs / p.totalNs) : 0;
        if (percent == m_shown || (!m_tty && percent / 10 == m_shown / 10)) {
            return;
        }
        m_shown = percent;
        const int filled = percent * 30 / 100;
        m_err << (m_tty ? "\r" : "") << "exporting [" << std::string(filled, '#')
              << std::string(30 - filled, '.') << "] " << percent << "%" << (m_tty ? "" : "\n")
              << std::flush;
    }
    // The bar at its end: full when the clip was written.
    void end(bool written) {
        if (written && m_shown < 100) {
            show({1, 1});
        }
        if (m_tty && m_shown >= 0) {
            m_err << '\n';
        }
    }

private:
    std::ostream& m_err;
    bool m_tty;
    int m_shown = -1;
};

}  // namespace

int runExportCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    media::ExportRequest request;
    double from = 0, to = 0;
    try {
        const ParsedOptions o =
            parseOptions(args, {"--from", "--to", "--layout", "--size", "--out"},
                         {"--no-overlay", "--no-sound"});
        if (o.help) {
            out << kUsage;
            return 0;
        }
        if (o.positional.empty() || o.positional.size() > 3) {
            throw UsageError("give one to three channel files");
        }
        if (!o.value("--from") || !o.value("--to") || !o.value("--out")) {
            throw UsageError("--from, --to and --out are needed");
        }
        from = o.number("--from", 0, -1e9, 1e9);
        to = o.number("--to", 0, -1e9, 1e9);
        const auto layout = media::layoutNamed(o.value("--layout").value_or("side"));
        if (!layout) {
            throw UsageError("--layout is side, pip or front");
        }
        request.layout = *layout;
        if (const auto size = o.value("--size")) {
            std::tie(request.width, request.height) = sizeOption(*size);
        }
        request.overlay = !o.flags.contains("--no-overlay");
        request.sound = !o.flags.contains("--no-sound");
        request.outPath = *o.value("--out");
        request.fromNs = std::llround(from * 1e9);
        request.toNs = std::llround(to * 1e9);

        auto first = media::recordingAt(o.positional[0]);
        if (!first) {
            err << "qelv export: cannot read " << o.positional[0]
                << " as a recording: " << media::unreadableReason(o.positional[0]) << '\n';
            return 1;
        }
        // Cameras given on the command line replace the paired ones of the first recording.
        for (std::size_t k = 1; k < o.positional.size(); ++k) {
            first->paths[k] = o.positional[k];
        }
        request.recordings = media::continuedRecordings(std::move(*first), request.toNs);
    } catch (const UsageError& e) {
        err << "qelv export: " << e.what() << '\n' << kUsage;
        return 2;
    }
    media::ClipExport clip(request);
    ProgressLine progress(err);
    media::ExportResult result;
    {
        const StopOnSignals stop(clip);
        result = clip.run([&](const media::ExportProgress& p) { progress.show(p); });
    }
    progress.end(result.ok);
    if (result.cancelled && g_signal != 0) {
        err << "qelv export: stopped by signal " << g_signal << "; no file was written\n";
        return 128 + g_signal;
    }
    for (const std::string& note : result.leftOut) {
        err << "qelv export: left out " << note << '\n';
    }
    if (!result.ok) {
        err << "qelv export: " << result.error << '\n';
        return 1;
    }
    std::vector<std::string> used;
    for (const std::string& path : result.recordingsUsed) {
        used.push_back(jsonQuote(path));
    }
    std::vector<std::string> leftOut;
    for (const std::string& note : result.leftOut) {
        leftOut.push_back(jsonQuote(note));
    }
    out << JsonObject()
               .add("file", result.outPath)
               .addRaw("duration", decimal(static_cast<double>(result.durationNs) / 1e9))
               .add("frames", result.frames)
               .addRaw("recordings", jsonArray(used))
               .addRaw("leftOut", jsonArray(leftOut))
               .add("sound", result.sound)
               .addRaw("wallSeconds", decimal(static_cast<double>(result.wallMs) / 1000.0))
               .str()
        << '\n';
    return 0;
}

}  // namespace qelv::cli
