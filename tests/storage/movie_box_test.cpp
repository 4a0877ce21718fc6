#include "storage/movie_box.h"

#include <gtest/gtest.h>

#include "support/mp4_boxes.h"
#include "support/synthetic_samples.h"

namespace qelv::core {
namespace {

using test::be32;
using test::Box;
using test::entries;
using test::findBox;

SampleTables someTables() {
    return sim::RecordingLayout(test::frontSeconds(2)).tables();
}

TEST(MovieBox, BoxSizesAreTheRecorders) {
    const auto moov = buildMovieBox(someTables(), CameraChannel::Front, mp4::kVideo1080);
    const Box root(moov);
    ASSERT_EQ(be32(root, 0), moov.size());
    struct Case {
        const char* path;
        std::uint32_t size;
    };
    const Case cases[] = {
        {"mvhd", 108},
        {"trak:0/tkhd", 92},
        {"trak:0/edts", 36},
        {"trak:0/edts/elst", 28},
        {"trak:0/mdia/mdhd", 32},
        {"trak:0/mdia/hdlr", 45},
        {"trak:0/mdia/minf/vmhd", 20},
        {"trak:0/mdia/minf/dinf", 36},
        {"trak:0/mdia/minf/dinf/dref", 28},
        {"trak:0/mdia/minf/dinf/dref/url ", 12},
        {"trak:0/mdia/minf/stbl/stsd/avc1", 136},
        {"trak:0/mdia/minf/stbl/stsd/avc1/avcC", 50},
        {"trak:1/mdia/hdlr", 37},
        {"trak:1/mdia/minf/nmhd", 12},
        {"trak:1/mdia/minf/stbl/stsd", 129},
        {"trak:1/mdia/minf/stbl/stsd/mp4s", 113},
        {"trak:1/mdia/minf/stbl/stsd/mp4s/esds", 97},
        {"trak:2/mdia/hdlr", 45},
        {"trak:2/mdia/minf/smhd", 16},
        {"trak:2/mdia/minf/stbl/stsd", 103},
        {"trak:2/mdia/minf/stbl/stsd/mp4a", 87},
        {"trak:2/mdia/minf/stbl/stsd/mp4a/esds", 51},
    };
    for (const Case& c : cases) {
        const auto box = findBox(root, c.path);
        ASSERT_TRUE(box) << c.path;
        EXPECT_EQ(box->size(), c.size) << c.path;
    }
}

TEST(MovieBox, ResolutionFollowsCameraAndSizeClass) {
    struct Case {
        CameraChannel camera;
        int sizeClass;
        std::uint16_t width, height;
        std::size_t avc1Size;
    };
    const Case cases[] = {
        {CameraChannel::Front, 0, 1920, 1080, 136}, {CameraChannel::Front, 2, 1920, 1080, 136},
        {CameraChannel::Rear, 3, 1920, 1080, 136},  {CameraChannel::Rear, 1, 1280, 720, 134},
        {CameraChannel::Rear, 0, 720, 480, 134},    {CameraChannel::Rear, 2, 720, 480, 134},
    };
    for (const Case& c : cases) {
        const auto& format = videoFormatFor(c.camera, c.sizeClass);
        EXPECT_EQ(format.width, c.width);
        EXPECT_EQ(format.height, c.height);
        const auto moov = buildMovieBox(someTables(), c.camera, format);
        const auto avc1 = findBox(Box(moov), "trak:0/mdia/minf/stbl/stsd/avc1");
        ASSERT_TRUE(avc1);
        EXPECT_EQ(avc1->size(), c.avc1Size);
        EXPECT_EQ((avc1->data()[32] << 8) | avc1->data()[33], c.width);
        const auto tkhd = findBox(Box(moov), "trak:0/tkhd");
        EXPECT_EQ(be32(*tkhd, 84), std::uint32_t{c.width} << 16);
        EXPECT_EQ(be32(*tkhd, 88), std::uint32_t{c.height} << 16);
    }
}

TEST(MovieBox, TimingOfFrontAndRearFiles) {
    const SampleTables tables = someTables();  // 60 frames, 30 sound frames, 2 records
    const auto front = buildMovieBox(tables, CameraChannel::Front, mp4::kVideo1080);
    const auto rear = buildMovieBox(tables, CameraChannel::Rear, mp4::kVideo480);
    const auto frontStts = findBox(Box(front), "trak:0/mdia/minf/stbl/stts");
    EXPECT_EQ(entries(*frontStts), (std::vector<std::uint32_t>{1, 1024, 59, 512}));
    const auto rearStts = findBox(Box(rear), "trak:0/mdia/minf/stbl/stts");
    EXPECT_EQ(entries(*rearStts), (std::vector<std::uint32_t>{60, 512}));

    // The front file's first frame lasts two frame times: its 60 frames span 61.
    EXPECT_EQ(be32(*findBox(Box(front), "mvhd"), 24), 61u * 33333 / 1000);
    EXPECT_EQ(be32(*findBox(Box(front), "trak:0/edts/elst"), 16), 61u * 33333 / 1000);
    EXPECT_EQ(be32(*findBox(Box(rear), "mvhd"), 24), 60u * 33333 / 1000);
    EXPECT_EQ(be32(*findBox(Box(front), "trak:0/mdia/mdhd"), 24), 60ull * 511994880 / 1000000);
    EXPECT_EQ(be32(*findBox(Box(front), "trak:2/mdia/mdhd"), 24), 30u * 1024);
    EXPECT_EQ(be32(*findBox(Box(front), "trak:2/tkhd"), 28), 30u * 64);
    EXPECT_EQ(be32(*findBox(Box(front), "trak:1/tkhd"), 28), 2u * 64);
    EXPECT_EQ(entries(*findBox(Box(front), "trak:0/mdia/minf/stbl/stss")),
              (std::vector<std::uint32_t>{1, 31}));
}

TEST(MovieBox, TablesAreWrittenWhole) {
    const SampleTables tables = someTables();
    const auto moov = buildMovieBox(tables, CameraChannel::Front, mp4::kVideo1080);
    const Box root(moov);
    EXPECT_EQ(entries(*findBox(root, "trak:0/mdia/minf/stbl/stsz"), 4), tables.videoSizes);
    EXPECT_EQ(entries(*findBox(root, "trak:0/mdia/minf/stbl/stco")), tables.videoChunkOffsets);
    EXPECT_EQ(entries(*findBox(root, "trak:1/mdia/minf/stbl/stsz"), 4), tables.telemetrySizes);
    EXPECT_EQ(entries(*findBox(root, "trak:1/mdia/minf/stbl/stco")), tables.telemetryOffsets);
    EXPECT_EQ(entries(*findBox(root, "trak:2/mdia/minf/stbl/stsz"), 4), tables.audioSizes);
    EXPECT_EQ(entries(*findBox(root, "trak:2/mdia/minf/stbl/stco")), tables.audioOffsets);
    // Video chunks: a run of two frames after each sound frame.
    EXPECT_EQ(entries(*findBox(root, "trak:0/mdia/minf/stbl/stsc")),
              (std::vector<std::uint32_t>{1, 2, 1}));
    // The sound descriptor: AAC LC 16 kHz stereo at 24 kbit/s.
    const auto esds = *findBox(root, "trak:2/mdia/minf/stbl/stsd/mp4a/esds");
    const std::vector<std::uint8_t> expected{0x03, 0x80, 0x80, 0x80, 0x22, 0x00, 0x03, 0x00,
                                             0x04, 0x80, 0x80, 0x80, 0x14, 0x40, 0x15};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), esds.begin() + 12));
    EXPECT_EQ(esds[esds.size() - 8], 0x14);
    EXPECT_EQ(esds[esds.size() - 7], 0x10);
}

TEST(MovieBox, EmptyTracksClaimNoChunks) {
    SampleTables tables;
    tables.videoSizes = {100};
    tables.videoChunkOffsets = {48};
    tables.videoChunkRuns = {{1, 1, 1}};
    const auto moov = buildMovieBox(tables, CameraChannel::Rear, mp4::kVideo720);
    for (const char* path : {"trak:1/mdia/minf/stbl/stsc", "trak:2/mdia/minf/stbl/stsc"}) {
        EXPECT_TRUE(entries(*findBox(Box(moov), path)).empty()) << path;
    }
    // No frames at all: no time-to-sample entry that would claim four billion of them.
    const auto none = buildMovieBox({}, CameraChannel::Front, mp4::kVideo1080);
    EXPECT_TRUE(entries(*findBox(Box(none), "trak:0/mdia/minf/stbl/stts")).empty());
}

}  // namespace
}  // namespace qelv::core
