// Any bytes as an unfinished recording: the walk never reads outside the data, never lists a
// sample that is not wholly inside it, and never places the movie box over one.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "storage/index_rebuild.h"
#include "storage/movie_box.h"

namespace {

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void checkTable(const std::vector<std::uint32_t>& offsets, const std::vector<std::uint32_t>& sizes,
                std::uint64_t size, std::uint64_t referencedEnd) {
    check(sizes.size() <= offsets.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        check(std::uint64_t{offsets[i]} + sizes[i] <= size);
        check(std::uint64_t{offsets[i]} + sizes[i] <= referencedEnd);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The fuzzer's bytes follow the 48 leading bytes of an unfinished file.
    std::vector<std::uint8_t> file(48, 0);
    file.insert(file.end(), data, data + size);
    qelv::core::MemorySource source(file);
    const qelv::core::SampleWalk walk = qelv::core::walkSamples(source);
    const auto& t = walk.tables;
    check(walk.referencedEnd <= file.size());
    check(walk.endPosition <= file.size());
    checkTable(t.audioOffsets, t.audioSizes, file.size(), walk.referencedEnd);
    checkTable(t.telemetryOffsets, t.telemetrySizes, file.size(), walk.referencedEnd);
    std::uint64_t frames = 0;
    for (const auto& run : t.videoChunkRuns) {
        check(run.firstChunk >= 1 && run.firstChunk <= t.videoChunkOffsets.size());
    }
    for (std::uint32_t key : t.keyFrames) {
        check(key >= 1 && key <= t.videoSizes.size());
    }
    for (std::uint32_t frameSize : t.videoSizes) {
        frames += frameSize;
    }
    check(frames <= file.size());
    if (const auto placement = qelv::core::movieBoxPlacement(walk)) {
        check(*placement >= walk.referencedEnd);
        check(*placement <= file.size() + 3);
        const auto moov = qelv::core::buildMovieBox(t, qelv::core::CameraChannel::Front,
                                                    qelv::core::mp4::kVideo1080);
        check(moov.size() >= 8);
    }
    return 0;
}
