// Exports of simulator recordings, checked with ffprobe and ffmpeg: the clip's length and
// frames, each camera's place in the picture (the simulator paints each camera in its own
// colour), the burnt-in overlay, the sound, the joint between two recordings, and that a
// failed or cancelled export leaves nothing behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cli_run.h"
#include "export/clip_check.h"
#include "export/clip_export.h"
#include "simulator/frame_painter.h"
#include "simulator/recorder_simulator.h"
#include "support/temp_dir.h"

namespace qelv::media {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::runQelv;

// Frames are compared at a fifth of the clip's size.
constexpr int kW = 384, kH = 216, kScale = 5;

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

std::string capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 65536> buffer{};
        for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
            out.append(buffer.data(), n);
        }
        pclose(pipe);
    }
    return out;
}

// `count` frames from `seconds` on, as RGB at kW x kH, decoded by ffmpeg.
std::vector<std::string> framesOf(const fs::path& clip, double seconds, int count) {
    const std::string raw =
        capture("ffmpeg -v error -ss " + std::to_string(seconds) + " -i " + quoted(clip) +
                " -frames:v " + std::to_string(count) + " -vf scale=" + std::to_string(kW) + ":" +
                std::to_string(kH) + " -f rawvideo -pix_fmt rgb24 -");
    std::vector<std::string> frames;
    for (std::size_t at = 0; at + kW * kH * 3 <= raw.size(); at += kW * kH * 3) {
        frames.push_back(raw.substr(at, kW * kH * 3));
    }
    return frames;
}

// Mean colour of a rectangle given in clip pixels (1920 x 1080).
sim::Rgb meanOf(const std::string& frame, Region r) {
    double sum[3] = {};
    int n = 0;
    for (int y = r.y / kScale; y < (r.y + r.height) / kScale; ++y) {
        for (int x = r.x / kScale; x < (r.x + r.width) / kScale; ++x) {
            for (int c = 0; c < 3; ++c) {
                sum[c] += static_cast<unsigned char>(
                    frame[static_cast<std::size_t>((y * kW + x) * 3 + c)]);
            }
            ++n;
        }
    }
    return {static_cast<int>(sum[0] / n), static_cast<int>(sum[1] / n),
            static_cast<int>(sum[2] / n)};
}

bool near(sim::Rgb a, sim::Rgb b) {
    return std::abs(a.r - b.r) < 40 && std::abs(a.g - b.g) < 40 && std::abs(a.b - b.b) < 40;
}

// A part of a camera's place clear of its number, its moving square and the overlay.
Region quietPart(Region r) {
    return {r.x + r.width / 10, r.y + r.height * 3 / 4, r.width * 4 / 10, r.height / 8};
}

double meanDifference(const std::string& a, const std::string& b, Region r) {
    double sum = 0;
    int n = 0;
    for (int y = r.y / kScale; y < (r.y + r.height) / kScale; ++y) {
        for (int x = r.x / kScale; x < (r.x + r.width) / kScale; ++x) {
            const auto i = static_cast<std::size_t>((y * kW + x) * 3);
            for (int c = 0; c < 3; ++c) {
                sum += std::abs(static_cast<unsigned char>(a[i + c]) -
                                static_cast<unsigned char>(b[i + c]));
            }
            ++n;
        }
    }
    return sum / n;
}

struct Probe {
    double videoSeconds = 0;
    long frames = 0;
    bool sound = false;
    double soundSeconds = 0;
};

Probe probe(const fs::path& clip) {
    Probe p;
    const std::string video = capture(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=duration,nb_read_frames -of default=nw=1 " +
        quoted(clip));
    std::sscanf(video.c_str() + std::min(video.find("duration="), video.size()), "duration=%lf",
                &p.videoSeconds);
    std::sscanf(video.c_str() + std::min(video.find("nb_read_frames="), video.size()),
                "nb_read_frames=%ld", &p.frames);
    const std::string sound = capture(
        "ffprobe -v error -select_streams a -show_entries stream=codec_name,duration "
        "-of csv=p=0 " +
        quoted(clip));
    p.sound = sound.find("aac") != std::string::npos;
    std::sscanf(sound.c_str() + std::min(sound.find(','), sound.size()), ",%lf", &p.soundSeconds);
    return p;
}

