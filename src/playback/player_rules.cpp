#include "playback/player_rules.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace qelv::media {

float rateOfPosition(int position) {
    const int index = std::clamp(position, 1, static_cast<int>(kRateTable.size())) - 1;
    return kRateTable[static_cast<std::size_t>(index)];
}

std::string rateText(float rate) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "x%.01f", static_cast<double>(rate));
    return text.data();
}

int effectiveVolume(int sliderPosition) {
    return std::clamp(sliderPosition, 0, kMaxVolume);
}

std::uint16_t outputLevel(int sliderPosition) {
    return static_cast<std::uint16_t>(std::trunc(effectiveVolume(sliderPosition) * 655.35));
}

std::string timeText(std::uint64_t ms) {
    const std::uint64_t seconds = ms / 1000;
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%02llu:%02llu",
                  static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text.data();
}

std::vector<int> RateReapplication::tick(std::uint64_t positionMs, int sliderIndex) {
    if (!m_pending) {
        return {};
    }
    if (positionMs > 100) {
        m_pending = false;
        return {sliderIndex};
    }
    if (m_ticks > 15) {
        m_pending = false;
        m_ticks = 0;
        return {kSlowestSettledRateIndex, sliderIndex};
    }
    ++m_ticks;
    return {};
}

}  // namespace qelv::media
