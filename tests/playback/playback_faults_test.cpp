// What the engine does when things go wrong or change under it: a rate change back to 1.0,
// damaged rear files, errors while playing, frames lost to a slow pane, a repaint after a
// drag, the state read from another thread. Each case measures what a user would see.
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "playback/filter_check.h"
#include "playback/headless_surface.h"
#include "playback/playback_engine.h"
#include "simulator/recorder_simulator.h"
#include "support/temp_dir.h"

namespace qelv::media {
namespace {

using namespace std::chrono_literals;
using test::HeadlessSurface;

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// Offset of the top-level box `type` (the recorder's files have small boxes only).
std::size_t topBox(const std::vector<std::uint8_t>& bytes, std::string_view type) {
    for (std::size_t at = 0; at + 8 <= bytes.size();) {
        if (std::string_view(reinterpret_cast<const char*>(&bytes[at + 4]), 4) == type) {
            return at;
        }
        const std::uint32_t size = be32(bytes, at);
        if (size < 8) {
            break;
        }
        at += size;
    }
    ADD_FAILURE() << "no " << type << " box";
    return 0;
}

// Waits for `done`, handling the engine's messages, for at most `limit`.
template <typename Done>
bool waitFor(PlaybackEngine& engine, Done done, std::chrono::milliseconds limit = 30s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        engine.processMessages();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// Posts an error as the named element would when it fails.
void failElement(const PlaybackEngine& engine, const char* name, const char* text) {
    GstElement* element = gst_bin_get_by_name(GST_BIN(engine.graph()->pipeline()), name);
    ASSERT_NE(element, nullptr) << name;
    GError* error = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, text);
    gst_element_post_message(element, gst_message_new_error(GST_OBJECT(element), error, "test"));
    g_error_free(error);
    gst_object_unref(element);
}

class Faults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir();
        sim::RecordingRequest request;
        request.cardRoot = s_dir->path();
        request.seconds = 4;
        request.channels = 3;
        request.seed = 11;
        request.bitrateScale = 0.05;
        s_recording = new sim::SimulatedRecording(sim::simulateRecording(request));
        // Long enough for two seconds at 2.0 between measurements at 1.0.
        request.cardRoot = s_dir->path() / "long";
        request.seconds = 11;
        request.channels = 1;
        s_long = new sim::SimulatedRecording(sim::simulateRecording(request));
    }
    static void TearDownTestSuite() {
        delete s_long;
        delete s_recording;
        delete s_dir;
    }
    static std::string path(int channel) {
        return s_recording->files[static_cast<std::size_t>(channel)].path.string();
    }
    // How fast the position advances against the wall clock, over `span`.
    double measuredRate(std::chrono::milliseconds span) {
        std::this_thread::sleep_for(200ms);  // past the seek that a rate change makes
        const auto t0 = std::chrono::steady_clock::now();
        const double p0 = static_cast<double>(engine.positionMs());
        std::this_thread::sleep_for(span);
        const double p1 = static_cast<double>(engine.positionMs());
        const auto wallMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        return (p1 - p0) / wallMs;
    }

    void SetUp() override { engine.initialise(&pane1, &pane2, &pane3); }

    static test::TempDir* s_dir;
    static sim::SimulatedRecording* s_recording;
    static sim::SimulatedRecording* s_long;
    HeadlessSurface pane1{640, 360}, pane2{320, 180}, pane3{320, 180};
    PlaybackEngine engine;
};

test::TempDir* Faults::s_dir = nullptr;
sim::SimulatedRecording* Faults::s_recording = nullptr;
sim::SimulatedRecording* Faults::s_long = nullptr;