// The loudest sound in [from, to) seconds of the clip in dB, as ffmpeg measures it (-91 for
// digital silence); NaN when it finds none.
double loudestDb(const fs::path& clip, double from, double to) {
    const std::string log =
        capture("ffmpeg -ss " + std::to_string(from) + " -t " + std::to_string(to - from) + " -i " +
                quoted(clip) + " -map 0:a -af volumedetect -f null - 2>&1");
    const std::size_t at = log.find("max_volume:");
    return at == std::string::npos ? std::nan("") : std::atof(log.c_str() + at + 11);
}

class Export : public ::testing::Test {
protected:
    // Two three-camera recordings of four seconds, the second starting where the first ends.
    static void SetUpTestSuite() {
        s_dir = new test::TempDir();
        for (int k = 0; k < 2; ++k) {
            sim::RecordingRequest request;
            request.cardRoot = s_dir->path() / "card";
            request.start = sim::LocalTime{2024, 1, 31, 12, 0, 4 * k};
            request.seconds = 4;
            request.channels = 3;
            request.seed = 7 + static_cast<std::uint64_t>(k);
            request.bitrateScale = 0.05;
            s_recordings[k] = new sim::SimulatedRecording(sim::simulateRecording(request));
        }
        // One camera on another card: its sound stops after two of its four seconds; then a
        // recording the recorder never finished (no index).
        sim::RecordingRequest other;
        other.cardRoot = s_dir->path() / "other";
        other.start = sim::LocalTime{2024, 1, 31, 12, 10, 0};
        other.seconds = 4;
        other.channels = 1;
        other.soundSeconds = 2;
        other.bitrateScale = 0.05;
        s_recordings[2] = new sim::SimulatedRecording(sim::simulateRecording(other));
        other.start.second = 4;
        other.seconds = 2;
        other.complete = false;
        s_recordings[3] = new sim::SimulatedRecording(sim::simulateRecording(other));
    }
    static void TearDownTestSuite() {
        for (const sim::SimulatedRecording* r : s_recordings) {
            delete r;
        }
        delete s_dir;
    }
    static fs::path file(int recording, int channel) {
        return s_recordings[recording]->files[static_cast<std::size_t>(channel)].path;
    }
    static CliRun exportClip(const std::string& options, const fs::path& out) {
        return runQelv("export " + quoted(file(0, 0)) + " " + options + " --out " + quoted(out));
    }
    static bool folderHoldsOnly(const fs::path& folder, std::size_t count) {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder),
                                                      fs::directory_iterator())) == count;
    }

    static test::TempDir* s_dir;
    static std::array<sim::SimulatedRecording*, 4> s_recordings;
    test::TempDir out;
};

test::TempDir* Export::s_dir = nullptr;
std::array<sim::SimulatedRecording*, 4> Export::s_recordings{};

TEST_F(Export, EachLayoutShowsEveryCameraInItsPlaceForTheWholeSpan) {
    for (const ExportLayout layout : {ExportLayout::Side, ExportLayout::Pip, ExportLayout::Front}) {
        const std::string name(layoutName(layout));
        const fs::path clip = out.path() / (name + ".mp4");
        const CliRun run = exportClip("--from 0.5 --to 2.5 --layout " + name, clip);
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
        EXPECT_NE(run.out.find("\"frames\": 60"), std::string::npos) << run.out;
        const Probe p = probe(clip);
        EXPECT_NEAR(p.videoSeconds, 2.0, 1.0 / 30) << name;
        EXPECT_NEAR(p.frames, 60, 1) << name;
        EXPECT_TRUE(p.sound) << name;
        const auto frames = framesOf(clip, 1.0, 1);
        ASSERT_EQ(frames.size(), 1u) << name;
        const auto regions = layoutRegions(layout, 1920, 1080);
        for (int c = 0; c < 3; ++c) {
            if (const auto& r = regions[static_cast<std::size_t>(c)]) {
                const sim::Rgb seen = meanOf(frames[0], quietPart(*r));
                const sim::Rgb painted = sim::channelColour(c + 1);
                EXPECT_TRUE(near(seen, painted)) << name << " camera " << c + 1 << ": " << seen.r
                                                 << "," << seen.g << "," << seen.b;
            }
        }
    }
}

