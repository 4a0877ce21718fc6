// Figures for the start-up and listing paths: loading the configuration and classifying names.
#include <benchmark/benchmark.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "simulator/drive_script.h"
#include "storage/recording_name.h"
#include "telemetry/telemetry_state.h"

namespace {

void BM_LoadBundledConfiguration(benchmark::State& state) {
    for (auto _ : state) {
        qelv::core::ConfigStore store;
        std::ostringstream diag;
        benchmark::DoNotOptimize(store.load(QELV_BUNDLED_CONFIG, diag));
    }
}
BENCHMARK(BM_LoadBundledConfiguration);

// A card listing classifies every file name and pairs every front file.
void BM_ParseAndPairNames(benchmark::State& state) {
    std::vector<std::string> paths;
    for (int i = 0; i < 1000; ++i) {
        paths.push_back("/media/card/NOR/FRONT/20240131_" + std::to_string(100000 + i) +
                        "_3CH_N_F.mp4");
    }
    for (auto _ : state) {
        for (const std::string& path : paths) {
            const auto name = qelv::core::parseRecordingName(path.substr(path.rfind('/') + 1));
            benchmark::DoNotOptimize(name);
            benchmark::DoNotOptimize(qelv::core::companionPathsOf(path));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
}
BENCHMARK(BM_ParseAndPairNames);

// A one-hour recording's telemetry: 3600 records of the simulated drive.
void BM_ParseOneHourOfRecords(benchmark::State& state) {
    const auto drive = qelv::sim::planDrive(3600, 7);
    std::vector<std::array<std::uint8_t, qelv::core::kRecordBufferSize>> records(drive.size());
    for (std::size_t i = 0; i < drive.size(); ++i) {
        const auto bytes = qelv::sim::telemetryRecord(drive[i], {}, static_cast<int>(i));
        std::copy(bytes.begin(), bytes.end(), records[i].begin());
    }
    for (auto _ : state) {
        qelv::core::TelemetryState store;
        std::uint32_t timeMs = 0;
        for (const auto& record : records) {
            if (store.ParseTextRecord(record, timeMs) == 0) {
                timeMs += 1000;
            }
        }
        benchmark::DoNotOptimize(timeMs);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records.size()));
}
BENCHMARK(BM_ParseOneHourOfRecords);

}  // namespace