// The speed playback really has through rate changes and seeks: the position's advance over
// two seconds of wall time, compared with the speed measured at 1.0 in the same run (a busy
// machine slows both alike).
TEST_F(Faults, RatesPlayAtTheirSpeedThroughChangesAndSeeks) {
    enum class Do { Nothing, Rate, Seek, SeekWhilePaused };
    struct Step {
        Do action;
        float value;   // the rate, or the position in ms
        double speed;  // expected afterwards, as a multiple of 1.0
    };
    struct Case {
        const char* what;
        float startRate;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"1.0, 2.0 and back",
         1.0f,
         {{Do::Nothing, 0, 1.0}, {Do::Rate, 2.0f, 2.0}, {Do::Rate, 1.0f, 1.0}}},
        {"1.0, 0.5 and back",
         1.0f,
         {{Do::Nothing, 0, 1.0}, {Do::Rate, 0.5f, 0.5}, {Do::Rate, 1.0f, 1.0}}},
        {"seeks at 2.0, then 1.0",
         2.0f,
         {{Do::Seek, 1000, 2.0}, {Do::SeekWhilePaused, 500, 2.0}, {Do::Rate, 1.0f, 1.0}}},
        {"a seek at 0.5, then 1.0", 0.5f, {{Do::Seek, 3000, 0.5}, {Do::Rate, 1.0f, 1.0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(engine.open(s_long->files[0].path.string()));
        engine.setRate(c.startRate);
        ASSERT_EQ(engine.run(), kOk);
        std::vector<double> measured;
        for (const Step& step : c.steps) {
            if (step.action == Do::Rate) {
                ASSERT_TRUE(engine.setRate(step.value));
            } else if (step.action == Do::Seek) {
                ASSERT_TRUE(engine.seek(static_cast<std::uint64_t>(step.value)));
            } else if (step.action == Do::SeekWhilePaused) {
                ASSERT_EQ(engine.pause(), kOk);
                ASSERT_TRUE(engine.seek(static_cast<std::uint64_t>(step.value)));
                ASSERT_EQ(engine.run(), kOk);
            }
            measured.push_back(measuredRate(2000ms));
        }
        EXPECT_TRUE(engine.stop());
        double normal = 0;
        int normals = 0;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            if (c.steps[i].speed == 1.0) {
                normal += measured[i];
                ++normals;
            }
        }
        normal /= normals;
        EXPECT_NEAR(normal, 1.0, 0.35);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            EXPECT_NEAR(measured[i] / normal, c.steps[i].speed, 0.35 * c.steps[i].speed)
                << "step " << i << ": " << measured[i] << " against " << normal << " at 1.0";
        }
    }
}

// A seek is never lost to the call that follows it at once: the position lands where the
// call takes it from the seek's target, on by no more than the time since at the fastest rate
// played. (A pause overtaking the return to playing after a seek used to add the time played
// before the seek.) A stopped recording has no position and plays from the start again.
TEST_F(Faults, ASeekIsNeverLostToTheNextCall) {
    using E = PlaybackEngine&;
    const std::tuple<const char*, bool, std::function<void(E)>, double, double> cases[] = {
        {"pause", false, [](E e) { e.pause(); }, 6000, 1},
        {"play", true, [](E e) { e.run(); }, 6000, 1},
        {"play, playing", false, [](E e) { e.run(); }, 6000, 1},
        {"rate 2.0", false, [](E e) { e.setRate(2); }, 6000, 2},
        {"rate 0.5", false, [](E e) { e.setRate(0.5f); }, 6000, 1},
        {"step forward", false, [](E e) { e.stepForward(1); }, 7000, 1},
        {"step back", false, [](E e) { e.stepBack(2); }, 4000, 1},
        {"seek", false, [](E e) { e.seek(1000); }, 1000, 1},
        {"stop", false, [](E e) { e.stop(); }, 0, 0},
        {"stop, play", false, [](E e) { EXPECT_TRUE(e.stop() && e.run() == kOk); }, 0, 1},
        {"stop, seek, play", true,
         [](E e) { EXPECT_TRUE(e.stop() && e.seek(3000) && e.run() == kOk); }, 3000, 1}};
    for (const auto& [what, paused, next, at, fastest] : cases) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(engine.open(s_long->files[0].path.string()) && engine.run() == kOk);
        ASSERT_TRUE(waitFor(engine, [&] { return engine.positionMs() >= 2000; }));
        ASSERT_EQ(paused ? engine.pause() : kOk, kOk);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(engine.seek(6000));
        next(engine);
        engine.pause();
        const double span =
            fastest / 2 *
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        EXPECT_NEAR(static_cast<double>(engine.positionMs()), at + span, span + 40);
    }
}

