// Draws the simulator's camera pictures: each channel has its own background colour and shows
// its number in large segments, a white square moves across, and fresh noise gives the
// encoder detail to spend its bit rate on.
#pragma once

#include <cstdint>
#include <vector>

namespace qelv::sim {

struct Rgb {
    int r, g, b;
};

// Background colours of channels 1 (front), 2 (rear) and 3 (third camera).
Rgb channelColour(int channel);

class FramePainter {
public:
    // `noise` is the peak luma deviation (0 for flat pictures).
    FramePainter(int width, int height, int channel, int noise, std::uint64_t seed);

    // Fills `i420` (width x height luma, then quarter-size U and V) with frame `index`.
    void paint(int index, std::vector<std::uint8_t>& i420);
    std::size_t frameBytes() const;

private:
    std::uint64_t next();
    std::vector<std::uint8_t> noisePool(std::size_t count, int base, int noise);
    void fillPlane(std::uint8_t* plane, std::size_t count, const std::vector<std::uint8_t>& pool,
                   int base);
    void rect(std::vector<std::uint8_t>& i420, int x, int y, int w, int h, int luma);

    int m_width, m_height, m_channel, m_noise;
    std::uint8_t m_y, m_u, m_v;
    std::uint64_t m_state;
    // Twice a plane of noise around each plane's level; a picture copies a plane's worth from
    // a random place in it.
    std::vector<std::uint8_t> m_poolY, m_poolU, m_poolV;
};

}  // namespace qelv::sim
