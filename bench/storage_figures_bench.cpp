// What the storage dialog does when a card is chosen: its capacity and the recordings counted
// in every category, on a full card (a 128 GB card holds about 1,800 one-minute recordings of
// two cameras; here 2,000 per category, front and rear) mounted as a folder, and on a WyFS
// image with 1,000 recordings.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "tools/storage_estimate.h"
#include "wyfs/wyfs_volume.h"

namespace {

namespace fs = std::filesystem;

std::string recordingName(int i, const char* tail) {
    char name[64];
    std::snprintf(name, sizeof name, "2024%02d%02d_%02d%02d%02d_2CH_N_%s", 1 + i / 1000 % 12,
                  1 + i / 40 % 28, i / 60 % 24, i % 60, 0, tail);
    return name;
}

const fs::path& fullCardFolder() {
    static const fs::path root = [] {
        const fs::path path = fs::temp_directory_path() / "qelv_storage_bench_card";
        fs::remove_all(path);
        for (const char* category : {"NOR", "EVT", "MOT", "USR"}) {
            fs::create_directories(path / category / "FRONT");
            fs::create_directories(path / category / "REAR");
            for (int i = 0; i < 2000; ++i) {
                std::ofstream(path / category / "FRONT" / recordingName(i, "F.mp4"));
                std::ofstream(path / category / "REAR" / recordingName(i, "R1.mp4"));
            }
        }
        return path;
    }();
    return root;
}

const fs::path& wyfsImage() {
    static const fs::path image = [] {
        const fs::path path = fs::temp_directory_path() / "qelv_storage_bench.img";
        qelv::wyfs::formatImage(path, 256u << 20);
        const auto volume = qelv::wyfs::Volume::open(path, true);
        const std::vector<std::uint8_t> data(16, 7);
        for (int i = 0; i < 1000; ++i) {
            volume->addFile(i % 2 == 0 ? "NOR" : "EVT", recordingName(i, "F.avi"), data, i);
        }
        return path;
    }();
    return image;
}

void BM_StorageFiguresOfAFullMountedCard(benchmark::State& state) {
    const qelv::core::StorageCard card{fullCardFolder().string(), false};
    for (auto _ : state) {
        const auto figures = qelv::core::cardStorageFigures(card);
        if (!figures || figures->categories[0].frontFiles != 2000) {
            state.SkipWithError("the card's recordings were not all counted");
            break;
        }
    }
}
BENCHMARK(BM_StorageFiguresOfAFullMountedCard)->Unit(benchmark::kMillisecond);

void BM_StorageFiguresOfAWyfsCard(benchmark::State& state) {
    const qelv::core::StorageCard card{wyfsImage().string(), true};
    for (auto _ : state) {
        const auto figures = qelv::core::cardStorageFigures(card);
        if (!figures || figures->categories[0].frontFiles != 500) {
            state.SkipWithError("the card's recordings were not all counted");
            break;
        }
    }
}
BENCHMARK(BM_StorageFiguresOfAWyfsCard)->Unit(benchmark::kMillisecond);

}  // namespace
