// What the sensor panel's reader does when a one-minute recording starts playing: open the
// front file, find its telemetry track, fill the store with the first minute's records and
// read the whole route.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "simulator/drive_script.h"
#include "simulator/recording_layout.h"
#include "storage/movie_box.h"
#include "support/synthetic_samples.h"
#include "telemetry/text_track_reader.h"

namespace {

// A complete one-minute front file with the simulated drive's records.
const std::filesystem::path& minuteFile() {
    static const std::filesystem::path path = [] {
        auto samples = qelv::test::frontSeconds(60);
        const auto drive = qelv::sim::planDrive(60, 3);
        int k = 0;
        for (auto& s : samples) {
            if (s.kind == qelv::sim::SampleKind::Telemetry) {
                s.bytes = qelv::sim::telemetryRecord(drive[static_cast<std::size_t>(k)], {}, k);
                ++k;
            }
        }
        const qelv::sim::RecordingLayout layout(samples);
        auto file = qelv::sim::RecordingLayout::leadingBytes(
            static_cast<std::uint32_t>(layout.dataEnd() - 40));
        for (const auto& s : layout.samples()) {
            file.insert(file.end(), s.bytes.begin(), s.bytes.end());
        }
        const auto moov = qelv::core::buildMovieBox(
            layout.tables(), qelv::core::CameraChannel::Front, qelv::core::mp4::kVideo1080);
        file.insert(file.end(), moov.begin(), moov.end());
        const auto out = std::filesystem::temp_directory_path() / "qelv_telemetry_read_bench.mp4";
        std::ofstream(out, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        return out;
    }();
    return path;
}

void BM_ReadPlayingRecording(benchmark::State& state) {
    const qelv::core::PlayingRecording recording{minuteFile().string(), nullptr};
    for (auto _ : state) {
        qelv::core::TelemetryState store;
        const bool read = qelv::core::readPlayingRecording(
            recording, store, [] { return 0; }, store.epoch());
        benchmark::DoNotOptimize(read);
        if (store.route().size() != 58) {
            state.SkipWithError("the route is not the drive's 58 seconds with a fix");
            break;
        }
    }
}
BENCHMARK(BM_ReadPlayingRecording)->Unit(benchmark::kMicrosecond);

}  // namespace