TEST_F(Export, OverlayShowsTheMomentAndIsLeftOutOnRequest) {
    const fs::path with = out.path() / "with.mp4", without = out.path() / "without.mp4";
    ASSERT_EQ(exportClip("--from 0 --to 3.5 --layout front --no-sound", with).exitCode, 0);
    ASSERT_EQ(
        exportClip("--from 0 --to 3.5 --layout front --no-sound --no-overlay", without).exitCode,
        0);
    EXPECT_FALSE(probe(with).sound);
    // The overlay's corner: the bottom left, where the clock's seconds tick on.
    const Region corner{0, 1080 - 100, 700, 100};
    const auto first = framesOf(with, 0.2, 1), last = framesOf(with, 3.2, 1);
    const auto plain = framesOf(without, 0.2, 1);
    ASSERT_TRUE(first.size() == 1 && last.size() == 1 && plain.size() == 1);
    EXPECT_GT(meanDifference(first[0], last[0], corner), 2.0);
    EXPECT_GT(meanDifference(first[0], plain[0], corner), 10.0);
    // Away from the corner the two exports show the same picture.
    EXPECT_LT(meanDifference(first[0], plain[0], {0, 0, 1920, 800}), 6.0);
}

// The front's sound can stop before its pictures do, or hold nothing in the span: the clip's
// sound then runs silent to the clip's end or is left out, never an empty track that players
// refuse.
TEST_F(Export, SoundRunsToTheClipsEndOrIsLeftOut) {
    struct Case {
        const char* what;
        fs::path front;
        const char* span;
        bool sound;
    };
    const std::vector<Case> cases{
        {"sound stops inside the span", file(2, 0), "--from 1 --to 3", true},
        {"span after the sound stopped", file(2, 0), "--from 2.5 --to 3.5", false},
        {"span after the last sound frame", file(1, 0), "--from 3.95 --to 4", false},
        {"front whose sound track is empty", file(0, 1), "--from 0 --to 1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path clip = out.path() / "clip.mp4";
        const CliRun run = runQelv("export " + quoted(c.front) + " " + c.span +
                                   " --layout front --out " + quoted(clip));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(c.sound ? "\"sound\": true" : "\"sound\": false"), std::string::npos)
            << run.out;
        // Every stream of the clip decodes.
        EXPECT_EQ(capture("ffmpeg -v error -i " + quoted(clip) + " -f null - 2>&1"), "");
        const Probe p = probe(clip);
        EXPECT_EQ(p.sound, c.sound);
        EXPECT_EQ(run.err.find("(sound)") != std::string::npos, !c.sound) << run.err;
        if (c.sound) {
            // The recording's sound stops a moment before 2 s, about 1 s into the clip.
            EXPECT_NEAR(p.soundSeconds, p.videoSeconds, 0.1);
            EXPECT_GT(loudestDb(clip, 0.1, 0.8), -40);
            EXPECT_LT(loudestDb(clip, 1.1, p.videoSeconds), -80);
        }
        fs::remove(clip);
    }
}

