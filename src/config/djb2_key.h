// Keys of the configuration's language and string tables.
#pragma once

#include <cstdint>
#include <string_view>

namespace qelv::core {

// djb2 over the name's bytes, each taken as a signed 8-bit value, modulo 2^32.
std::uint32_t djb2Hash(std::string_view name);

// 64-bit table key: the name's djb2 hash in the high 32 bits, `low` (a language mode or a
// language index) in the low 32 bits. Two names with the same hash make the same key.
std::uint64_t makeTableKey(std::string_view name, std::uint32_t low);

}  // namespace qelv::core