// The volume chosen before a recording is opened (the slider's, kept from the last one) is
// the gain of the sound chain's volume element once it plays: 1000 log10(v / 100) hundredths
// of a decibel, truncated, as 10^(level / 2000).
TEST_F(Faults, VolumeChosenEarlierIsTheGainOfTheSoundChain) {
    const auto volumeElement = [&]() -> GstElement* {
        GstIterator* all = gst_bin_iterate_recurse(GST_BIN(engine.graph()->pipeline()));
        GstElement* found = nullptr;
        GValue item = G_VALUE_INIT;
        while (found == nullptr && gst_iterator_next(all, &item) == GST_ITERATOR_OK) {
            auto* element = GST_ELEMENT(g_value_get_object(&item));
            GstElementFactory* factory = gst_element_get_factory(element);
            if (factory != nullptr &&
                std::string_view(gst_plugin_feature_get_name(factory)) == "volume") {
                found = GST_ELEMENT(gst_object_ref(element));
            }
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(all);
        return found;
    };
    struct Case {
        int percent;
        bool openBefore;  // a recording was open while the volume was chosen
        double gain;
    };
    const Case cases[] = {
        {40, false, 0.63314},  // -397.94 truncated to -397: 10^-0.1985
        {90, true, 0.94951},   // -45
        {0, true, 0.0},        // -10000: silent
        {100, false, 1.0},     // full volume stays full
        {10, true, 0.31659},   // 0.1 in single precision is a hair above: -999, not -1000
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        engine.teardown();
        if (c.openBefore) {
            ASSERT_TRUE(engine.open(path(0)));
        }
        ASSERT_TRUE(engine.setVolume(c.percent));
        ASSERT_TRUE(engine.open(path(0), path(1)));
        ASSERT_TRUE(engine.graph()->hasSound());
        GstElement* volume = volumeElement();
        ASSERT_NE(volume, nullptr);
        gdouble gain = -1;
        gboolean mute = TRUE;
        g_object_get(volume, "volume", &gain, "mute", &mute, nullptr);
        gst_object_unref(volume);
        EXPECT_NEAR(gain, c.gain, 1e-4);
        EXPECT_FALSE(mute);
    }
}

// A rear file that no parser can read leaves the recording playing with the others.
TEST_F(Faults, DamagedRearFileLeavesItsChannelOut) {
    const std::vector<std::uint8_t> rear = readFile(path(1));
    const std::size_t moov = topBox(rear, "moov");
    const std::uint32_t moovSize = be32(rear, moov);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"cut inside its movie box",
         std::vector<std::uint8_t>(
             rear.begin(), rear.begin() + static_cast<std::ptrdiff_t>(moov + moovSize / 2))});
    std::vector<std::uint8_t> garbage = rear;
    std::mt19937 random(7);
    for (std::size_t i = moov + 8; i < moov + moovSize; ++i) {
        garbage[i] = static_cast<std::uint8_t>(random());
    }
    cases.push_back({"movie box of random bytes", garbage});
    cases.push_back({"bare RIFF header", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}});
    std::vector<std::uint8_t> noVideo = rear;
    for (std::size_t i = moov; i + 4 <= moov + moovSize; ++i) {
        if (std::memcmp(&noVideo[i], "vide", 4) == 0) {
            std::memcpy(&noVideo[i], "zzzz", 4);  // the handler: no track is video any more
        }
    }
    cases.push_back({"index without a video track", noVideo});
    cases.push_back({"text file", {'h', 'e', 'l', 'l', 'o', '\n'}});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto damaged = s_dir->path() / (std::string(c.name) + "_R1.mp4");
        writeFile(damaged, c.bytes);
        const int shownBefore = pane1.presented();
        ASSERT_TRUE(engine.open(path(0), damaged.string(), path(2))) << engine.openError();
        EXPECT_TRUE(engine.graph()->hasChannel(0));
        EXPECT_FALSE(engine.graph()->hasChannel(1));
        EXPECT_TRUE(engine.graph()->hasChannel(2));
        EXPECT_TRUE(engine.graph()->hasSound());
        EXPECT_GT(pane1.presented(), shownBefore);
        ASSERT_FALSE(engine.leftOut().empty());
        EXPECT_EQ(engine.leftOut().front().rfind(damaged.string(), 0), 0u)
            << engine.leftOut().front();
        EXPECT_EQ(engine.run(), kOk);
        EXPECT_TRUE(engine.stop());
        EXPECT_EQ(readFile(damaged), c.bytes);  // nothing touched the file
    }
}