// The last look at a clip before it is kept: what a player would refuse is refused.
TEST_F(Export, TheClipCheckRefusesWhatPlayersRefuse) {
    const fs::path clip = out.path() / "clip.mp4", emptySound = out.path() / "empty-sound.mp4";
    ASSERT_EQ(exportClip("--from 0 --to 1 --layout front", clip).exitCode, 0);
    // The muxer writes a sound track without a sample when its sound ends before any came.
    ASSERT_EQ(
        std::system(("gst-launch-1.0 -q videotestsrc num-buffers=10 ! x264enc ! mp4mux "
                     "name=m ! filesink location=" +
                     quoted(emptySound) + " audiotestsrc num-buffers=0 ! avenc_aac ! queue ! m.")
                        .c_str()),
        0);
    const std::string bytes = test::readFile(clip);
    struct Case {
        const char* what;
        fs::path file;
        bool sound;
        bool opens;
    };
    const std::vector<Case> cases{
        {"a clip with sound", clip, true, true},
        {"a clip said to have no sound", clip, false, false},
        {"a clip with an empty sound track", emptySound, true, false},
        {"a clip cut in its index", out.write("cut.mp4", bytes.substr(0, 2000)), true, false},
        {"an empty file", out.write("empty.mp4", ""), true, false},
        {"no file", out.path() / "none.mp4", true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(!clipOpenProblem(c.file.string(), c.sound), c.opens) << c.what;
    }
}

// A recording the recorder never finished is named, with what repairs it; repaired, the same
// exports are made.
TEST_F(Export, NamesAnUnfinishedRecordingAndWhatRepairsIt) {
    const test::TempDir card;
    const fs::path complete = card.path() / file(2, 0).filename();
    const fs::path unfinished = card.path() / file(3, 0).filename();
    fs::copy_file(file(2, 0), complete);
    fs::copy_file(file(3, 0), unfinished);
    const std::vector<std::string> exports{quoted(unfinished) + " --from 0 --to 1",
                                           quoted(complete) + " --from 3 --to 5"};
    for (const std::string& args : exports) {
        const CliRun run = runQelv("export " + args + " --out " + quoted(out.path() / "c.mp4"));
        EXPECT_EQ(run.exitCode, 1) << args;
        EXPECT_NE(run.err.find("recording is unfinished"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("'qelv repair " + unfinished.string() + "'"), std::string::npos);
    }
    ASSERT_EQ(runQelv("repair " + quoted(unfinished)).exitCode, 0);
    for (const std::string& args : exports) {
        EXPECT_EQ(runQelv("export " + args + " --out " + quoted(out.path() / "c.mp4")).exitCode, 0)
            << args;
    }
}

// The recorder stamps a front file's first picture with two frame periods: cut at the movie's
// end and joined as stamped, one picture would repeat at the joint.
TEST_F(Export, SpanAcrossTwoRecordingsHasNoGapOrRepeatAtTheJoint) {
    for (const ExportLayout layout : {ExportLayout::Front, ExportLayout::Side}) {
        const std::string name(layoutName(layout));
        const fs::path clip = out.path() / ("joint-" + name + ".mp4");
        const CliRun run = exportClip("--from 2.5 --to 5.5 --layout " + name, clip);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(file(1, 0).filename().string()), std::string::npos) << run.out;
        const Probe p = probe(clip);
        EXPECT_NEAR(p.frames, 90, 1) << name;
        EXPECT_NEAR(p.videoSeconds, 3.0, 1.0 / 30) << name;
        // Every picture around the joint (1.5 s into the clip) shows each camera in its place,
        // and each differs from the one before there: every square moves a step every frame.
        const auto frames = framesOf(clip, 1.2, 18);
        ASSERT_EQ(frames.size(), 18u);
        const auto regions = layoutRegions(layout, 1920, 1080);
        for (int c = 0; c < 3; ++c) {
            if (!regions[static_cast<std::size_t>(c)]) {
                continue;
            }
            Region place = *regions[static_cast<std::size_t>(c)];
            place.height -= place.y + place.height > 900 ? place.y + place.height - 900 : 0;
            for (std::size_t k = 0; k < frames.size(); ++k) {
                EXPECT_TRUE(near(meanOf(frames[k], quietPart(place)), sim::channelColour(c + 1)))
                    << name << " camera " << c + 1 << " frame " << k;
                if (k > 0) {
                    EXPECT_GT(meanDifference(frames[k - 1], frames[k], place), 0.3)
                        << name << " camera " << c + 1 << " frame " << k;
                }
            }
        }
    }
}

// Four seconds at 30 frames are 120 pictures; the front file stamps its first one with two
// periods (its movie lasts 121), the rear files evenly.
TEST_F(Export, ReadsTheFrontFilesFirstPictureLead) {
    const auto front = readMovieFacts(file(0, 0).string());
    const auto rear = readMovieFacts(file(0, 1).string());
    ASSERT_TRUE(front && rear);
    EXPECT_NEAR(static_cast<double>(front->firstPictureLeadNs), 1e9 / 30, 1e4);
    EXPECT_EQ(rear->firstPictureLeadNs, 0);
    const auto recording = recordingAt(file(0, 0).string());
    ASSERT_TRUE(recording);
    EXPECT_NEAR(static_cast<double>(recording->durationNs), 4e9, 2e6);
    EXPECT_EQ(recording->frontLeadNs, front->firstPictureLeadNs);
    EXPECT_FALSE(readMovieFacts((out.path() / "none.mp4").string()));
}

TEST_F(Export, MissingRearCameraLeavesItsPlaceBlackWithALabel) {
    const fs::path clip = out.path() / "missing.mp4";
    const fs::path gone = out.path() / "gone_R1.mp4";
    const CliRun run = runQelv("export " + quoted(file(0, 0)) + " " + quoted(gone) + " " +
                               quoted(file(0, 2)) + " --from 0 --to 1 --out " + quoted(clip));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("left out " + gone.string()), std::string::npos) << run.err;
    const auto frames = framesOf(clip, 0.5, 1);
    ASSERT_EQ(frames.size(), 1u);
    const auto regions = layoutRegions(ExportLayout::Side, 1920, 1080);
    const sim::Rgb dark = meanOf(frames[0], quietPart(*regions[1]));
    EXPECT_LT(dark.r + dark.g + dark.b, 60);
    // The label sits in the middle of the place.
    const Region middle{regions[1]->x, regions[1]->y + regions[1]->height / 2 - 10,
                        regions[1]->width, 20};
    const sim::Rgb label = meanOf(frames[0], middle);
    EXPECT_GT(label.r + label.g + label.b, dark.r + dark.g + dark.b + 30);
    EXPECT_TRUE(near(meanOf(frames[0], quietPart(*regions[2])), sim::channelColour(3)));
}

