// Walking the raw samples of an unfinished recording: the sample tables of its three tracks
// and where the walk ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "storage/byte_source.h"
#include "storage/sample_tables.h"

namespace qelv::core {

// What walking an unfinished recording's samples found.
struct SampleWalk {
    SampleTables tables;
    std::uint64_t endPosition = 0;  // where the walk stopped reading
    std::uint32_t window = 8;       // size of the read that ended it: 8, 256 or 512
    // First byte after everything the tables point at: the movie box must not start before it.
    std::uint64_t referencedEnd = 0;
    // Set when a read stopped before the end of the data (a failing card, a file that shrank):
    // the walk then ended at the failure, not at the end of the samples, and must not be used.
    std::string readError;
};

// Walks the samples from offset 48. Video frames cost an 8-byte read each (their bodies are
// skipped); a sound frame's length is found by searching the next 512 bytes for the sample
// that follows it, a telemetry record's by searching for its "QELVM" block (a record without
// one ends where its window does, if the next sample is found there). The walk ends at
// the first bytes it does not recognise, and never past the end of the data: a frame cut off
// by the end of the file is left out. A read that fails ends the walk with readError set.
SampleWalk walkSamples(ByteSource& source);

// Where the movie box goes: the recorder's own placement, just before the bytes that ended
// the walk, rounded to 4 bytes; moved up to the first 4-byte boundary after the referenced
// samples where that placement would overwrite one. Nothing when too little data lies before
// the end (the walk ended within the first window after offset 40).
std::optional<std::uint64_t> movieBoxPlacement(const SampleWalk& walk);

}  // namespace qelv::core
