#include "storage/index_rebuild.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include "storage/movie_box.h"
#include "support/mp4_boxes.h"
#include "support/synthetic_samples.h"
#include "support/temp_dir.h"

namespace qelv::core {
namespace {

using sim::RecordingLayout;
using test::be32;
using test::readFile;
using test::TempDir;
using test::unfinishedFile;

SampleWalk walkOf(const std::string& file) {
    MemorySource source(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
    return walkSamples(source);
}

std::uint32_t sizeAt40(const std::string& file) {
    return be32(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()), 40);
}

TEST(SampleWalk, FindsEverySampleOfACleanLayout) {
    const RecordingLayout layout(test::frontSeconds(3));
    const SampleWalk walk = walkOf(unfinishedFile(layout, 4096));
    EXPECT_EQ(walk.tables, layout.tables());
    EXPECT_EQ(walk.window, 8u);  // ended at the zeros after the last frame
    EXPECT_EQ(walk.endPosition, layout.dataEnd() + 8);
    EXPECT_EQ(walk.referencedEnd, layout.dataEnd());
}

TEST(SampleWalk, RunsAndKeyFrames) {
    // Twelve frames after every sound frame: one stsc entry however many chunks follow.
    std::vector<sim::Sample> samples;
    for (int chunk = 0; chunk < 5; ++chunk) {
        samples.push_back(test::audioSample(200));
        for (int f = 0; f < 12; ++f) {
            samples.push_back(test::videoSample(500, chunk == 0 && f == 0));
        }
    }
    const SampleWalk walk = walkOf(unfinishedFile(RecordingLayout(samples), 1024));
    EXPECT_EQ(walk.tables.videoChunkRuns, (std::vector<ChunkRun>{{1, 12, 1}}));
    EXPECT_EQ(walk.tables.videoChunkOffsets.size(), 5u);
    EXPECT_EQ(walk.tables.keyFrames, std::vector<std::uint32_t>{1});

    // A new entry only when the count changes: 2, 2, 3, 2 frames give (1,2) (3,3) (4,2).
    samples.clear();
    for (int frames : {2, 2, 3, 2}) {
        samples.push_back(test::audioSample(200));
        for (int f = 0; f < frames; ++f) {
            samples.push_back(test::videoSample(300, false));
        }
    }
    const SampleWalk changing = walkOf(unfinishedFile(RecordingLayout(samples), 1024));
    EXPECT_EQ(changing.tables.videoChunkRuns,
              (std::vector<ChunkRun>{{1, 2, 1}, {3, 3, 1}, {4, 2, 1}}));
    EXPECT_TRUE(changing.tables.keyFrames.empty());
}

TEST(SampleWalk, TablesGrowPastTwoThousandEntries) {
    // Three minutes of video: 5400 frames.
    const RecordingLayout layout(test::frontSeconds(180, 40));
    const SampleWalk walk = walkOf(unfinishedFile(layout, 512));
    EXPECT_EQ(walk.tables.videoSizes.size(), 5400u);
    EXPECT_EQ(walk.tables, layout.tables());
}

TEST(SampleWalk, StopsAtWhatItDoesNotKnow) {
    struct Case {
        const char* what;
        std::string after;  // bytes after one complete video frame
        std::size_t videoFrames;
    };
    const Case cases[] = {
        {"garbage", std::string("\x7F garbage that is no sample at all.........", 40), 1},
        {"a G that is no record", std::string("GPS DATA........", 16), 1},
        {"a zero length word without a slice", std::string(16, '\0'), 1},
        // A frame whose length runs past the end of the file is left out.
        {"a frame cut off", std::string("\x00\x00\x10\x00\x41\xE0\x00\x00", 8), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RecordingLayout layout({test::videoSample(100, true)});
        std::string file = unfinishedFile(layout, 0) + c.after;
        const SampleWalk walk = walkOf(file);
        EXPECT_EQ(walk.tables.videoSizes.size(), c.videoFrames);
        EXPECT_EQ(walk.referencedEnd, layout.dataEnd());
    }
}

TEST(SampleWalk, RecordWhoseBlockIsCutOffGetsNoSize) {
    // The marker lies within the record's 256 bytes, but its 16-byte block runs past the end.
    const RecordingLayout layout({test::videoSample(100, true)});
    std::string file = unfinishedFile(layout, 0) + "G$GPRMC,";
    file.append(240, 'x');
    file += "QELVM";
    file.append(5, '\0');  // eleven bytes of the block are missing
    const SampleWalk walk = walkOf(file);
    EXPECT_EQ(walk.tables.telemetryOffsets.size(), 1u);
    EXPECT_TRUE(walk.tables.telemetrySizes.empty());
    EXPECT_LE(walk.endPosition, file.size());
    EXPECT_LE(walk.referencedEnd, file.size());
}

TEST(SampleWalk, RecordStartingInTheLastBytesOfTheFileIsNotReferencedPastIt) {
    // A sound frame's window ends the file with a record start seven bytes before its end.
    for (const std::string start : {"GXYZ", "G$GPRMC"}) {
        SCOPED_TRACE(start);
        const RecordingLayout layout({test::videoSample(100, true)});
        std::string file = unfinishedFile(layout, 0);
        const std::uint64_t sound = file.size();
        file += std::string("\x21", 1) + std::string(7, 'a');
        file.append(505, 'z');
        file += start;
        file.resize(sound + 8 + 512, '!');
        const SampleWalk walk = walkOf(file);
        ASSERT_EQ(walk.tables.telemetryOffsets.size(), 1u);
        EXPECT_EQ(walk.tables.telemetryOffsets[0], sound + 8 + 505);
        EXPECT_TRUE(walk.tables.telemetrySizes.empty());
        EXPECT_EQ(walk.referencedEnd, file.size());
        EXPECT_LE(walk.endPosition, file.size());
        const auto placement = movieBoxPlacement(walk);
        ASSERT_TRUE(placement.has_value());
        EXPECT_LE(*placement, file.size() + 3);
    }
}

TEST(MovieBoxPlacement, RecorderPlacementOrAfterTheSamples) {
    struct Case {
        const char* what;
        std::uint64_t end;
        std::uint32_t window;
        std::uint64_t referencedEnd;
        std::optional<std::uint64_t> placement;
    };
    const Case cases[] = {
        {"aligned header end", 1008, 8, 1000, 1000},
        {"unaligned header end rounds up", 1010, 8, 1002, 1004},
        {"aligned window end", 2048, 512, 1400, 1536},
        {"unaligned window end", 2050, 512, 1400, 1540},
        // The recorder's formula would land inside the referenced samples.
        {"file ends right after the samples", 1000, 8, 1000, 1000},
        {"short window read", 1300, 512, 1290, 1292},
        {"too little data", 48, 8, 48, std::nullopt},
        {"just enough", 49, 8, 48, 48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SampleWalk walk;
        walk.endPosition = c.end;
        walk.window = c.window;
        walk.referencedEnd = c.referencedEnd;
        EXPECT_EQ(movieBoxPlacement(walk), c.placement);
    }
}

class IndexRebuild : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& bytes) {
        return dir.write("20240131_120000_2CH_N_F.mp4", bytes);
    }
    TempDir dir;
};

TEST_F(IndexRebuild, WritesTheBoxBehindTheSamplesAndPointsAtIt) {
    const RecordingLayout layout(test::frontSeconds(2));
    const std::string before = unfinishedFile(layout, 70000);
    const auto path = write(before);
    const RebuildResult result = rebuildIndex(path, CameraChannel::Front, 0);
    ASSERT_EQ(result.outcome, RebuildOutcome::Rebuilt) << result.reason;

    const std::string after = readFile(path);
    const std::uint64_t placement = 40 + sizeAt40(after);
    EXPECT_EQ(placement, (layout.dataEnd() + 3) & ~3ull);
    const auto expected = buildMovieBox(layout.tables(), CameraChannel::Front, mp4::kVideo1080);
    EXPECT_EQ(after.substr(placement, expected.size()),
              std::string(expected.begin(), expected.end()));
    // Every byte outside the size field and the new box is as it was; the file keeps its size.
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, 40), before.substr(0, 40));
    EXPECT_EQ(after.substr(44, placement - 44), before.substr(44, placement - 44));
    EXPECT_EQ(after.substr(placement + expected.size()),
              before.substr(placement + expected.size()));

