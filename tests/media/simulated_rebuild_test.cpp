// Recordings made by the simulator, cut off the way a power loss leaves them, and rebuilt.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <map>

#include "gst_decode.h"
#include "simulator/frame_painter.h"
#include "simulator/recorder_simulator.h"
#include "storage/index_rebuild.h"
#include "support/mp4_boxes.h"
#include "support/rebuilt_index.h"
#include "support/temp_dir.h"

namespace qelv {
namespace {

using test::be32;

std::span<const std::uint8_t> bytesOf(const std::string& file) {
    return {reinterpret_cast<const std::uint8_t*>(file.data()), file.size()};
}

// What ffprobe finds in each stream of a file after reading every packet: codec type to
// (packets, duration in seconds).
std::map<std::string, std::pair<int, double>> probeStreams(const std::filesystem::path& path) {
    const std::string line =
        "ffprobe -v error -count_packets -show_entries "
        "stream=codec_type,duration,nb_read_packets -of compact=p=0 '" +
        path.string() + "' 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    std::string out;
    std::array<char, 4096> chunk{};
    for (std::size_t n; pipe != nullptr && (n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
        out.append(chunk.data(), n);
    }
    if (pipe == nullptr || pclose(pipe) != 0) {
        ADD_FAILURE() << "ffprobe failed: " << out;
        return {};
    }
    // One line a stream: "codec_type=video|duration=2.000000|nb_read_packets=60".
    std::map<std::string, std::pair<int, double>> streams;
    for (std::size_t at = 0; at < out.size();) {
        const std::size_t end = std::min(out.find('\n', at), out.size());
        std::map<std::string, std::string> fields;
        for (std::size_t f = at; f < end;) {
            const std::size_t bar = std::min(out.find('|', f), end);
            const std::string field = out.substr(f, bar - f);
            const std::size_t eq = field.find('=');
            if (eq != std::string::npos) {
                fields[field.substr(0, eq)] = field.substr(eq + 1);
            }
            f = bar + 1;
        }
        if (fields.count("codec_type") != 0) {
            streams[fields["codec_type"]] = {std::atoi(fields["nb_read_packets"].c_str()),
                                             std::atof(fields["duration"].c_str())};
        }
        at = end + 1;
    }
    return streams;
}

class SimulatedRebuild : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir();
        sim::RecordingRequest request;
        request.cardRoot = s_dir->path();
        request.seconds = 2;
        request.channels = 3;
        request.category = core::RecordingCategory::Event;
        request.complete = false;
        request.seed = 11;
        request.bitrateScale = 0.1;  // small files: the layout matters, not the bit rate
        s_recording = new sim::SimulatedRecording(sim::simulateRecording(request));
    }
    static void TearDownTestSuite() {
        delete s_recording;
        delete s_dir;
    }
    static test::TempDir* s_dir;
    static sim::SimulatedRecording* s_recording;
};

test::TempDir* SimulatedRebuild::s_dir = nullptr;
sim::SimulatedRecording* SimulatedRebuild::s_recording = nullptr;

TEST_F(SimulatedRebuild, RebuiltBoxIsTheOneTheRecorderWouldHaveWritten) {
    ASSERT_EQ(s_recording->files.size(), 3u);
    for (const sim::SimulatedFile& file : s_recording->files) {
        SCOPED_TRACE(file.path.filename().string());
        const std::string before = test::readFile(file.path);
        ASSERT_EQ(be32(std::span(reinterpret_cast<const std::uint8_t*>(before.data()), 48), 40),
                  0u);
        const auto result = core::rebuildIndex(file.path, file.camera, file.sizeClass);
        ASSERT_EQ(result.outcome, core::RebuildOutcome::Rebuilt) << result.reason;
        const std::string after = test::readFile(file.path);
        const auto bytes =
            std::span(reinterpret_cast<const std::uint8_t*>(after.data()), after.size());
        const std::uint64_t moovAt = 40 + be32(bytes, 40);
        EXPECT_EQ(moovAt, (file.layout.dataEnd() + 3) & ~std::uint64_t{3});
        // Read back by the test's own reader, the box lists every sample the encoders gave
        // where the simulator placed it.
        EXPECT_EQ(test::indexDifference(bytes, file.layout.placement()), "");
        EXPECT_EQ(std::string(after.substr(moovAt, file.moov.size())),
                  std::string(file.moov.begin(), file.moov.end()));
        // The samples themselves are untouched.
        EXPECT_EQ(after.substr(48, file.layout.dataEnd() - 48),
                  before.substr(48, file.layout.dataEnd() - 48));
    }
}

TEST_F(SimulatedRebuild, RebuiltFilesDecodeEveryFrame) {
    for (const sim::SimulatedFile& file : s_recording->files) {
        SCOPED_TRACE(file.path.filename().string());
        core::rebuildIndex(file.path, file.camera, file.sizeClass);  // repaired by now
        const test::Decoded video = test::decodeVideo(file.path);
        EXPECT_EQ(video.error, "");
        EXPECT_EQ(video.frames, s_recording->frames);
        EXPECT_EQ(video.width, file.video->width);
        EXPECT_EQ(video.height, file.video->height);
        // The channel shows its own colour.
        const test::MeanColour mean = test::bottomColour(video);
        const sim::Rgb expected = sim::channelColour(file.channel);
        EXPECT_NEAR(mean.r, expected.r, 20);
        EXPECT_NEAR(mean.g, expected.g, 20);
        EXPECT_NEAR(mean.b, expected.b, 20);
    }
}

TEST_F(SimulatedRebuild, SoundAndTelemetryTracksListEverySample) {
    const sim::SimulatedFile& front = s_recording->files[0];
    core::rebuildIndex(front.path, front.camera, front.sizeClass);
    const std::string after = test::readFile(front.path);
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(after.data()), after.size());
    const auto moov = bytes.subspan(40 + be32(bytes, 40));
    const auto root = moov.first(be32(moov, 0));
    EXPECT_EQ(test::entries(*test::findBox(root, "trak:1/mdia/minf/stbl/stsz"), 4).size(),
              static_cast<std::size_t>(s_recording->records));
    EXPECT_EQ(test::entries(*test::findBox(root, "trak:2/mdia/minf/stbl/stsz"), 4).size(),
              static_cast<std::size_t>(s_recording->audioFrames));
    const test::Decoded sound = test::decodeAudio(front.path);
    EXPECT_EQ(sound.error, "");
    EXPECT_EQ(sound.frames, s_recording->audioFrames);
}

