// Repairs, in place, a recording whose writer stopped before it wrote the movie box: the
// samples are all there, back to back from offset 48, but no player can find them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "storage/byte_source.h"
#include "storage/recording_types.h"
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
// that follows it, a telemetry record's by searching for its "QELVM" block. The walk ends at
// the first bytes it does not recognise, and never past the end of the data: a frame cut off
// by the end of the file is left out. A read that fails ends the walk with readError set.
SampleWalk walkSamples(ByteSource& source);

// Where the movie box goes: the recorder's own placement, just before the bytes that ended
// the walk, rounded to 4 bytes; moved up to the first 4-byte boundary after the referenced
// samples where that placement would overwrite one. Nothing when too little data lies before
// the end (the walk ended within the first window after offset 40).
std::optional<std::uint64_t> movieBoxPlacement(const SampleWalk& walk);

enum class RebuildOutcome { Rebuilt, Intact, Failed };

struct RebuildResult {
    RebuildOutcome outcome;
    std::string reason;       // empty when rebuilt or intact
    bool openFailed = false;  // the file could not be opened at all
};

struct RebuildOptions {
    // When set, only a file whose real path (links resolved) lies inside this folder is
    // rebuilt; any other fails with "outside the source folder".
    std::filesystem::path within;
    // Makes the source the rebuild reads the file through (a FileSource when empty); the
    // descriptor stays open and owned by the rebuild. Tests put a failing disk behind it.
    std::function<std::unique_ptr<ByteSource>(int fd, std::uint64_t size)> makeSource;
};

// Rebuilds the movie box of the recording at `path` for the given camera (front or rear) and
// size class. A file that is complete, holds no complete sample (header, size and body inside
// the file), cannot be read to its end or fails any test is left byte for byte as it was.
// The new box is written and flushed before the data-box size at 40 is patched to point at
// it, so an interruption leaves either the unfinished file (a later listing repairs it
// again) or the complete one.
RebuildResult rebuildIndex(const std::filesystem::path& path, CameraChannel camera, int sizeClass,
                           const RebuildOptions& options = {});

}  // namespace qelv::core