    // A second pass finds it complete and leaves it alone.
    EXPECT_EQ(rebuildIndex(path, CameraChannel::Front, 0).outcome, RebuildOutcome::Intact);
    EXPECT_EQ(readFile(path), after);
}

TEST_F(IndexRebuild, FileEndingRightAfterItsSamplesKeepsThem) {
    const RecordingLayout layout(test::frontSeconds(1));
    const std::string before = unfinishedFile(layout, 0);
    const auto path = write(before);
    ASSERT_EQ(rebuildIndex(path, CameraChannel::Front, 0).outcome, RebuildOutcome::Rebuilt);
    const std::string after = readFile(path);
    EXPECT_EQ(after.substr(0, 40), before.substr(0, 40));
    EXPECT_EQ(after.substr(44, before.size() - 44), before.substr(44));
    EXPECT_GE(40 + sizeAt40(after), layout.dataEnd());
}

TEST_F(IndexRebuild, LeavesFilesItCannotRepairUnchanged) {
    const RecordingLayout layout(test::frontSeconds(1));
    std::string complete = unfinishedFile(layout, 0);
    const auto moov = buildMovieBox(layout.tables(), CameraChannel::Front, mp4::kVideo1080);
    const auto size = static_cast<std::uint32_t>(layout.dataEnd() - 40);
    for (int i = 0; i < 4; ++i) {
        complete[40 + i] = static_cast<char>(size >> (24 - 8 * i));
    }
    complete.append(moov.begin(), moov.end());

    struct Case {
        const char* what;
        std::string bytes;
        RebuildOutcome outcome;
    };
    std::string garbage = unfinishedFile(RecordingLayout(), 0);
    garbage.append(4000, '\x7F');
    const Case cases[] = {
        {"complete", complete, RebuildOutcome::Intact},
        {"empty", "", RebuildOutcome::Failed},
        {"shorter than the size field", std::string(42, 'x'), RebuildOutcome::Failed},
        // A sound frame whose 512-byte window runs into the end of the file within 41 bytes.
        {"too little data", unfinishedFile(RecordingLayout({test::audioSample(100)}), 0),
         RebuildOutcome::Failed},
        {"nothing after 40", unfinishedFile(RecordingLayout(), 0), RebuildOutcome::Failed},
        {"garbage after 48", garbage, RebuildOutcome::Failed},
        {"zeros after 48", unfinishedFile(RecordingLayout(), 100000), RebuildOutcome::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = write(c.bytes);
        EXPECT_EQ(rebuildIndex(path, CameraChannel::Front, 0).outcome, c.outcome);
        EXPECT_EQ(readFile(path), c.bytes);
    }
}

TEST_F(IndexRebuild, RefusesWhatIsNoRegularFile) {
    EXPECT_TRUE(rebuildIndex(dir.path() / "missing.mp4", CameraChannel::Front, 0).openFailed);
    EXPECT_EQ(rebuildIndex(dir.path(), CameraChannel::Front, 0).outcome, RebuildOutcome::Failed);
    const auto fifo = dir.path() / "fifo_N_F.mp4";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(rebuildIndex(fifo, CameraChannel::Front, 0).reason, "not a regular file");
}

TEST_F(IndexRebuild, InterruptedWriteLeavesTheFileUnfinished) {
    // The card fills up while the box is written past the old end of the file.
    const RecordingLayout layout(test::frontSeconds(1));
    const std::string before = unfinishedFile(layout, 0);
    const auto path = write(before);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = before.size() + 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const RebuildResult result = rebuildIndex(path, CameraChannel::Front, 0);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(result.outcome, RebuildOutcome::Failed);
    const std::string after = readFile(path);
    EXPECT_EQ(sizeAt40(after), 0u);  // still unfinished: a later listing tries again
    EXPECT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(rebuildIndex(path, CameraChannel::Front, 0).outcome, RebuildOutcome::Rebuilt);
}

TEST_F(IndexRebuild, RearFileOfSizeClassOneGets720p) {
    std::vector<sim::Sample> samples;
    for (int f = 0; f < 60; ++f) {
        samples.push_back(test::videoSample(2000, f % 30 == 0));
    }
    const auto path = write(unfinishedFile(RecordingLayout(samples), 1000));
    ASSERT_EQ(rebuildIndex(path, CameraChannel::Rear, 1).outcome, RebuildOutcome::Rebuilt);
    const std::string after = readFile(path);
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(after.data()), after.size());
    const auto moov = bytes.subspan(40 + sizeAt40(after));
    const auto avcC =
        test::findBox(moov.first(be32(moov, 0)), "trak:0/mdia/minf/stbl/stsd/avc1/avcC");
    ASSERT_TRUE(avcC);
    EXPECT_EQ(avcC->size(), 48u);
    EXPECT_TRUE(std::equal(mp4::kAvcC720.begin(), mp4::kAvcC720.end(), avcC->begin() + 8));
    const auto stts = test::findBox(moov.first(be32(moov, 0)), "trak:0/mdia/minf/stbl/stts");
    EXPECT_EQ(test::entries(*stts), (std::vector<std::uint32_t>{60, 512}));
}

}  // namespace
}  // namespace qelv::core
