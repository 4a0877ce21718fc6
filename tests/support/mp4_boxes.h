// Reading boxes of an MP4 movie box in tests: find a box by its path and read its fields.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qelv::test {

inline std::uint32_t be32(std::span<const std::uint8_t> b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// A box: its whole bytes (header included).
using Box = std::span<const std::uint8_t>;

// Children of a container box's payload, starting `skip` bytes after the header.
inline std::vector<Box> children(Box box, std::size_t skip = 0) {
    std::vector<Box> out;
    std::size_t at = 8 + skip;
    while (at + 8 <= box.size()) {
        const std::uint32_t size = be32(box, at);
        if (size < 8 || at + size > box.size()) {
            break;
        }
        out.push_back(box.subspan(at, size));
        at += size;
    }
    return out;
}

inline std::string typeOf(Box box) {
    return std::string(box.begin() + 4, box.begin() + 8);
}

// Path like "trak:1/mdia/minf/stbl/stsz" below `box` (":n" picks the n-th of that type).
inline std::optional<Box> findBox(Box box, std::string_view path) {
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        std::string_view step = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
        int index = 0;
        if (const std::size_t colon = step.find(':'); colon != std::string_view::npos) {
            index = std::stoi(std::string(step.substr(colon + 1)));
            step = step.substr(0, colon);
        }
        // Sample descriptions and entries carry fields before their children.
        const std::string type = typeOf(box);
        const std::size_t skip = type == "stsd"   ? 8
                                 : type == "avc1" ? 78
                                 : type == "mp4a" ? 28
                                 : type == "mp4s" ? 8
                                 : type == "dref" ? 8
                                                  : 0;
        std::optional<Box> found;
        for (Box child : children(box, skip)) {
            if (typeOf(child) == step && index-- == 0) {
                found = child;
                break;
            }
        }
        if (!found) {
            return std::nullopt;
        }
        box = *found;
    }
    return box;
}

// The 32-bit values of a table box's entries, flattened: stss and stco have one value an
// entry, stts two, stsc three; stsz has its sample size first (`skip` = 4).
inline std::vector<std::uint32_t> entries(Box box, std::size_t skip = 0) {
    const std::string type = typeOf(box);
    const std::size_t width = type == "stts" ? 2 : type == "stsc" ? 3 : 1;
    const std::size_t count = be32(box, 12 + skip) * width;
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < count && 16 + skip + 4 * (i + 1) <= box.size(); ++i) {
        out.push_back(be32(box, 16 + skip + 4 * i));
    }
    return out;
}

}  // namespace qelv::test
