// Finding the telemetry track's records in a movie box whose sample-to-chunk table is as long
// as the reader allows. Every run starts at chunk 1, so a lookup that searches the runs for
// every chunk does chunks x runs steps; one that walks runs and chunks together does
// chunks + runs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "telemetry/text_track_source.h"

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

std::vector<std::uint8_t> box(const char* type, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> out;
    out.reserve(payload.size() + 8);
    put32(out, static_cast<std::uint32_t>(payload.size() + 8));
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(type[i]));
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<std::uint8_t> join(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// A movie box alone: a telemetry track of `chunks` one-byte records (offset 0) and `runs`
// stsc entries that all start at chunk 1 (the last one gives one record a chunk).
std::vector<std::uint8_t> manyRuns(std::uint32_t chunks, std::uint32_t runs) {
    std::vector<std::uint8_t> hdlr(8, 0);
    hdlr.insert(hdlr.end(), {'s', 'd', 's', 'm'});
    hdlr.resize(32, 0);
    std::vector<std::uint8_t> stsd(4, 0);
    put32(stsd, 1);
    const auto entry = box("mp4s", std::vector<std::uint8_t>(8, 0));
    stsd.insert(stsd.end(), entry.begin(), entry.end());
    std::vector<std::uint8_t> stsz(4, 0), stco(4, 0), stsc(4, 0);
    put32(stsz, 1);  // every record one byte
    put32(stsz, chunks);
    put32(stco, chunks);
    for (std::uint32_t c = 0; c < chunks; ++c) {
        put32(stco, 0);
    }
    put32(stsc, runs);
    for (std::uint32_t r = 0; r < runs; ++r) {
        put32(stsc, 1);
        put32(stsc, r + 1 == runs ? 1 : 0);
        put32(stsc, 1);
    }
    const auto stbl = box(
        "stbl", join({box("stsd", stsd), box("stsz", stsz), box("stco", stco), box("stsc", stsc)}));
    const auto mdia = box("mdia", join({box("hdlr", hdlr), box("minf", stbl)}));
    return box("moov", box("trak", mdia));
}

void lookUp(benchmark::State& state, std::uint32_t chunks, std::uint32_t runs) {
    const std::vector<std::uint8_t> file = manyRuns(chunks, runs);
    qelv::core::MemorySource bytes(file);
    for (auto _ : state) {
        qelv::core::TextTrackSource source(bytes);
        if (source.recordCount() != chunks) {
            state.SkipWithError("wrong record count");
        }
    }
    state.counters["MB"] = static_cast<double>(file.size()) / 1e6;
}

// 4.8 MB: 400,000 chunks and 266,666 runs.
void BM_TrackLookupManyRuns(benchmark::State& state) {
    lookUp(state, 400000, 266666);
}
BENCHMARK(BM_TrackLookupManyRuns)->Unit(benchmark::kMillisecond);

// Both tables at the reader's limit of 2^22 entries (64 MB).
void BM_TrackLookupAtTableLimit(benchmark::State& state) {
    lookUp(state, 1u << 22, 1u << 22);
}
BENCHMARK(BM_TrackLookupAtTableLimit)->Unit(benchmark::kMillisecond);

}  // namespace
