// The export's rules that need no media: which parts of which recordings a span takes, the
// recorder's clock in the overlay, the layouts' places and the burnt-in text.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "export/export_layout.h"
#include "export/export_plan.h"
#include "export/frame_text.h"

namespace qelv::media {
namespace {

constexpr std::int64_t kS = kNsPerSecond;
constexpr std::int64_t kLead = 0;  // a continuation starts at its recording's start

ExportRecording recording(const char* name, std::int64_t durationNs) {
    ExportRecording r;
    r.paths[0] = std::string("/card/NOR/FRONT/") + name;
    r.name = core::parseRecordingName(name);
    r.durationNs = durationNs;
    return r;
}

struct SpanCase {
    const char* what;
    std::vector<ExportRecording> recordings;
    std::int64_t fromNs, toNs;
    std::vector<SpanSegment> segments;  // empty: refused
};

TEST(PlanSpan, TakesTheRecordingsTheSpanCovers) {
    const auto a = recording("20240131_120000_2CH_N_F.mp4", 60 * kS);
    const auto b = recording("20240131_120100_2CH_N_F.mp4", 60 * kS);
    const auto late = recording("20240131_120103_2CH_N_F.mp4", 60 * kS);   // 3 s gap
    const auto near = recording("20240131_120102_2CH_N_F.mp4", 60 * kS);   // 2 s gap
    const auto other = recording("20240131_120100_3CH_N_F.mp4", 60 * kS);  // other cameras
    const std::vector<SpanCase> cases{
        {"inside one", {a, b}, 10 * kS, 20 * kS, {{0, 10 * kS, 20 * kS, 0}}},
        {"up to the end", {a}, 50 * kS, 60 * kS, {{0, 50 * kS, 60 * kS, 0}}},
        {"across the joint",
         {a, b},
         55 * kS,
         65 * kS,
         {{0, 55 * kS, 60 * kS, 0}, {1, kLead, 5 * kS + kLead, 5 * kS}}},
        {"two seconds later still joins",
         {a, near},
         59 * kS,
         61 * kS,
         {{0, 59 * kS, 60 * kS, 0}, {1, kLead, 1 * kS + kLead, 1 * kS}}},
        {"three seconds later does not", {a, late}, 59 * kS, 61 * kS, {}},
        {"other cameras do not", {a, other}, 59 * kS, 61 * kS, {}},
        {"no next recording", {a}, 59 * kS, 61 * kS, {}},
        {"empty span", {a}, 20 * kS, 20 * kS, {}},
        {"reversed span", {a}, 20 * kS, 10 * kS, {}},
        {"negative start", {a}, -1 * kS, 10 * kS, {}},
        {"starts after the end", {a, b}, 60 * kS, 65 * kS, {}},
    };
    for (const SpanCase& c : cases) {
        const auto planned = planSpan(c.recordings, c.fromNs, c.toNs);
        if (c.segments.empty()) {
            ASSERT_TRUE(std::holds_alternative<std::string>(planned)) << c.what;
            EXPECT_FALSE(std::get<std::string>(planned).empty()) << c.what;
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<SpanPlan>(planned))
            << c.what << ": " << std::get<std::string>(planned);
        const SpanPlan& plan = std::get<SpanPlan>(planned);
        EXPECT_EQ(plan.durationNs, c.toNs - c.fromNs) << c.what;
        ASSERT_EQ(plan.segments.size(), c.segments.size()) << c.what;
        for (std::size_t k = 0; k < c.segments.size(); ++k) {
            EXPECT_EQ(plan.segments[k].recording, c.segments[k].recording) << c.what;
            EXPECT_EQ(plan.segments[k].inNs, c.segments[k].inNs) << c.what;
            EXPECT_EQ(plan.segments[k].outNs, c.segments[k].outNs) << c.what;
            EXPECT_EQ(plan.segments[k].clipNs, c.segments[k].clipNs) << c.what;
        }
    }
}

// The recorder closes a minute's movie a moment before the minute: a span asked to the round
// minute ends with the movie, while one a frame or more past it still needs a continuation.
TEST(PlanSpan, ASpanToTheRoundEndEndsWithTheMovie) {
    const std::int64_t movieNs = 60 * kS - 700'000;  // 59.9993 s
    const auto a = recording("20240131_120000_2CH_N_F.mp4", movieNs);
    const auto plan = planSpan({a}, 50 * kS, 60 * kS);
    ASSERT_TRUE(std::holds_alternative<SpanPlan>(plan)) << std::get<std::string>(plan);
    ASSERT_EQ(std::get<SpanPlan>(plan).segments.size(), 1u);
    EXPECT_EQ(std::get<SpanPlan>(plan).segments[0].outNs, movieNs);
    EXPECT_EQ(std::get<SpanPlan>(plan).durationNs, movieNs - 50 * kS);
    EXPECT_TRUE(std::holds_alternative<std::string>(planSpan({a}, 50 * kS, movieNs + kS / 30)));
}

// How far a span may run: to the end of the last recording joined without a break, each
// joined one counted in whole frames as the plan takes it.
TEST(SpanLimit, RunsToTheEndOfTheLastJoinedRecording) {
    const auto a = recording("20240131_120000_2CH_N_F.mp4", 60 * kS - 10'000'000);  // 59.99 s
    const auto b = recording("20240131_120100_2CH_N_F.mp4", 30 * kS);
    const auto late = recording("20240131_120203_2CH_N_F.mp4", 60 * kS);
    EXPECT_EQ(spanLimitNs({a}), 60 * kS - 10'000'000);
    EXPECT_EQ(spanLimitNs({a, b}), 90 * kS);        // 59.99 s is 1800 whole frames
    EXPECT_EQ(spanLimitNs({a, b, late}), 90 * kS);  // 33 s after b's end: not joined
    EXPECT_EQ(spanLimitNs({}), 0);
    // The plan agrees: the limit itself can be exported, a frame more cannot.
    EXPECT_TRUE(std::holds_alternative<SpanPlan>(planSpan({a, b}, 0, 90 * kS)));
    EXPECT_TRUE(std::holds_alternative<std::string>(planSpan({a, b}, 0, 90 * kS + kS / 30)));
}

TEST(MomentText, CountsOnFromTheRecordingsNameAcrossMidnight) {
    const auto name = core::parseRecordingName("20231231_235958_1CH_N_F.mp4");
    EXPECT_EQ(momentText(name, 0), "2023-12-31 23:59:58");
    EXPECT_EQ(momentText(name, kS * 3 / 2), "2023-12-31 23:59:59");
    EXPECT_EQ(momentText(name, 2 * kS), "2024-01-01 00:00:00");
}

TEST(LayoutRegions, PlacesStayInsideThePictureAndApart) {
    for (const auto layout : {ExportLayout::Side, ExportLayout::Pip, ExportLayout::Front}) {
        for (const auto& [w, h] :
             {std::pair{1920, 1080}, std::pair{1280, 720}, std::pair{642, 362}}) {
            const auto regions = layoutRegions(layout, w, h);
            ASSERT_TRUE(regions[0]);
            for (const auto& r : regions) {
                if (r) {
                    EXPECT_GE(r->x, 0);
                    EXPECT_GE(r->y, 0);
                    EXPECT_LE(r->x + r->width, w);
                    EXPECT_LE(r->y + r->height, h);
                    EXPECT_EQ(r->width % 2, 0);
                    EXPECT_EQ(r->height % 2, 0);
                }
            }
            if (layout == ExportLayout::Front) {
                EXPECT_FALSE(regions[1] || regions[2]);
            } else {
                // The rear and third cameras never cover each other.
                EXPECT_LE(regions[1]->y + regions[1]->height, regions[2]->y);
            }
        }
    }
}

TEST(BurnText, DrawsInsideItsBoxOnlyAndClipsAtTheEdge) {
    constexpr int kW = 64, kH = 32;
    std::vector<std::uint8_t> y(kW * kH, 100), u(kW * kH / 4, 90), v(kW * kH / 4, 160);
    const I420View view{{y.data(), u.data(), v.data()}, {kW, kW / 2, kW / 2}, kW, kH};
    burnText(view, 2, 4, 1, "12");
    const int boxW = textBoxWidth("12", 1), boxH = textBoxHeight(1);
    int ink = 0;
    for (int py = 0; py < kH; ++py) {
        for (int px = 0; px < kW; ++px) {
            const bool inBox = px >= 2 && px < 2 + boxW && py >= 4 && py < 4 + boxH;
            const std::uint8_t l = y[static_cast<std::size_t>(py * kW + px)];
            if (!inBox) {
                ASSERT_EQ(l, 100) << px << "," << py;
            } else {
                EXPECT_TRUE(l == 235 || l < 100) << px << "," << py;
                ink += l == 235;
            }
        }
    }
    // "1" has 10 dots, "2" has 14.
    EXPECT_EQ(ink, 24);
    // Text running off the picture stops at its edge.
    burnText(view, kW - 4, kH - 4, 3, "88888");
    burnText(view, -100, -100, 2, "X");
}

}  // namespace
}  // namespace qelv::media
