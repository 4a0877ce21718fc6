#include "simulator/h264_bits.h"

#include <gtest/gtest.h>

namespace qelv::sim {
namespace {

TEST(H264Bits, ExpGolombRoundTrips) {
    BitWriter w;
    const std::vector<std::uint32_t> unsignedValues{0, 1, 2, 3, 7, 255, 65535, 0xFFFFFFFEu};
    const std::vector<std::int32_t> signedValues{0, 1, -1, 2, -2, 26, -26, 100000, -100000};
    for (auto v : unsignedValues) {
        w.ue(v);
    }
    for (auto v : signedValues) {
        w.se(v);
    }
    w.bits(0x5, 3);
    w.alignWithOnes();
    BitReader r(w.bytes());
    for (auto v : unsignedValues) {
        EXPECT_EQ(r.ue(), v);
    }
    for (auto v : signedValues) {
        EXPECT_EQ(r.se(), v);
    }
    EXPECT_EQ(r.bits(3), 0x5u);
    EXPECT_FALSE(r.failed());
}

TEST(H264Bits, KnownCodes) {
    // ue(0) = 1, ue(1) = 010, ue(2) = 011: the recorder's key-frame header starts 1 011 1.
    BitWriter w;
    w.ue(0);
    w.ue(2);
    w.ue(0);
    w.bits(0, 3);
    EXPECT_EQ(w.bytes(), (Bytes{0xB8}));
}

TEST(H264Bits, ReadingPastTheEndFails) {
    const Bytes one{0x00};
    BitReader r(one);
    EXPECT_EQ(r.ue(), 0u);  // eight zeros and then nothing
    EXPECT_TRUE(r.failed());
    const Bytes empty;
    BitReader e(empty);
    e.bits(1);
    EXPECT_TRUE(e.failed());
}

TEST(H264Bits, EmulationPrevention) {
    struct Case {
        Bytes rbsp;
        Bytes nal;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x01}, {0x00, 0x00, 0x03, 0x01}},
        {{0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x03, 0x00, 0x00, 0x03}},
        {{0x00, 0x00, 0x04}, {0x00, 0x00, 0x04}},
        {{0x00, 0x00, 0x03, 0x01}, {0x00, 0x00, 0x03, 0x03, 0x01}},
        {{0x65, 0xB8, 0x00, 0x00, 0x02}, {0x65, 0xB8, 0x00, 0x00, 0x03, 0x02}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nalFromRbsp(c.rbsp), c.nal);
        EXPECT_EQ(rbspFromNal(c.nal), c.rbsp);
    }
}

TEST(H264Bits, SplitsAnnexB) {
    const Bytes stream{0, 0, 0, 1, 0x67, 0x64, 0, 0, 1, 0x68, 0xEE, 0, 0, 0, 1, 0x65, 0x88, 0};
    const auto nals = splitAnnexB(stream);
    ASSERT_EQ(nals.size(), 3u);
    EXPECT_EQ(Bytes(nals[0].begin(), nals[0].end()), (Bytes{0x67, 0x64}));
    EXPECT_EQ(Bytes(nals[1].begin(), nals[1].end()), (Bytes{0x68, 0xEE}));
    EXPECT_EQ(Bytes(nals[2].begin(), nals[2].end()), (Bytes{0x65, 0x88}));
    EXPECT_TRUE(splitAnnexB(Bytes{1, 2, 3}).empty());
}

}  // namespace
}  // namespace qelv::sim
