// Index rebuild against one plain read of the same file, on a one-minute three-camera set of
// unfinished recordings made by the simulator. Prints, per file, the rebuild's time and
// throughput and the ratio to `cat FILE > /dev/null`, with a warm and with a cold page cache
// (the file's pages are dropped with posix_fadvise between runs, which needs no root).
//
// usage: qelv_rebuild_bench [DIR]   (DIR keeps the set between runs; default a temporary one)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "simulator/recorder_simulator.h"
#include "storage/index_rebuild.h"
#include "storage/size_class.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct SetFile {
    fs::path path;
    qelv::core::CameraChannel camera;
    int sizeClass;
};

// Makes the file unfinished again: size 0 at 40. The old box stays behind the samples, as
// stale bytes do on a card.
void makeUnfinished(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    const unsigned char zero[4] = {0, 0, 0, 0};
    if (fd < 0 || ::pwrite(fd, zero, 4, 40) != 4) {
        std::perror(path.c_str());
        std::exit(1);
    }
    ::fsync(fd);
    ::close(fd);
}

void dropFromCache(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

double catMs(const fs::path& path) {
    const std::string command = "cat '" + path.string() + "' > /dev/null";
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "cat failed\n");
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double rebuildMs(const SetFile& file) {
    makeUnfinished(file.path);
    const auto start = Clock::now();
    const auto result = qelv::core::rebuildIndex(file.path, file.camera, file.sizeClass);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (result.outcome != qelv::core::RebuildOutcome::Rebuilt) {
        std::fprintf(stderr, "rebuild failed: %s\n", result.reason.c_str());
        std::exit(1);
    }
    return ms;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::vector<SetFile> makeSet(const fs::path& root) {
    qelv::sim::RecordingRequest request;
    request.cardRoot = root;
    request.seconds = 60;
    request.channels = 3;
    request.complete = false;
    request.seed = 42;
    std::vector<SetFile> files;
    const fs::path front =
        root / "NOR/FRONT" / qelv::sim::recordingFileName(request.start, 3, request.category, "F");
    if (!fs::exists(front)) {
        std::fprintf(stderr, "making a one-minute three-camera set in %s ...\n", root.c_str());
        qelv::sim::simulateRecording(request);
    }
    for (const char* camera : {"F", "R1", "R2"}) {
        const bool isFront = camera[0] == 'F';
        const fs::path path =
            root / "NOR" / (isFront ? "FRONT" : "REAR") /
            qelv::sim::recordingFileName(request.start, 3, request.category, camera);
        files.push_back(
            {path, isFront ? qelv::core::CameraChannel::Front : qelv::core::CameraChannel::Rear,
             qelv::core::sizeClassOf(request.category, fs::file_size(path) / 1024)});
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path root =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "qelv-rebuild-bench";
    const std::vector<SetFile> files = makeSet(root);
    constexpr int kRuns = 15;
    std::printf("%-32s %8s | %10s %8s %9s %7s | %10s %9s %7s\n", "file", "MB", "warm ms", "MB/s",
                "cat ms", "ratio", "cold ms", "cat ms", "ratio");
    for (const SetFile& file : files) {
        const double mb = double(fs::file_size(file.path)) / (1024.0 * 1024.0);
        catMs(file.path);  // warm the cache
        std::vector<double> warmRebuild, warmCat, coldRebuild, coldCat;
        for (int i = 0; i < kRuns; ++i) {
            warmCat.push_back(catMs(file.path));
            warmRebuild.push_back(rebuildMs(file));
        }
        for (int i = 0; i < 3; ++i) {
            dropFromCache(file.path);
            coldCat.push_back(catMs(file.path));
            makeUnfinished(file.path);
            dropFromCache(file.path);
            const auto start = Clock::now();
            const auto result = qelv::core::rebuildIndex(file.path, file.camera, file.sizeClass);
            coldRebuild.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            if (result.outcome != qelv::core::RebuildOutcome::Rebuilt) {
                std::fprintf(stderr, "rebuild failed: %s\n", result.reason.c_str());
                return 1;
            }
        }
        const double w = median(warmRebuild), wc = median(warmCat);
        const double c = median(coldRebuild), cc = median(coldCat);
        std::printf("%-32s %8.1f | %10.3f %8.0f %9.3f %7.3f | %10.3f %9.3f %7.3f\n",
                    file.path.filename().c_str(), mb, w, mb / (w / 1000.0), wc, w / wc, c, cc,
                    c / cc);
    }
    std::printf(
        "ratio = rebuild time / time of one read of the file (goals: warm <= 0.333, "
        "cold <= 1.4)\n");
    return 0;
}
