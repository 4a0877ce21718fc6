// Bit-level reading and writing of H.264 syntax (Exp-Golomb codes), and the conversions
// between NAL units and their raw byte sequence payload.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qelv::sim {

using Bytes = std::vector<std::uint8_t>;

// Removes emulation-prevention bytes (00 00 03 -> 00 00).
Bytes rbspFromNal(std::span<const std::uint8_t> nal);
// Inserts them again wherever the payload would otherwise hold 00 00 0x (x <= 3) or end in 00.
Bytes nalFromRbsp(std::span<const std::uint8_t> rbsp);

// NAL units of an Annex B byte stream (start codes removed, trailing zeros dropped).
std::vector<std::span<const std::uint8_t>> splitAnnexB(std::span<const std::uint8_t> stream);

// Reads past the end give zeros and set failed().
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> data) : m_data(data) {}
    std::uint32_t bits(int count);
    bool flag() { return bits(1) != 0; }
    std::uint32_t ue();
    std::int32_t se();
    std::size_t position() const { return m_pos; }
    bool failed() const { return m_failed; }
    bool byteAligned() const { return m_pos % 8 == 0; }
    // Whether payload bits remain before the final stop bit.
    bool moreRbspData() const;

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

class BitWriter {
public:
    void bits(std::uint32_t value, int count);
    void flag(bool value) { bits(value ? 1 : 0, 1); }
    void ue(std::uint32_t value);
    void se(std::int32_t value);
    // Pads with one bits up to the next byte boundary (CABAC alignment).
    void alignWithOnes();
    bool byteAligned() const { return m_bitCount % 8 == 0; }
    const Bytes& bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
    std::size_t m_bitCount = 0;
};

}  // namespace qelv::sim