TEST_F(Export, RefusesBadSpansInputsAndOutputsWithoutLeavingAFile) {
    const fs::path clip = out.path() / "clip.mp4";
    struct Case {
        const char* what;
        std::string command;
    };
    const std::string front = quoted(file(0, 0));
    const std::vector<Case> cases{
        {"reversed span", "export " + front + " --from 3 --to 1 --out " + quoted(clip)},
        {"empty span", "export " + front + " --from 1 --to 1 --out " + quoted(clip)},
        {"past the last recording",
         "export " + quoted(file(1, 0)) + " --from 2 --to 9 --out " + quoted(clip)},
        {"missing input",
         "export " + quoted(out.path() / "none_F.mp4") + " --from 0 --to 1 --out " + quoted(clip)},
        {"output folder missing",
         "export " + front + " --from 0 --to 1 --out " + quoted(out.path() / "no" / "c.mp4")},
        {"output is a folder", "export " + front + " --from 0 --to 1 --out " + quoted(out.path())},
    };
    for (const Case& c : cases) {
        const CliRun run = runQelv(c.command);
        EXPECT_EQ(run.exitCode, 1) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find("qelv export: "), std::string::npos) << c.what;
        EXPECT_TRUE(run.out.empty()) << c.what;
    }
    EXPECT_TRUE(folderHoldsOnly(out.path(), 0));
    // Sizes outside what the encoder takes are usage errors.
    for (const char* size :
         {"0x0", "65x64", "100000x2", "99999999999x2", "1280x720x", "12a0x720"}) {
        const CliRun run = exportClip("--from 0 --to 1 --size " + std::string(size), clip);
        EXPECT_EQ(run.exitCode, 2) << size << ": " << run.err;
    }
    EXPECT_TRUE(folderHoldsOnly(out.path(), 0));
    // A clip written over its own recording would destroy it.
    const auto before = fs::file_size(file(0, 0));
    EXPECT_EQ(runQelv("export " + front + " --from 0 --to 1 --out " + front).exitCode, 1);
    EXPECT_EQ(fs::file_size(file(0, 0)), before);
}

