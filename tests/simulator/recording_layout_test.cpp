#include "simulator/recording_layout.h"

#include <gtest/gtest.h>

#include "storage/index_rebuild.h"
#include "support/rebuilt_index.h"
#include "support/synthetic_samples.h"
#include "support/temp_dir.h"

namespace qelv::sim {
namespace {

TEST(RecordingLayout, SourceReadsLikeTheWrittenFile) {
    const RecordingLayout layout(test::frontSeconds(1));
    test::TempDir dir;
    const auto path = dir.path() / "x.mp4";
    const WrittenFile written =
        writeRecording(layout, path, false, core::CameraChannel::Front, core::mp4::kVideo1080, 777);
    const std::string file = test::readFile(path);
    ASSERT_EQ(written.size, file.size());
    ASSERT_EQ(file.size(), layout.dataEnd() + 777);
    LayoutSource source(layout, file.size());
    for (std::uint64_t offset :
         std::vector<std::uint64_t>{0, 40, 47, 48, 1000, layout.dataEnd() - 3}) {
        std::vector<std::uint8_t> bytes(600);
        const std::size_t n = source.read(offset, bytes);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<long>(n)),
                  file.substr(offset, 600))
            << offset;
    }
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".partial"));
}

TEST(RecordingLayout, CompleteFilePointsAtItsMovieBox) {
    const RecordingLayout layout(test::frontSeconds(1));
    test::TempDir dir;
    const auto path = dir.path() / "x.mp4";
    const WrittenFile written =
        writeRecording(layout, path, true, core::CameraChannel::Front, core::mp4::kVideo1080, 0);
    EXPECT_EQ(written.moovOffset, layout.dataEnd());
    // The closed file's own box, read back, lists every sample where the layout put it.
    const std::string file = test::readFile(path);
    EXPECT_EQ(
        test::indexDifference({reinterpret_cast<const std::uint8_t*>(file.data()), file.size()},
                              layout.placement()),
        "");
    const auto result = core::rebuildIndex(path, core::CameraChannel::Front, 0);
    EXPECT_EQ(result.outcome, core::RebuildOutcome::Intact);
}

TEST(RecordingLayout, SoundThatLooksLikeAFrameIsReplaced) {
    auto samples = test::frontSeconds(1);
    // Bytes inside the second sound frame that the walk would take for a P frame.
    auto& sound = samples[4].bytes;
    ASSERT_EQ(samples[4].kind, SampleKind::Audio);
    const std::vector<std::uint8_t> fake{0x00, 0x00, 0x00, 0x10, 0x41, 0xE0};
    std::copy(fake.begin(), fake.end(), sound.begin() + 40);
    RecordingLayout layout(samples);
    std::vector<std::size_t> asked;
    ASSERT_TRUE(makeWalkable(layout, [&](std::size_t index, int attempt) {
        asked.push_back(index);
        return attempt == 0 ? std::optional(test::audioSample(150).bytes) : std::nullopt;
    }));
    EXPECT_EQ(asked, std::vector<std::size_t>{4});
    EXPECT_EQ(layout.samples()[4].bytes.size(), 150u);

    // When no alternative is left, the layout is refused rather than written broken.
    RecordingLayout hopeless(samples);
    EXPECT_FALSE(makeWalkable(hopeless, [](std::size_t, int) { return std::nullopt; }));
}

TEST(RecordingLayout, SoundFrameTooLongForTheWindowIsReplaced) {
    auto samples = test::frontSeconds(1);
    samples[1] = test::audioSample(600);
    RecordingLayout layout(samples);
    ASSERT_TRUE(makeWalkable(layout, [](std::size_t, int attempt) {
        return attempt < 2 ? std::optional(test::audioSample(300).bytes) : std::nullopt;
    }));
    EXPECT_EQ(layout.samples()[1].bytes.size(), 300u);
}

}  // namespace
}  // namespace qelv::sim
