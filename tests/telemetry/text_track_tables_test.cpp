// How the telemetry track's chunk tables map records: which record each chunk holds, with
// runs in order, repeated, out of order or missing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/telemetry_movie.h"
#include "telemetry/text_track_source.h"

namespace qelv::core {
namespace {

using test::StscRun;

// The records' numbers ("GXYZ0xxx" gives '0') in the order the source hands them out.
std::string recordOrder(const std::string& file) {
    MemorySource bytes(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
    TextTrackSource source(bytes);
    std::string order;
    std::array<std::uint8_t, kRecordBufferSize> buffer{};
    while (source.read(buffer) == 0) {
        order += static_cast<char>(buffer[4]);
    }
    return order;
}

TEST(TextTrackTables, ChunksTakeTheirCountFromTheRunsBeforeThem) {
    std::string data;
    for (char n = '0'; n <= '5'; ++n) {
        data += std::string("GXYZ") + n + "xxx";
    }
    struct Case {
        const char* what;
        std::vector<std::uint32_t> chunks;  // byte offsets into the six records
        std::vector<StscRun> runs;
        const char* order;
    };
    const Case cases[] = {
        {"one run for all chunks", {0, 16, 32}, {{1, 2}}, "012345"},
        {"a run a chunk", {0, 8, 24}, {{1, 1}, {2, 2}}, "01234"},
        {"later runs take over", {0, 8, 16}, {{1, 1}, {3, 3}}, "01234"},
        // Equal first chunks: the later run counts.
        {"repeated first chunk", {0, 24}, {{1, 1}, {1, 3}}, "012345"},
        // The run starting at 3 ends the search for chunk 2 (runs after it are not read);
        // chunk 3 takes the last of all three.
        {"runs out of order", {0, 8, 16}, {{1, 1}, {3, 2}, {2, 3}}, "01234"},
        {"no run starts at chunk 1", {0, 8}, {{2, 1}}, "1"},
        {"no runs", {0, 8}, {}, ""},
        {"no chunks", {}, {{1, 2}}, ""},
        // Six samples in all: the last chunk's second record is not one of them.
        {"more room than samples", {0, 40}, {{1, 5}}, "012345"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(recordOrder(test::telemetryMovie(data, 8, 6, c.chunks, c.runs)), c.order);
    }
}

}  // namespace
}  // namespace qelv::core
