// The channel files of a recording as the graph meets them: which container a file is, and
// whether a parser can be given it at all; and the source that reads a WyFS card's recording
// through the card library.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "storage/byte_source.h"

typedef struct _GstElement GstElement;

namespace qelv::media {

// "RIFF" at 0 and "AVI " at 8.
bool isAvi(const char head[12]);
bool isAviFile(const std::string& path);
// Why the file cannot be given to a parser ("cannot be read", "has no index ..."), or nothing
// when it can: a RIFF AVI, or an MP4 whose top-level boxes lead to a movie box.
std::optional<std::string> unplayable(const std::string& path);

namespace detail {

// A WyFS recording read through the card library, for an appsrc in random-access mode.
struct CardReader {
    std::shared_ptr<core::ByteSource> file;
    std::uint64_t offset = 0;
};

// An appsrc serving `reader`'s file; the reader must outlive the element.
GstElement* makeCardSource(CardReader& reader);

}  // namespace detail

}  // namespace qelv::media
