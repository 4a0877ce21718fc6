// Writes big-endian ISO media boxes into a growing buffer; nested boxes get their sizes
// patched when they are closed.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qelv::core {

class BoxWriter {
public:
    void u8(std::uint8_t v) { m_bytes.push_back(v); }
    void u16(std::uint16_t v);
    void u24(std::uint32_t v);
    void u32(std::uint32_t v);
    void zeros(std::size_t count) { m_bytes.insert(m_bytes.end(), count, 0); }
    void bytes(std::span<const std::uint8_t> data) {
        m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    }
    void text(std::string_view chars) { m_bytes.insert(m_bytes.end(), chars.begin(), chars.end()); }

    // Opens a box; a full box also gets its version (0) and flags.
    void begin(std::string_view type);
    void beginFull(std::string_view type, std::uint32_t flags = 0);
    void end();

    // An MPEG-4 descriptor: tag and the four-byte length form 80 80 80 n.
    void beginDescriptor(std::uint8_t tag);
    void endDescriptor();

    const std::vector<std::uint8_t>& data() const { return m_bytes; }
    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    void patch32(std::size_t at, std::uint32_t v);

    std::vector<std::uint8_t> m_bytes;
    std::vector<std::size_t> m_open;
    std::vector<std::size_t> m_openDescriptors;
};

}  // namespace qelv::core
