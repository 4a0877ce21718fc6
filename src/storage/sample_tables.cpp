#include "storage/sample_tables.h"

namespace qelv::core {

void SampleTables::closeVideoRun(std::uint32_t frames) {
    if (frames == 0) {
        return;
    }
    const auto chunk = static_cast<std::uint32_t>(videoChunkOffsets.size());
    if (videoChunkRuns.empty() || videoChunkRuns.back().framesPerChunk != frames) {
        videoChunkRuns.push_back({chunk, frames, 1});
    }
}

}  // namespace qelv::core
