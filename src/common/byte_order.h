// Integers stored in files: little-endian (WyFS, RIFF) and big-endian (ISO media boxes).
#pragma once

#include <cstdint>

namespace qelv::core {

inline std::uint32_t readLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

inline std::uint32_t readBe24(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

inline std::uint32_t readBe32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | readBe24(p + 1);
}

}  // namespace qelv::core
