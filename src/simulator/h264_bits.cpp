#include "simulator/h264_bits.h"

namespace qelv::sim {

Bytes rbspFromNal(std::span<const std::uint8_t> nal) {
    Bytes out;
    out.reserve(nal.size());
    int zeros = 0;
    for (std::uint8_t b : nal) {
        if (zeros >= 2 && b == 3) {
            zeros = 0;
            continue;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

Bytes nalFromRbsp(std::span<const std::uint8_t> rbsp) {
    Bytes out;
    out.reserve(rbsp.size() + rbsp.size() / 64 + 4);
    int zeros = 0;
    for (std::uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    if (!out.empty() && out.back() == 0) {
        out.push_back(3);
    }
    return out;
}

std::vector<std::span<const std::uint8_t>> splitAnnexB(std::span<const std::uint8_t> stream) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 2 < stream.size(); ++i) {
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) {
            starts.push_back(i + 3);
            i += 2;
        }
    }
    std::vector<std::span<const std::uint8_t>> nals;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        std::size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : stream.size();
        while (end > starts[k] && stream[end - 1] == 0) {
            --end;
        }
        if (end > starts[k]) {
            nals.push_back(stream.subspan(starts[k], end - starts[k]));
        }
    }
    return nals;
}

std::uint32_t BitReader::bits(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        std::uint32_t bit = 0;
        if (m_pos / 8 < m_data.size()) {
            bit = (m_data[m_pos / 8] >> (7 - m_pos % 8)) & 1u;
        } else {
            m_failed = true;
        }
        ++m_pos;
        value = (value << 1) | bit;
    }
    return value;
}

std::uint32_t BitReader::ue() {
    int zeros = 0;
    while (bits(1) == 0) {
        if (++zeros > 31 || m_failed) {
            m_failed = true;
            return 0;
        }
    }
    return ((1u << zeros) - 1) + bits(zeros);
}

std::int32_t BitReader::se() {
    const std::uint32_t k = ue();
    const auto magnitude = static_cast<std::int32_t>((k + 1) / 2);
    return (k & 1) ? magnitude : -magnitude;
}

bool BitReader::moreRbspData() const {
    std::size_t last = m_data.size() * 8;  // position of the stop bit
    while (last > 0) {
        --last;
        if ((m_data[last / 8] >> (7 - last % 8)) & 1u) {
            return m_pos < last;
        }
    }
    return false;
}

void BitWriter::bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        if (m_bitCount % 8 == 0) {
            m_bytes.push_back(0);
        }
        if ((value >> i) & 1u) {
            m_bytes.back() |= static_cast<std::uint8_t>(0x80u >> (m_bitCount % 8));
        }
        ++m_bitCount;
    }
}

void BitWriter::ue(std::uint32_t value) {
    const std::uint64_t code = std::uint64_t{value} + 1;
    int length = 0;
    while ((code >> length) > 1) {
        ++length;
    }
    bits(0, length);
    for (int i = length; i >= 0; --i) {
        bits(static_cast<std::uint32_t>((code >> i) & 1u), 1);
    }
}

void BitWriter::se(std::int32_t value) {
    ue(value > 0 ? static_cast<std::uint32_t>(2 * std::int64_t{value} - 1)
                 : static_cast<std::uint32_t>(-2 * std::int64_t{value}));
}

void BitWriter::alignWithOnes() {
    while (m_bitCount % 8 != 0) {
        bits(1, 1);
    }
}

}  // namespace qelv::sim
