#include "simulator/frame_painter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace qelv::sim {

namespace {

std::uint8_t clampByte(int v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// Segments a..g of the digits 1 to 3, as in a seven-segment display.
constexpr std::array<std::uint8_t, 4> kDigitSegments{0x3F, 0x06, 0x5B, 0x4F};

}  // namespace

Rgb channelColour(int channel) {
    switch (channel) {
        case 1:
            return {30, 60, 200};  // blue
        case 2:
            return {30, 170, 60};  // green
        default:
            return {210, 90, 30};  // orange
    }
}

FramePainter::FramePainter(int width, int height, int channel, int noise, std::uint64_t seed)
    : m_width(width),
      m_height(height),
      m_channel(channel),
      m_noise(noise),
      m_state(seed * 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(channel) + 1) {
    // Players read pictures without colour information as BT.709 from 720 lines up and as
    // BT.601 below, so the colour is converted the way it will be read back.
    const Rgb c = channelColour(channel);
    const bool hd = height >= 720;
    const double y = hd ? 0.1826 * c.r + 0.6142 * c.g + 0.0620 * c.b
                        : 0.2568 * c.r + 0.5041 * c.g + 0.0979 * c.b;
    const double u = hd ? -0.1006 * c.r - 0.3386 * c.g + 0.4392 * c.b
                        : -0.1482 * c.r - 0.2910 * c.g + 0.4392 * c.b;
    const double v = hd ? 0.4392 * c.r - 0.3989 * c.g - 0.0403 * c.b
                        : 0.4392 * c.r - 0.3678 * c.g - 0.0714 * c.b;
    m_y = clampByte(static_cast<int>(std::lround(16 + y)));
    m_u = clampByte(static_cast<int>(std::lround(128 + u)));
    m_v = clampByte(static_cast<int>(std::lround(128 + v)));
    const std::size_t luma = static_cast<std::size_t>(m_width) * m_height;
    m_poolY = noisePool(luma, m_y, m_noise);
    m_poolU = noisePool(luma / 4, m_u, m_noise / 4);
    m_poolV = noisePool(luma / 4, m_v, m_noise / 4);
}

std::size_t FramePainter::frameBytes() const {
    return static_cast<std::size_t>(m_width) * m_height * 3 / 2;
}

std::uint64_t FramePainter::next() {
    // xorshift64
    m_state ^= m_state << 13;
    m_state ^= m_state >> 7;
    m_state ^= m_state << 17;
    return m_state;
}

std::vector<std::uint8_t> FramePainter::noisePool(std::size_t count, int base, int noise) {
    if (noise == 0) {
        return {};
    }
    const int span = 2 * noise + 1;
    std::vector<std::uint8_t> pool(2 * count);
    for (std::size_t i = 0; i < pool.size(); i += 8) {
        std::uint64_t bits = next();
        for (std::size_t k = 0; k < 8 && i + k < pool.size(); ++k, bits >>= 8) {
            pool[i + k] = clampByte(base + static_cast<int>(bits & 0xFF) % span - noise);
        }
    }
    return pool;
}

// Painting fresh noise into every picture took the simulator more time than encoding it. A
// window at a random place in a pool twice the plane's size is as fresh to the encoder: the
// shift between two pictures is within its motion search only about once in a thousand.
void FramePainter::fillPlane(std::uint8_t* plane, std::size_t count,
                             const std::vector<std::uint8_t>& pool, int base) {
    if (pool.empty()) {
        std::memset(plane, base, count);
        return;
    }
    std::memcpy(plane, pool.data() + next() % (pool.size() - count + 1), count);
}

void FramePainter::rect(std::vector<std::uint8_t>& i420, int x, int y, int w, int h, int luma) {
    const int x0 = std::clamp(x, 0, m_width), x1 = std::clamp(x + w, 0, m_width);
    const int y0 = std::clamp(y, 0, m_height), y1 = std::clamp(y + h, 0, m_height);
    for (int row = y0; row < y1; ++row) {
        std::memset(i420.data() + static_cast<std::size_t>(row) * m_width + x0, luma, x1 - x0);
    }
    // Grey in the chroma planes, so the shape is white or black whatever the background.
    const std::size_t lumaSize = static_cast<std::size_t>(m_width) * m_height;
    const int cw = m_width / 2;
    for (int row = y0 / 2; row < y1 / 2; ++row) {
        for (std::size_t plane : {lumaSize, lumaSize + lumaSize / 4}) {
            std::memset(i420.data() + plane + static_cast<std::size_t>(row) * cw + x0 / 2, 128,
                        (x1 - x0) / 2);
        }
    }
}

void FramePainter::paint(int index, std::vector<std::uint8_t>& i420) {
    i420.resize(frameBytes());
    const std::size_t lumaSize = static_cast<std::size_t>(m_width) * m_height;
    fillPlane(i420.data(), lumaSize, m_poolY, m_y);
    fillPlane(i420.data() + lumaSize, lumaSize / 4, m_poolU, m_u);
    fillPlane(i420.data() + lumaSize + lumaSize / 4, lumaSize / 4, m_poolV, m_v);

    // The channel number, in segments a sixth of the picture high, top left.
    const int unit = std::max(2, m_height / 24);
    const int left = unit * 2, top = unit * 2, length = unit * 4;
    const std::uint8_t segments =
        kDigitSegments[static_cast<std::size_t>(std::clamp(m_channel, 0, 3))];
    const std::array<std::array<int, 4>, 7> places{{
        {left, top, length, unit},                                  // a
        {left + length - unit, top, unit, length},                  // b
        {left + length - unit, top + length - unit, unit, length},  // c
        {left, top + 2 * length - 2 * unit, length, unit},          // d
        {left, top + length - unit, unit, length},                  // e
        {left, top, unit, length},                                  // f
        {left, top + length - unit, length, unit},                  // g
    }};
    for (std::size_t s = 0; s < places.size(); ++s) {
        if (segments & (1u << s)) {
            const auto& p = places[s];
            rect(i420, p[0], p[1], p[2], p[3], 235);
        }
    }
    // A square that crosses the picture every four seconds.
    const int side = m_height / 6;
    const int x = (index * (m_width + side) / 120) % (m_width + side) - side;
    rect(i420, x, m_height / 2 - side / 2, side, side, 235);
}

}  // namespace qelv::sim
