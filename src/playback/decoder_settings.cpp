#include "playback/decoder_settings.h"

#include <algorithm>

namespace qelv::media {

namespace {

struct Range {
    std::int32_t min, max, fallback;
};

Range rangeOf(std::int32_t setting) {
    switch (setting) {
        case kLuminanceGain:
            return {0, 256, 128};
        case kLuminanceOffset:
            return {-256, 256, 0};
        case kHue:
            return {-180, 180, 0};
        case kSaturation:
            return {0, 128, 64};
        case kPictureSettingsOn:
        case kFlipSwitch:
        case kFlipVertical:
            return {0, 1, 0};
        default:
            return {INT32_MIN, INT32_MAX, 0};
    }
}

}  // namespace

std::int32_t DecoderSettings::get(std::int32_t setting) const {
    const auto it = m_values.find(setting);
    return it == m_values.end() ? rangeOf(setting).fallback : it->second;
}

std::int32_t DecoderSettings::set(std::int32_t setting, std::int32_t value) {
    const Range range = rangeOf(setting);
    m_values[setting] = std::clamp(value, range.min, range.max);
    return 0;
}

BalanceProperties DecoderSettings::properties() const {
    BalanceProperties p;
    if (get(kPictureSettingsOn) == 1) {
        p.contrast = get(kLuminanceGain) / 128.0;
        p.brightness = get(kLuminanceOffset) / 256.0;
        p.hue = get(kHue) / 180.0;
        p.saturation = get(kSaturation) / 64.0;
    }
    p.flipVertical = get(kFlipSwitch) == 1 && get(kFlipVertical) == 1;
    return p;
}

}  // namespace qelv::media
