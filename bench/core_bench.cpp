// Figures for the start-up and listing paths: loading the configuration and classifying names.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "storage/recording_name.h"

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

}  // namespace
