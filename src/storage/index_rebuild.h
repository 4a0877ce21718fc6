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
#include "storage/sample_walk.h"

namespace qelv::core {

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