// A camera's place without pictures is black with its label inside it, in every layout and
// also when the camera's file ends before the span; the burnt-in line fits a narrow clip.
TEST_F(Export, LabelsAndTheLineStayInsideTheirPlaces) {
    const test::TempDir inputs;
    const fs::path shortRear = inputs.path() / "short_R1.mp4";
    ASSERT_EQ(std::system(("ffmpeg -v error -i " + quoted(file(0, 1)) + " -t 2 -c copy " +
                           quoted(shortRear))
                              .c_str()),
              0);
    const std::string front = quoted(file(0, 0)), third = quoted(file(0, 2));
    const std::string gone = quoted(inputs.path() / "gone.mp4");
    const auto side = layoutRegions(ExportLayout::Side, 1920, 1080);
    const auto middleOf = [](Region r) {
        return Region{r.x, r.y + r.height / 2 - 10, r.width, 20};
    };
    enum class Seen { Dark, Front, Text };
    struct Case {
        const char* what;
        std::string args;
        double atSeconds;
        std::vector<std::pair<Region, Seen>> looks;  // in a 1920 x 1080 frame
        std::string leftOut;
    };
    const std::vector<Case> cases{
        {"a long label",
         front + " " + quoted(file(0, 1)) + " " + gone + " --from 0 --to 1",
         0.5,
         {{middleOf(*side[2]), Seen::Text},
          {{side[0]->width - 110, middleOf(*side[2]).y, 100, 20}, Seen::Front}},
         ""},
        {"a missing inset",
         front + " " + gone + " " + third + " --from 0 --to 1 --layout pip",
         0.5,
         {{quietPart(*layoutRegions(ExportLayout::Pip, 1920, 1080)[1]), Seen::Dark}},
         ""},
        {"a rear that ends early",
         front + " " + quoted(shortRear) + " " + third + " --from 0 --to 4",
         3.0,
         {{middleOf(*side[1]), Seen::Text}, {quietPart(*side[1]), Seen::Dark}},
         shortRear.string() + ": its pictures end at 2.0"},
        // 480 x 640 stretched to 1920 x 1080: the line's right end, and its start.
        {"a narrow clip",
         front + " --from 0 --to 3.5 --layout front --size 480x640",
         3.2,
         {{{1760, 1021, 144, 39}, Seen::Dark}, {{48, 1021, 752, 39}, Seen::Text}},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path clip = out.path() / "clip.mp4";
        const CliRun run = runQelv("export " + c.args + " --out " + quoted(clip));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(c.leftOut), std::string::npos) << run.out;
        const auto frames = framesOf(clip, c.atSeconds, 1);
        ASSERT_EQ(frames.size(), 1u);
        for (const auto& [where, seen] : c.looks) {
            const sim::Rgb mean = meanOf(frames[0], where);
            const int sum = mean.r + mean.g + mean.b;
            EXPECT_TRUE(seen == Seen::Front ? near(mean, sim::channelColour(1))
                                            : (seen == Seen::Dark ? sum < 60 : sum > 100))
                << where.x << "," << where.y << ": " << mean.r << "," << mean.g << "," << mean.b;
        }
        fs::remove(clip);
    }
}

