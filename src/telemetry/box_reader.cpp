#include "telemetry/box_reader.h"

#include <algorithm>

#include "common/byte_order.h"

namespace qelv::core {

std::optional<std::vector<std::uint8_t>> BoxReader::read(std::uint64_t offset,
                                                         std::uint64_t count) {
    if (offset > size() || count > size() - offset || count > (64u << 20)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(count));
    if (m_bytes.read(offset, data) != data.size()) {
        return std::nullopt;
    }
    return data;
}

std::vector<Box> BoxReader::boxes(std::uint64_t begin, std::uint64_t end) {
    std::vector<Box> out;
    end = std::min(end, size());
    for (std::uint64_t at = begin; at + 8 <= end && out.size() < 4096;) {
        const auto head = read(at, 8);
        if (!head) {
            break;
        }
        std::uint64_t boxSize = readBe32(head->data());
        std::uint64_t header = 8;
        if (boxSize == 1) {
            const auto large = read(at + 8, 8);
            if (!large) {
                break;
            }
            boxSize = (std::uint64_t{readBe32(large->data())} << 32) | readBe32(large->data() + 4);
            header = 16;
        } else if (boxSize == 0) {
            boxSize = end - at;
        }
        if (boxSize < header || boxSize > end - at) {
            break;
        }
        out.push_back({std::string(head->begin() + 4, head->end()), at + header, boxSize - header});
        at += boxSize;
    }
    return out;
}

std::optional<Box> BoxReader::child(const Box& parent, std::string_view type) {
    for (const Box& b : boxes(parent.payload, parent.payload + parent.size)) {
        if (b.type == type) {
            return b;
        }
    }
    return std::nullopt;
}

std::vector<std::uint32_t> BoxReader::table(const Box& box, std::uint64_t skip,
                                            std::uint64_t width) {
    const auto head = read(box.payload, 8 + skip);
    if (!head || box.size < 8 + skip) {
        return {};
    }
    const std::uint64_t count = std::min<std::uint64_t>(
        {readBe32(head->data() + 4 + skip), (box.size - 8 - skip) / (4 * width), kMaxTableEntries});
    const auto body = read(box.payload + 8 + skip, count * 4 * width);
    std::vector<std::uint32_t> out;
    out.reserve(body ? count * width : 0);
    if (body) {
        for (std::uint64_t i = 0; i < count * width; ++i) {
            out.push_back(readBe32(body->data() + 4 * i));
        }
    }
    return out;
}

}  // namespace qelv::core