// A FIFO named like a recording would block a reader forever.
TEST_F(Faults, FifoIsNoChannelFile) {
    const auto fifo = s_dir->path() / "fifo_R1.mp4";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(engine.open(path(0), fifo.string()));
    EXPECT_FALSE(engine.graph()->hasChannel(1));
    ASSERT_FALSE(engine.leftOut().empty());
    EXPECT_EQ(engine.leftOut().front(), fifo.string() + ": is not a regular file");
    EXPECT_FALSE(engine.open(fifo.string()));
    EXPECT_EQ(engine.openError(), fifo.string() + ": is not a regular file");
}

// The same damage on the front file fails the open, and the message names that file.
TEST_F(Faults, DamagedFrontFileFailsTheOpenNamingIt) {
    const auto damaged = s_dir->path() / "broken_F.mp4";
    writeFile(damaged, {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '});
    EXPECT_FALSE(engine.open(damaged.string(), path(1), path(2)));
    EXPECT_EQ(engine.state(), kNoGraphState);
    EXPECT_NE(engine.openError().find(damaged.string()), std::string::npos) << engine.openError();
    EXPECT_EQ(engine.openError().find(path(1)), std::string::npos);
}

TEST_F(Faults, FrontErrorWhilePlayingEndsPlaybackWithTheMessage) {
    ASSERT_TRUE(engine.open(path(0), path(1)));
    ASSERT_EQ(engine.run(), kOk);
    failElement(engine, "FFDShow Decoder1", "the front picture is broken");
    ASSERT_TRUE(waitFor(engine, [&] { return !engine.failure().empty(); }));
    EXPECT_EQ(engine.failure(), "the front picture is broken");
    EXPECT_EQ(engine.state(), 2);
    const std::uint64_t stoppedAt = engine.positionMs();
    std::this_thread::sleep_for(300ms);
    EXPECT_NEAR(static_cast<double>(engine.positionMs()), static_cast<double>(stoppedAt), 40.0);
}

// A rear channel that fails while playing ends alone; the recording still plays to its end.
TEST_F(Faults, RearErrorWhilePlayingLeavesTheRestPlaying) {
    ASSERT_TRUE(engine.open(path(0), path(1), path(2)));
    ASSERT_EQ(engine.run(), kOk);
    std::this_thread::sleep_for(300ms);
    failElement(engine, "FFDShow Decoder2", "the rear picture is broken");
    EXPECT_TRUE(waitFor(engine, [&] { return engine.endOfStream(); }));
    EXPECT_TRUE(engine.failure().empty()) << engine.failure();
    ASSERT_FALSE(engine.leftOut().empty());
    EXPECT_NE(engine.leftOut().back().find("the rear picture is broken"), std::string::npos);
    EXPECT_NEAR(static_cast<double>(engine.positionMs()), static_cast<double>(engine.durationMs()),
                150.0);
}

// A file cut short while it plays (a card pulled out) ends its stream early: that is a
// failure the user must see, not the end of the recording.
TEST_F(Faults, FileCutShortWhilePlayingIsAFailure) {
    const auto copy = s_dir->path() / "shrinking_F.mp4";
    std::filesystem::copy_file(path(0), copy, std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(engine.open(copy.string()));
    ASSERT_EQ(engine.run(), kOk);
    std::this_thread::sleep_for(500ms);
    std::filesystem::resize_file(copy, 20000);
    ASSERT_TRUE(waitFor(engine, [&] { return !engine.failure().empty() || engine.endOfStream(); }));
    EXPECT_FALSE(engine.endOfStream());
    EXPECT_NE(engine.failure().find("cut short"), std::string::npos) << engine.failure();
    EXPECT_EQ(engine.state(), 2);
}

// A pane too slow for the frame rate: every frame is either shown or counted as lost.
TEST_F(Faults, EveryDueFrameIsShownOrCountedLost) {
    class SlowSurface : public HeadlessSurface {
    public:
        using HeadlessSurface::HeadlessSurface;
        void present(std::shared_ptr<const VideoFrame> frame, Rect destination) override {
            std::this_thread::sleep_for(70ms);
            HeadlessSurface::present(std::move(frame), destination);
        }
    } slow{640, 360};
    engine.initialise(&slow, &pane2, &pane3);
    ASSERT_TRUE(engine.open(path(0)));
    ASSERT_EQ(engine.run(), kOk);
    ASSERT_TRUE(waitFor(engine, [&] { return engine.endOfStream(); }));
    const auto counts = engine.graph()->counts();
    const int frames = s_recording->frames;
    EXPECT_GT(counts.lost[0], frames / 4);
    EXPECT_LT(counts.shown[0], frames);
    EXPECT_NEAR(static_cast<double>(counts.shown[0] + counts.lost[0]), frames, 2.0);
    engine.stop();
}

// The rear pane shows a picture a moment late rather than lose the next ones; one that cannot
// keep up still gives pictures up.
TEST_F(Faults, TheRearRidesOutAHiccupButGivesUpWhenItCannotKeepUp) {
    class StallingSurface : public HeadlessSurface {
    public:
        StallingSurface(int every, std::chrono::milliseconds stall)
            : HeadlessSurface(320, 180), m_every(every), m_stall(stall) {}
        void present(std::shared_ptr<const VideoFrame> frame, Rect destination) override {
            if (++m_count % m_every == 0) {
                std::this_thread::sleep_for(m_stall);
            }
            HeadlessSurface::present(std::move(frame), destination);
        }

    private:
        int m_every;
        std::chrono::milliseconds m_stall;
        int m_count = 0;
    };
    struct Case {
        int every;
        std::chrono::milliseconds stall;
        bool givesUp;
    };
    for (const Case& c : {Case{8, 45ms, false}, Case{1, 70ms, true}}) {
        SCOPED_TRACE(c.every);
        StallingSurface rear(c.every, c.stall);
        engine.initialise(&pane1, &rear, &pane3);
        ASSERT_TRUE(engine.open(path(0), path(1)));
        ASSERT_EQ(engine.run(), kOk);
        ASSERT_TRUE(waitFor(engine, [&] { return engine.endOfStream(); }));
        const auto counts = engine.graph()->counts();
        const int frames = s_recording->frames;
        if (c.givesUp) {
            EXPECT_GT(counts.lost[1], frames / 4);
        } else {
            EXPECT_LE(counts.lost[1], 2);  // a busy machine's own lateness aside
            EXPECT_GE(counts.shown[1], frames - 2);
        }
        engine.stop();
    }
}

// The nice value of each of the process's threads, by /proc/self/task.
std::vector<int> threadNiceValues() {
    std::vector<int> values;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(in)), {});
        const auto close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;  // the thread ended meanwhile
        }
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        for (int i = 3; i < 19 && fields >> field; ++i) {
        }
        int nice = 0;
        if (fields >> nice) {
            values.push_back(nice);
        }
    }
    return values;
}