// Files the export must not trust: a front that is no recording gives a message and no clip; a
// rear camera that is damaged is left out (its place black) and the clip is made of the rest.
// Either way the export ends, writes nothing but the clip and leaves its inputs as they were.
TEST_F(Export, DamagedFilesGiveAMessageOrABlackPlaceNeverAHalfClip) {
    test::TempDir inputs;
    std::string garbage(64 * 1024, '\0');
    std::mt19937 random(7);
    for (char& c : garbage) {
        c = static_cast<char>(random());
    }
    const std::string front = test::readFile(file(0, 0));
    const std::string rear = test::readFile(file(0, 1));
    // The rear's pictures overwritten in the middle, its index whole: the decoder meets
    // garbage where it expects pictures.
    std::string scrambled = rear;
    const std::size_t third = rear.size() / 3;
    std::copy_n(garbage.begin(), std::min(garbage.size(), third),
                scrambled.begin() + static_cast<long>(third));
    enum class Outcome { NoClip, RearLeftOut, Clip };
    struct Case {
        const char* what;
        std::string front;  // the front file's bytes
        std::string rear;   // the first rear camera's bytes
        Outcome outcome;
    };
    const std::vector<Case> cases{
        {"empty front", "", rear, Outcome::NoClip},
        {"garbage front", garbage, rear, Outcome::NoClip},
        {"front cut inside its first box", front.substr(0, 20), rear, Outcome::NoClip},
        {"front cut before its index", front.substr(0, front.size() / 2), rear, Outcome::NoClip},
        {"front with a box claiming 4 GiB", std::string("\xff\xff\xff\xf0moov", 8) + garbage, rear,
         Outcome::NoClip},
        {"garbage rear", front, garbage, Outcome::RearLeftOut},
        {"rear cut before its index", front, rear.substr(0, rear.size() / 2), Outcome::RearLeftOut},
        {"empty rear", front, "", Outcome::RearLeftOut},
        {"rear with garbage among its pictures", front, scrambled, Outcome::Clip},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path frontPath = inputs.write("20240131_120000_3CH_N_F.mp4", c.front);
        const fs::path rearPath = inputs.write("20240131_120000_3CH_N_R1.mp4", c.rear);
        const fs::path clip = out.path() / "clip.mp4";
        const CliRun run = runQelv("export " + quoted(frontPath) + " " + quoted(rearPath) + " " +
                                   quoted(file(0, 2)) + " --from 0 --to 2 --out " + quoted(clip));
        EXPECT_EQ(test::readFile(frontPath), c.front);
        EXPECT_EQ(test::readFile(rearPath), c.rear);
        if (c.outcome == Outcome::NoClip) {
            EXPECT_EQ(run.exitCode, 1) << run.err;
            EXPECT_NE(run.err.find("qelv export: "), std::string::npos) << run.err;
            EXPECT_TRUE(folderHoldsOnly(out.path(), 0));
            continue;
        }
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(folderHoldsOnly(out.path(), 1));
        const Probe p = probe(clip);
        EXPECT_NEAR(p.frames, 60, 1);
        const auto frames = framesOf(clip, 1.0, 1);
        ASSERT_EQ(frames.size(), 1u);
        const auto regions = layoutRegions(ExportLayout::Side, 1920, 1080);
        if (c.outcome == Outcome::RearLeftOut) {
            EXPECT_NE(run.err.find("left out " + rearPath.string()), std::string::npos) << run.err;
            const sim::Rgb dark = meanOf(frames[0], quietPart(*regions[1]));
            EXPECT_LT(dark.r + dark.g + dark.b, 60);
        }
        EXPECT_TRUE(near(meanOf(frames[0], quietPart(*regions[0])), sim::channelColour(1)));
        EXPECT_TRUE(near(meanOf(frames[0], quietPart(*regions[2])), sim::channelColour(3)));
        fs::remove(clip);
    }
}

