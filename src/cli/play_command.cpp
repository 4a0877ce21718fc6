#include <chrono>
#include <thread>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/options.h"
#include "playback/playback_engine.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage =
    "usage: qelv play [--rate R] [--seconds S] [--no-sync] [--decoder auto|software]\n"
    "                 FRONT [REAR [THIRD]]\n"
    "Plays a recording headless through the viewer's engine, to the end or for S seconds of\n"
    "wall-clock time, and prints per channel the frames that were due, shown and lost (dropped\n"
    "late): {\"due\", \"shown\", \"lost\", \"positionMs\", \"durationMs\", \"wallMs\",\n"
    "\"decoder\"}: the H.264 decoder that played (a hardware one where GStreamer has one, unless\n"
    "--decoder software; one that fails gives way to the next, the last to avdec_h264, said on\n"
    "standard error).\n"
    "--no-sync decodes as fast as the decoders go. Rear and third files that cannot be played\n"
    "are left out with a note on standard error. Exit 1 when the front file cannot be opened\n"
    "or playback fails, with the reason; 2 for a usage error.\n";

// A pane that only counts.
class CountingSurface : public media::VideoSurface {
public:
    std::int32_t width() const override { return 640; }
    std::int32_t height() const override { return 360; }
    void present(std::shared_ptr<const media::VideoFrame>, media::Rect) override {}
    void place(media::Rect) override {}
};

std::string array3(const std::array<std::int64_t, 3>& values) {
    return jsonArray(
        {std::to_string(values[0]), std::to_string(values[1]), std::to_string(values[2])});
}

}  // namespace

int runPlayCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    ParsedOptions o;
    double rate = 1.0, seconds = 0.0;
    media::DecoderPreference preference = media::DecoderPreference::Auto;
    try {
        o = parseOptions(args, {"--rate", "--seconds", "--decoder"}, {"--no-sync"});
        if (o.help) {
            out << kUsage;
            return 0;
        }
        rate = o.number("--rate", 1.0, 0.01, 100.0);
        seconds = o.number("--seconds", 0.0, 0.0, 86400.0);
        if (const auto text = o.value("--decoder")) {
            const auto choice = media::decoderPreferenceOf(*text);
            if (!choice) {
                throw UsageError("--decoder is auto or software");
            }
            preference = *choice;
        }
        if (o.positional.empty() || o.positional.size() > 3) {
            throw UsageError("give one to three channel files");
        }
    } catch (const UsageError& e) {
        err << "qelv play: " << e.what() << '\n' << kUsage;
        return 2;
    }
    CountingSurface panes[3];
    media::PlaybackEngine engine;
    engine.initialise(&panes[0], &panes[1], &panes[2]);
    engine.setSynchronised(!o.flags.contains("--no-sync"));
    engine.setDecoderPreference(preference);
    o.positional.resize(3);
    if (!engine.open(o.positional[0], o.positional[1], o.positional[2])) {
        err << "qelv play: cannot play " << engine.openError() << '\n';
        return 1;
    }
    for (const std::string& note : engine.leftOut()) {
        err << "qelv play: left out " << note << '\n';
    }
    if (!engine.graph()->decoderNote().empty()) {
        err << "qelv play: " << engine.graph()->decoderNote() << '\n';
    }
    if (rate != 1.0) {
        engine.setRate(static_cast<float>(rate));
    }
    const auto start = std::chrono::steady_clock::now();
    if (engine.run() < 0) {
        err << "qelv play: the recording does not play\n";
        return 1;
    }
    using namespace std::chrono_literals;
    std::uint64_t lastPositionMs = 0;  // where a failed recording had got to
    for (;;) {
        engine.processMessages();
        if (engine.failure().empty()) {
            lastPositionMs = engine.positionMs();
        }
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (engine.endOfStream() || !engine.failure().empty() ||
            (seconds > 0 && elapsed >= seconds)) {
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    engine.pause();
    const auto counts = engine.graph()->counts();
    std::array<std::int64_t, 3> due{};
    for (std::size_t k = 0; k < 3; ++k) {
        due[k] = counts.shown[k] + counts.lost[k];
    }
    out << JsonObject()
               .addRaw("due", array3(due))
               .addRaw("shown", array3(counts.shown))
               .addRaw("lost", array3(counts.lost))
               .add("positionMs",
                    static_cast<std::int64_t>(engine.failure().empty() ? engine.positionMs()
                                                                       : lastPositionMs))
               .add("durationMs", static_cast<std::int64_t>(engine.durationMs()))
               .add("wallMs", static_cast<std::int64_t>(wall.count()))
               .add("decoder", engine.graph()->decoderName())
               .str()
        << '\n';
    if (!engine.failure().empty()) {
        err << "qelv play: playback failed: " << engine.failure() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace qelv::cli