TEST_F(SimulatedRebuild, ProbedStreamsLastAsLongAsTheirFrames) {
    const sim::SimulatedFile& front = s_recording->files[0];
    core::rebuildIndex(front.path, front.camera, front.sizeClass);  // repaired by now
    const auto streams = probeStreams(front.path);
    ASSERT_EQ(streams.count("video"), 1u);
    ASSERT_EQ(streams.count("audio"), 1u);
    const auto [frames, videoSeconds] = streams.at("video");
    EXPECT_EQ(frames, s_recording->frames);
    EXPECT_NEAR(videoSeconds, s_recording->frames / 30.0, 1.5 / 30);
    const auto [soundFrames, soundSeconds] = streams.at("audio");
    EXPECT_EQ(soundFrames, s_recording->audioFrames);
    EXPECT_NEAR(soundSeconds, s_recording->audioFrames * 1024 / 16000.0, 1e-3);
    // The telemetry track is a data stream to ffprobe: one packet a record.
    EXPECT_EQ(streams.count("data") == 1 ? streams.at("data").first : 0, s_recording->records);
}

TEST(Simulator, CompleteFilesPlayAsWritten) {
    test::TempDir dir;
    sim::RecordingRequest request;
    request.cardRoot = dir.path();
    request.seconds = 1;
    request.channels = 2;
    request.seed = 5;
    request.bitrateScale = 0.1;
    const sim::SimulatedRecording recording = sim::simulateRecording(request);
    ASSERT_EQ(recording.files.size(), 2u);
    EXPECT_EQ(recording.files[0].path.filename(), "20240131_120000_2CH_N_F.mp4");
    EXPECT_EQ(recording.files[1].path.parent_path().filename(), "REAR");
    for (const sim::SimulatedFile& file : recording.files) {
        EXPECT_EQ(core::rebuildIndex(file.path, file.camera, file.sizeClass).outcome,
                  core::RebuildOutcome::Intact);
        EXPECT_EQ(
            test::indexDifference(bytesOf(test::readFile(file.path)), file.layout.placement()), "");
        const test::Decoded video = test::decodeVideo(file.path);
        EXPECT_EQ(video.error, "");
        EXPECT_EQ(video.frames, 30);
        // Every frame starts as the recorder's do.
        for (const sim::Sample& sample : file.layout.samples()) {
            if (sample.kind == sim::SampleKind::Video) {
                EXPECT_EQ(sample.bytes[0], 0);
                EXPECT_EQ(sample.bytes[4], sample.key ? 0x65 : 0x41);
                EXPECT_EQ(sample.bytes[5], sample.key ? 0xB8 : 0xE0);
            }
        }
    }
}

TEST(Simulator, CardRecordingHoldsEveryCameraInOneFile) {
    sim::RecordingRequest request;
    request.seconds = 1;
    request.channels = 3;
    request.category = core::RecordingCategory::User;
    request.seed = 9;
    request.bitrateScale = 0.1;
    const sim::SimulatedCardFile card = sim::simulateCardRecording(request);
    EXPECT_EQ(card.name, "20240131_120000_3CH_U_F.avi");
    EXPECT_EQ(card.time, 1706670000);  // 12:00 at the recorder is 03:00 UTC
    test::TempDir dir;
    const auto path = dir.write(card.name, std::string(card.bytes.begin(), card.bytes.end()));
    const int widths[] = {1920, 1280, 720};
    for (int stream = 0; stream < 3; ++stream) {
        SCOPED_TRACE(stream);
        const test::Decoded video = test::decodeAviVideo(path, stream);
        EXPECT_EQ(video.error, "");
        EXPECT_EQ(video.frames, 30);
        EXPECT_EQ(video.width, widths[stream]);
        const sim::Rgb expected = sim::channelColour(stream + 1);
        EXPECT_NEAR(test::bottomColour(video).g, expected.g, 20);
    }
}

}  // namespace
}  // namespace qelv