// The rear cameras' threads give up priority; none of them lives on into the next recording,
// whose front camera would otherwise be played by a thread that gave it up.
TEST_F(Faults, TheRearsLowPriorityEndsWithItsRecording) {
    const int own = getpriority(PRIO_PROCESS, 0);
    ASSERT_TRUE(engine.open(path(0), path(1), path(2)));
    ASSERT_EQ(engine.run(), kOk);
    ASSERT_TRUE(waitFor(engine, [&] { return pane3.presented() >= 10; }));
    const std::vector<int> playing = threadNiceValues();
    EXPECT_TRUE(std::any_of(playing.begin(), playing.end(), [&](int n) { return n > own; }));
    ASSERT_TRUE(engine.open(s_long->files[0].path.string()));
    const int before = pane1.presented();
    ASSERT_EQ(engine.run(), kOk);
    ASSERT_TRUE(waitFor(engine, [&] { return pane1.presented() >= before + 10; }));
    for (const int nice : threadNiceValues()) {
        EXPECT_EQ(nice, own);
    }
    engine.stop();
}

TEST_F(Faults, RepaintDrawsThePictureWhereItIsPlaced) {
    ASSERT_TRUE(engine.open(path(0), path(1), path(2)));
    ASSERT_EQ(engine.shrink(0, &pane1), 0);
    ASSERT_EQ(engine.shrink(0, &pane1), 0);
    engine.placeWithOffset(0, &pane1, 10, 20);  // dragged
    const Rect dragged = pane1.destination();
    EXPECT_EQ(engine.repaint(0), 1);
    EXPECT_EQ(pane1.presentedAt(), dragged);
    // Re-targeted to another pane, the picture fills that pane.
    engine.setWindows(&pane2, &pane3, &pane1);
    EXPECT_EQ(pane2.presentedAt(), (Rect{0, 0, 320, 180}));
    EXPECT_EQ(engine.repaintAll(), 1);
    EXPECT_EQ(pane2.presentedAt(), (Rect{0, 0, 320, 180}));
}

