#include "simulator/h264_parameter_sets.h"

#include <gtest/gtest.h>

#include "storage/mp4_format.h"

namespace qelv::sim {
namespace {

std::span<const std::uint8_t> spsOf(std::span<const std::uint8_t> avcC) {
    return avcC.subspan(8, (std::size_t{avcC[6]} << 8) | avcC[7]);
}
std::span<const std::uint8_t> ppsOf(std::span<const std::uint8_t> avcC) {
    const std::size_t at = 8 + spsOf(avcC).size() + 1;
    return avcC.subspan(at + 2, (std::size_t{avcC[at]} << 8) | avcC[at + 1]);
}

TEST(ParameterSets, ReadsTheRecordersSets) {
    struct Case {
        const core::mp4::VideoFormat* format;
        std::uint32_t widthMbs, heightMbs;
    };
    const Case cases[] = {{&core::mp4::kVideo1080, 120, 68},
                          {&core::mp4::kVideo720, 80, 45},
                          {&core::mp4::kVideo480, 45, 30}};
    for (const Case& c : cases) {
        const auto sps = parseSequenceParameters(spsOf(c.format->avcC));
        ASSERT_TRUE(sps);
        EXPECT_EQ(sps->profile, 100u);
        EXPECT_EQ(sps->log2MaxFrameNum, 16u);
        EXPECT_EQ(sps->pocType, 0u);
        EXPECT_EQ(sps->log2MaxPocLsb, 16u);
        EXPECT_EQ(sps->maxRefFrames, 1u);
        EXPECT_EQ(sps->widthMbs, c.widthMbs);
        EXPECT_EQ(sps->heightMbs, c.heightMbs);
        EXPECT_TRUE(sps->frameMbsOnly);
        const auto pps = parsePictureParameters(ppsOf(c.format->avcC));
        ASSERT_TRUE(pps);
        EXPECT_TRUE(pps->cabac);
        EXPECT_TRUE(pps->transform8x8);
        EXPECT_TRUE(pps->deblockingControl);
        EXPECT_FALSE(pps->weightedPred);
        EXPECT_EQ(pps->picInitQp, 26);
        EXPECT_EQ(pps->chromaQpOffset, 0);
        EXPECT_EQ(pps->refIdxL0Default, 1u);
        EXPECT_EQ(incompatibility(*sps, *pps, *sps, *pps), "");
    }
}

TEST(ParameterSets, RefusesWhatCannotBeCarriedOver) {
    const auto sps = *parseSequenceParameters(spsOf(core::mp4::kVideo1080.avcC));
    const auto pps = *parsePictureParameters(ppsOf(core::mp4::kVideo1080.avcC));
    auto cavlc = pps;
    cavlc.cabac = false;
    auto weighted = pps;
    weighted.weightedPred = true;
    auto chroma = pps;
    chroma.chromaQpOffset = -2;
    auto small = sps;
    small.widthMbs = 80;
    auto refs = sps;
    refs.maxRefFrames = 3;
    EXPECT_NE(incompatibility(sps, cavlc, sps, pps), "");
    EXPECT_NE(incompatibility(sps, weighted, sps, pps), "");
    EXPECT_NE(incompatibility(sps, chroma, sps, pps), "");
    EXPECT_NE(incompatibility(small, pps, sps, pps), "");
    EXPECT_NE(incompatibility(refs, pps, sps, pps), "");
    // Wrong NAL types and cut-off sets give nothing.
    EXPECT_FALSE(parseSequenceParameters(ppsOf(core::mp4::kVideo1080.avcC)));
    EXPECT_FALSE(parsePictureParameters(spsOf(core::mp4::kVideo1080.avcC)));
    EXPECT_FALSE(parseSequenceParameters(spsOf(core::mp4::kVideo1080.avcC).first(6)));
    EXPECT_FALSE(parseSequenceParameters({}));
}

}  // namespace
}  // namespace qelv::sim
