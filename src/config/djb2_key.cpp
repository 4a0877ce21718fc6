#include "config/djb2_key.h"

namespace qelv::core {

std::uint32_t djb2Hash(std::string_view name) {
    std::uint32_t hash = 5381;
    for (char c : name) {
        // The recorder's tools hash signed chars: bytes above 0x7F count as negative.
        const auto byte = static_cast<std::int32_t>(static_cast<signed char>(c));
        hash = hash * 33u + static_cast<std::uint32_t>(byte);
    }
    return hash;
}

std::uint64_t makeTableKey(std::string_view name, std::uint32_t low) {
    return (static_cast<std::uint64_t>(djb2Hash(name)) << 32) | low;
}

}  // namespace qelv::core
