// The sample tables of a recording's three tracks, as the movie box stores them.
#pragma once

#include <cstdint>
#include <vector>

namespace qelv::core {

// One run of chunks that hold the same number of video frames (an stsc entry).
struct ChunkRun {
    std::uint32_t firstChunk;  // 1-based
    std::uint32_t framesPerChunk;
    std::uint32_t descriptionIndex;  // always 1
    bool operator==(const ChunkRun&) const = default;
};

struct SampleTables {
    std::vector<std::uint32_t> keyFrames;  // 1-based frame numbers
    std::vector<std::uint32_t> videoSizes;
    std::vector<std::uint32_t> videoChunkOffsets;  // first frame of each run of frames
    std::vector<ChunkRun> videoChunkRuns;
    std::vector<std::uint32_t> audioOffsets;
    std::vector<std::uint32_t> audioSizes;
    std::vector<std::uint32_t> telemetryOffsets;
    std::vector<std::uint32_t> telemetrySizes;

    bool operator==(const SampleTables&) const = default;
    bool empty() const {
        return videoSizes.empty() && audioOffsets.empty() && telemetryOffsets.empty();
    }
    // Whether one sample is known whole: where it starts, how long it is, and that it lies
    // inside the file (a video frame, a sound frame whose successor was found, or a record
    // with its marker block or, without one, whose successor was found where its window
    // ends). The walk records only such sizes.
    bool hasCompleteSample() const {
        return !videoSizes.empty() || !audioSizes.empty() || !telemetrySizes.empty();
    }

    // Ends a run of `frames` consecutive video frames: a new stsc entry only when the count
    // differs from the last entry's.
    void closeVideoRun(std::uint32_t frames);
};

}  // namespace qelv::core
