#include "simulator/avi_writer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/synthetic_samples.h"

namespace qelv::sim {
namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) |
           (std::uint32_t{b[at + 2]} << 16) | (std::uint32_t{b[at + 3]} << 24);
}

std::string id(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + 4);
}

TEST(AviWriter, StreamsChunksAndIndex) {
    AviContent content;
    for (const auto* format : {&core::mp4::kVideo1080, &core::mp4::kVideo720}) {
        AviVideoStream stream{format, {}};
        for (int f = 0; f < 60; ++f) {
            stream.frames.push_back(
                test::videoSample(100 + static_cast<std::uint32_t>(f), f % 30 == 0));
        }
        content.video.push_back(stream);
    }
    for (int a = 0; a < 32; ++a) {
        content.sound.push_back(test::audioSample(150).bytes);
    }
    content.records = {test::recordSample().bytes, test::recordSample().bytes};
    const auto avi = writeAvi(content);

    ASSERT_EQ(id(avi, 0), "RIFF");
    EXPECT_EQ(le32(avi, 4), avi.size() - 8);
    EXPECT_EQ(id(avi, 8), "AVI ");
    // The index lists every chunk with its flags; offsets point at the chunks.
    // 60 frames a stream, the sound frames that start before the last frame (31), 2 records.
    const std::size_t idx1 = avi.size() - 8 - (60 * 2 + 31 + 2) * 16;
    ASSERT_EQ(id(avi, idx1), "idx1");
    std::size_t movi = 0;
    for (std::size_t i = 0; i + 4 < avi.size(); ++i) {
        if (id(avi, i) == "movi") {
            movi = i;
            break;
        }
    }
    ASSERT_GT(movi, 0u);
    std::map<std::string, int> counts;
    int keys = 0;
    for (std::size_t e = idx1 + 8; e < avi.size(); e += 16) {
        const std::string chunk = id(avi, e);
        ++counts[chunk];
        const std::uint32_t offset = le32(avi, e + 8);
        EXPECT_EQ(id(avi, movi + offset), chunk);
        EXPECT_EQ(le32(avi, movi + offset + 4), le32(avi, e + 12));
        if (chunk == "00dc" && (le32(avi, e + 4) & 0x10)) {
            ++keys;
        }
    }
    EXPECT_EQ(counts["00dc"], 60);
    EXPECT_EQ(counts["01dc"], 60);
    EXPECT_EQ(counts["02wb"], 31);
    EXPECT_EQ(counts["03tx"], 2);
    EXPECT_EQ(keys, 2);
}

TEST(AviWriter, KeyFramesCarryTheParameterSets) {
    const Sample key = test::videoSample(20, true);
    const auto frame = annexBFrame(key, core::mp4::kVideo720);
    ASSERT_GT(frame.size(), 8u);
    EXPECT_EQ(frame[4], 0x67);  // SPS first
    const Sample other = test::videoSample(20, false);
    const auto plain = annexBFrame(other, core::mp4::kVideo720);
    EXPECT_EQ(plain.size(), 20u);
    EXPECT_EQ(plain[3], 1);
    EXPECT_EQ(plain[4], 0x41);
}

}  // namespace
}  // namespace qelv::sim
