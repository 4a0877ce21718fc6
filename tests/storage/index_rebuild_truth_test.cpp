// The rebuilt index judged by what the recorder wrote: every sample's offset, size and track
// as the layout placed them, against the movie box read back by the test's own reader, for
// the shapes recorders produce.
#include <gtest/gtest.h>

#include <algorithm>

#include "storage/index_rebuild.h"
#include "support/rebuilt_index.h"
#include "support/synthetic_samples.h"
#include "support/temp_dir.h"

namespace qelv::core {
namespace {

using sim::Sample;
using test::audioSample;
using test::recordSample;
using test::videoSample;

// A sound frame ends where the walk finds the next sample in the 512 bytes after its 8-byte
// header, at index 0 to 505: it takes 8 to 513 bytes.
constexpr std::uint32_t kShortestSound = 8;
constexpr std::uint32_t kLongestSound = 513;
// A record found in that window needs its marker found there too: before a 20-byte no-fix
// record ("GXYZ" and its block) a sound frame takes at most 509 bytes.
constexpr std::uint32_t kLongestSoundBeforeRecord = 509;
// A record read on its own has its marker searched at 0 to 250 of its first 256 bytes.
constexpr std::uint32_t kShortestRecord = 20;
constexpr std::uint32_t kLongestRecord = 266;

// A record of `size` bytes (its 16-byte block included).
Sample recordOfSize(std::uint32_t size, const std::string& start = "GXYZ") {
    const std::size_t text = std::max<std::size_t>(size - 16, start.size());
    return recordSample(start + std::string(text - start.size(), ','));
}

// A record that lost its block when the recording was cut (or was written without one),
// padded with zeros to `size` bytes.
Sample cutRecord(std::size_t size = 0) {
    Sample record = recordSample();
    record.bytes.erase(record.bytes.end() - 16, record.bytes.end());  // the block
    record.bytes.resize(std::max(size, record.bytes.size()), 0);
    return record;
}

std::vector<Sample> soundOfEveryLength(bool beforeRecord) {
    std::vector<Sample> samples;
    const std::uint32_t longest = beforeRecord ? kLongestSoundBeforeRecord : kLongestSound;
    for (std::uint32_t size = kShortestSound; size <= longest; ++size) {
        samples.push_back(audioSample(size));
        if (beforeRecord) {
            samples.push_back(recordOfSize(kShortestRecord));
        }
        samples.push_back(videoSample(100 + size % 13, size == kShortestSound || size == longest));
    }
    return samples;
}

std::vector<Sample> recordsOfEveryLength() {
    std::vector<Sample> samples;
    for (std::uint32_t size = kShortestRecord; size <= kLongestRecord; ++size) {
        samples.push_back(videoSample(200, size == kShortestRecord));
        samples.push_back(recordOfSize(size, size % 2 == 0 || size < 24 ? "GXYZ" : "G$GPRMC,"));
    }
    samples.push_back(videoSample(200, false));
    return samples;
}

// Seconds of 30 frames (the first a key frame), with a record a second and a sound frame
// every other frame as asked.
std::vector<Sample> seconds(int count, bool sound, bool records) {
    std::vector<Sample> samples;
    for (int s = 0; s < count; ++s) {
        if (records) {
            samples.push_back(recordSample());
        }
        for (int f = 0; f < 30; ++f) {
            if (sound && f % 2 == 0) {
                samples.push_back(audioSample(150 + static_cast<std::uint32_t>(7 * f)));
            }
            samples.push_back(videoSample(900 + static_cast<std::uint32_t>(f), f == 0));
        }
    }
    return samples;
}

// Runs of 3, 3, 5 and 1 frames after sound frames; key frames only at the first and the
// last sample.
std::vector<Sample> keysAtBothEnds() {
    std::vector<Sample> samples{videoSample(700, true)};
    int frames = 1;
    for (int run : {3, 3, 5, 1}) {
        samples.push_back(audioSample(200 + static_cast<std::uint32_t>(run)));
        for (int f = 0; f < run; ++f) {
            samples.push_back(videoSample(600 + static_cast<std::uint32_t>(frames++), false));
        }
    }
    samples.push_back(videoSample(650, true));
    return samples;
}

class RebuiltIndexTruth : public ::testing::Test {
protected:
    // The layout written unfinished with `tail` zeros after it, then rebuilt: what a player
    // finds wrong in the new index. With `lastCut`, the recording was cut inside its last
    // sample: its end is unknown, and it must be left out.
    std::string rebuildAndJudge(const sim::RecordingLayout& layout, CameraChannel camera,
                                std::size_t tail, bool lastCut) {
        const auto path =
            dir.write("20240131_120000_2CH_N_F.mp4", test::unfinishedFile(layout, tail));
        const RebuildResult result = rebuildIndex(path, camera, 0);
        if (result.outcome != RebuildOutcome::Rebuilt) {
            return "not rebuilt: " + result.reason;
        }
        const std::string after = test::readFile(path);
        std::vector<sim::PlacedSample> expected = layout.placement();
        if (lastCut) {
            expected.pop_back();
        }
        return test::indexDifference(
            std::span(reinterpret_cast<const std::uint8_t*>(after.data()), after.size()), expected);
    }
    test::TempDir dir;
};

TEST_F(RebuiltIndexTruth, EverySampleIsListedWhereTheRecorderWroteIt) {
    struct Shape {
        const char* what;
        CameraChannel camera;
        std::vector<Sample> samples;
        std::size_t tail = 4096;  // the recorder's preallocated zeros
        bool lastCut = false;
    };
    const Shape shapes[] = {
        {"a front file: records, sound and frames", CameraChannel::Front, test::frontSeconds(2)},
        {"sound frames of every length, each before a frame", CameraChannel::Front,
         soundOfEveryLength(false)},
        {"sound frames of every length, each before a record", CameraChannel::Front,
         soundOfEveryLength(true)},
        {"records of every length, between frames", CameraChannel::Front, recordsOfEveryLength()},
        {"telemetry but no sound", CameraChannel::Front, seconds(3, false, true)},
        {"sound but no telemetry", CameraChannel::Front, seconds(3, true, false)},
        {"neither: a rear file", CameraChannel::Rear, seconds(3, false, false)},
        {"key frames at the first and the last sample", CameraChannel::Front, keysAtBothEnds()},
        {"the smallest frames and one whose length needs three bytes",
         CameraChannel::Rear,
         {videoSample(7, true), videoSample(6, false), videoSample(0x012345 + 4, false),
          videoSample(7, true)}},
        {"a single key frame", CameraChannel::Rear, {videoSample(500, true)}},
        {"a key frame last, nothing after it", CameraChannel::Rear, keysAtBothEnds(), 0},
        {"sound first, a record last, nothing after it",
         CameraChannel::Front,
         {audioSample(300), videoSample(800, true), videoSample(800, false),
          recordOfSize(kLongestRecord)},
         0},
        // Without a block a record ends where its window does when the next sample is there;
        // the records after it keep their own sizes.
        {"records without their blocks, read alone and after a sound frame",
         CameraChannel::Front,
         {videoSample(800, true), cutRecord(256), audioSample(100), cutRecord(512 - 92),
          videoSample(800, false), recordSample(), videoSample(800, false)}},
        {"cut off after a sound frame",
         CameraChannel::Front,
         {videoSample(800, true), audioSample(200), videoSample(800, false), audioSample(250)},
         4096,
         true},
        {"cut off inside a record",
         CameraChannel::Front,
         {videoSample(800, true), audioSample(200), videoSample(800, false), cutRecord()},
         4096,
         true},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.what);
        EXPECT_EQ(rebuildAndJudge(sim::RecordingLayout(shape.samples), shape.camera, shape.tail,
                                  shape.lastCut),
                  "");
    }
}

}  // namespace
}  // namespace qelv::core
