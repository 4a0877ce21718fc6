#include "events/shake.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qelv::events {

namespace {

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

double ShakeSample::magnitude() const {
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

std::vector<ShakeSample> shakeSamples(const std::vector<core::GSensorSample>& samples) {
    if (samples.empty()) {
        return {};
    }
    const bool tenBit = samples.front().format == static_cast<int>(core::SampleFormat::Packed10);
    const int low = tenBit ? -511 : 0, high = tenBit ? 512 : 128;
    std::vector<std::array<double, 3>> g;
    std::vector<std::uint32_t> times;
    for (const core::GSensorSample& s : samples) {
        if (s.timeMs < 0 || std::min({s.x, s.y, s.z}) < low || std::max({s.x, s.y, s.z}) > high) {
            continue;
        }
        g.push_back({core::gravityOf(s.x, tenBit), core::gravityOf(s.y, tenBit),
                     core::gravityOf(s.z, tenBit)});
        times.push_back(static_cast<std::uint32_t>(s.timeMs));
    }
    if (g.empty()) {
        return {};
    }
    std::array<double, 3> rest{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        std::vector<double> values;
        values.reserve(g.size());
        for (const auto& sample : g) {
            values.push_back(sample[axis]);
        }
        rest[axis] = median(std::move(values));
    }
    std::vector<ShakeSample> shake;
    shake.reserve(g.size());
    for (std::size_t i = 0; i < g.size(); ++i) {
        shake.push_back({times[i], g[i][0] - rest[0], g[i][1] - rest[1], g[i][2] - rest[2]});
    }
    return shake;
}

}  // namespace qelv::events
