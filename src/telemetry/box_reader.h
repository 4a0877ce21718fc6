// Reading the boxes of an MP4 file and the chunks of a RIFF file through a ByteSource, with
// every size and count checked against the data: hostile files give nothing, never a read
// outside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/byte_source.h"

namespace qelv::core {

// Tables are read whole; a hostile count is held to what the box can hold and to this.
inline constexpr std::uint64_t kMaxTableEntries = 1u << 22;

struct Box {
    std::string type;
    std::uint64_t payload;  // offset of the payload
    std::uint64_t size;     // payload bytes
};

class BoxReader {
public:
    explicit BoxReader(ByteSource& bytes) : m_bytes(bytes) {}
    std::uint64_t size() const { return m_bytes.size(); }
    // Why a read failed inside the data (an I/O error), or empty.
    std::string error() const { return m_bytes.error(); }

    // `count` bytes at `offset`; nothing when they do not all lie inside the data (or more
    // than 64 MiB are asked for) or cannot be read.
    std::optional<std::vector<std::uint8_t>> read(std::uint64_t offset, std::uint64_t count);

    // ISO boxes inside [begin, end): 32-bit sizes, 64-bit ones (size 1) and "to the end" (0).
    // The list ends at the first box that does not fit; at most 4096.
    std::vector<Box> boxes(std::uint64_t begin, std::uint64_t end);

    // The first child of `parent` with that type.
    std::optional<Box> child(const Box& parent, std::string_view type);

    // A full box's table: after version/flags and `skip` more bytes, a 32-bit count and
    // `width` 32-bit words an entry; empty when the box is too short for its header.
    std::vector<std::uint32_t> table(const Box& box, std::uint64_t skip, std::uint64_t width);

private:
    ByteSource& m_bytes;
};

}  // namespace qelv::core
