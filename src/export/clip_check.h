// The last look at a written clip: it is opened with the MP4 demuxer players use, as a player
// would open it, before it is called done.
#pragma once

#include <optional>
#include <string>

namespace qelv::media {

// Why the clip at `path` would not open, or nothing when it does: the demuxer takes it, gives
// one picture stream and, when `sound` is set, one sound stream, and hands out a first sample
// of each. Waits at most `timeoutMs` for that.
std::optional<std::string> clipOpenProblem(const std::string& path, bool sound,
                                           int timeoutMs = 30000);

}  // namespace qelv::media