// The clip replaces its target by a rename: what is not a regular file is left alone, as is
// the file a link points to.
TEST_F(Export, RefusesToReplaceWhatIsNotARegularFile) {
    const fs::path fifo = out.path() / "fifo.mp4", link = out.path() / "link.mp4";
    const fs::path real = out.path() / "real.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    { std::ofstream(real) << "kept"; }
    fs::create_symlink(real, link);
    for (const fs::path& target : {fifo, link}) {
        const CliRun run = exportClip("--from 0 --to 1", target);
        EXPECT_EQ(run.exitCode, 1) << target;
        EXPECT_NE(run.err.find("choose another name"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::readFile(real), "kept");
    EXPECT_TRUE(folderHoldsOnly(out.path(), 3));
}

// A front file with sound but no pictures in the span makes no clip (it would not play).
TEST_F(Export, AFrontWithoutPicturesMakesNoClip) {
    const fs::path soundOnly = out.path() / "20240131_120000_1CH_N_F.mp4";
    ASSERT_EQ(std::system(("ffmpeg -v error -i " + quoted(file(0, 0)) + " -map 0:a -c copy " +
                           quoted(soundOnly))
                              .c_str()),
              0);
    const CliRun run = runQelv("export " + quoted(soundOnly) + " --from 0 --to 1 --out " +
                               quoted(out.path() / "clip.mp4"));
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(run.err.find("no picture"), std::string::npos) << run.err;
    EXPECT_TRUE(folderHoldsOnly(out.path(), 1));
}

// Ctrl-C, a closed terminal or kill stop an export as Cancel does: nothing is left, neither
// beside the target nor in the temporary folder.
TEST_F(Export, ASignalStopsTheExportAndLeavesNothing) {
    const test::TempDir spool;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const fs::path clip = out.path() / "signalled.mp4";
        // Made before the fork: the child only calls what is safe there.
        const std::string front = file(0, 0).string(), target = clip.string();
        const std::string tmp = "TMPDIR=" + spool.path().string();
        const char* const argv[] = {"qelv", "export", front.c_str(), "--from",       "0",
                                    "--to", "4",      "--out",       target.c_str(), nullptr};
        const char* const envp[] = {tmp.c_str(), "ASAN_OPTIONS=detect_leaks=0", nullptr};
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::execve(QELV_BINARY, const_cast<char* const*>(argv), const_cast<char* const*>(envp));
            ::_exit(127);
        }
        // Stopped once it writes: its temporary file is there.
        bool writing = false;
        for (int k = 0; k < 1200 && !writing; ++k) {
            writing = !folderHoldsOnly(out.path(), 0);
            if (!writing) {
                ::usleep(50'000);
            }
        }
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(writing) << signal;
        EXPECT_TRUE(WIFEXITED(status)) << signal;
        // A run that finished before the signal arrived wrote the whole clip instead.
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            fs::remove(clip);
            continue;
        }
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_TRUE(folderHoldsOnly(out.path(), 0)) << signal;
        EXPECT_TRUE(folderHoldsOnly(spool.path(), 0)) << signal;
    }
}

TEST_F(Export, CancelledExportLeavesNothing) {
    ExportRequest request;
    request.recordings.push_back(*recordingAt(file(0, 0).string()));
    request.recordings.push_back(*recordingAt(file(1, 0).string()));
    request.fromNs = 0;
    request.toNs = 8 * kNsPerSecond;
    request.outPath = (out.path() / "cancelled.mp4").string();
    ClipExport clip(request);
    std::atomic<std::int64_t> shown{0};
    ASSERT_TRUE(clip.start([&](const ExportProgress& p) {
        shown = p.doneNs;
        if (p.doneNs > kNsPerSecond) {
            clip.cancel();
        }
    }));
    const ExportResult result = clip.wait();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.cancelled);
    EXPECT_GT(shown.load(), 0);
    EXPECT_TRUE(folderHoldsOnly(out.path(), 0));
    // Without a cancel the same export succeeds: the cancel, not the request, stopped it.
    ClipExport again(request);
    ASSERT_TRUE(again.start());
    const ExportResult done = again.wait();
    EXPECT_TRUE(done.ok) << done.error;
    EXPECT_EQ(done.recordingsUsed.size(), 2u);
    EXPECT_TRUE(fs::exists(request.outPath));
}

}  // namespace
}  // namespace qelv::media