// The telemetry reader polls the state from its own thread while the user plays, pauses,
// stops and opens recordings; panes are only asked their size on the engine's thread.
TEST_F(Faults, StateIsReadSafelyFromAnotherThread) {
    class ThreadCheckingSurface : public HeadlessSurface {
    public:
        using HeadlessSurface::HeadlessSurface;
        std::int32_t width() const override {
            check();
            return HeadlessSurface::width();
        }
        std::int32_t height() const override {
            check();
            return HeadlessSurface::height();
        }
        void check() const {
            if (std::this_thread::get_id() != owner) {
                ++foreign;
            }
        }
        std::thread::id owner = std::this_thread::get_id();
        mutable std::atomic<int> foreign{0};
    } checked{640, 360};
    engine.initialise(&checked, &pane2, &pane3);
    std::atomic<bool> done{false};
    std::set<std::int32_t> seen;
    std::thread reader([&] {
        while (!done) {
            seen.insert(engine.state());
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(engine.open(path(0), path(1)));
        ASSERT_EQ(engine.run(), kOk);
        std::this_thread::sleep_for(100ms);
        ASSERT_EQ(engine.pause(), kOk);
        std::this_thread::sleep_for(50ms);
        ASSERT_EQ(engine.run(), kOk);
        std::this_thread::sleep_for(100ms);
        ASSERT_TRUE(engine.stop());
        engine.teardown();
    }
    done = true;
    reader.join();
    EXPECT_EQ(checked.foreign.load(), 0);
    for (const std::int32_t state : seen) {
        EXPECT_TRUE(state >= -1 && state <= 3) << state;
    }
    EXPECT_TRUE(seen.contains(0));
}

// The element's plugin is loaded first: loading it later would register the element again.
GstPluginFeature* takeOutOfRegistry(const char* name) {
    GstRegistry* registry = gst_registry_get();
    GstPluginFeature* feature = gst_registry_lookup_feature(registry, name);
    if (feature != nullptr) {
        if (GstPluginFeature* loaded = gst_plugin_feature_load(feature)) {
            gst_object_unref(loaded);
        }
        gst_registry_remove_feature(registry, feature);
    }
    return feature;
}

// Without the sound chain's decoder the viewer still starts and recordings play silently;
// without the video decoder it cannot play anything.
TEST(FilterCheckWithoutElements, OnlyTheParsersAndTheVideoChainAreNeeded) {
    ensureFilters();  // GStreamer started
    GstRegistry* registry = gst_registry_get();
    const auto without = [&](const char* name, auto check) {
        GstPluginFeature* feature = takeOutOfRegistry(name);
        ASSERT_NE(feature, nullptr) << name;
        check();
        gst_registry_add_feature(registry, feature);  // takes the reference back
    };
    without("avdec_aac", [] {
        EXPECT_EQ(checkFilters(), -3);
        EXPECT_TRUE(ensureFilters());
    });
    without("scaletempo", [] { EXPECT_TRUE(ensureFilters()); });
    without("avdec_h264", [] {
        EXPECT_EQ(checkFilters(), -2);
        EXPECT_FALSE(ensureFilters());
    });
    without("qtdemux", [] { EXPECT_FALSE(ensureFilters()); });
}

TEST_F(Faults, WithoutTheSoundDecoderRecordingsPlaySilently) {
    GstRegistry* registry = gst_registry_get();
    GstPluginFeature* feature = takeOutOfRegistry("avdec_aac");
    ASSERT_NE(feature, nullptr);
    const bool opened = engine.open(path(0), path(1));
    const bool sound = opened && engine.graph()->hasSound();
    const bool video = opened && engine.graph()->hasChannel(0) && engine.graph()->hasChannel(1);
    const bool runs = opened && engine.run() == kOk;
    engine.teardown();
    gst_registry_add_feature(registry, feature);
    EXPECT_TRUE(opened) << engine.openError();
    EXPECT_FALSE(sound);
    EXPECT_TRUE(video);
    EXPECT_TRUE(runs);
}

}  // namespace
}  // namespace qelv::media
