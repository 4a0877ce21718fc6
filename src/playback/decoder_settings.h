// The video decoder's numbered picture settings, and what they set on the GStreamer elements
// that stand behind the decoder (videobalance and videoflip).
#pragma once

#include <cstdint>
#include <map>

namespace qelv::media {

enum DecoderSetting : std::int32_t {
    kLuminanceGain = 201,    // 0 to 256, default 128: contrast
    kLuminanceOffset = 202,  // -256 to 256, default 0: brightness
    kHue = 203,              // -180 to 180, default 0
    kSaturation = 204,       // 0 to 128, default 64
    kPictureSettingsOn = 205,
    kFlipSwitch = 1101,
    kFlipVertical = 1113,
};

// The properties the settings give the elements.
struct BalanceProperties {
    double contrast = 1.0;    // videobalance 0 to 2
    double brightness = 0.0;  // -1 to 1
    double hue = 0.0;         // -1 to 1
    double saturation = 1.0;  // 0 to 2
    bool flipVertical = false;
    bool operator==(const BalanceProperties&) const = default;
};

class DecoderSettings {
public:
    // Reads a setting: its value, or its default (0 for unknown numbers).
    std::int32_t get(std::int32_t setting) const;
    // Writes a setting; values are clamped to the setting's range. Returns 0.
    std::int32_t set(std::int32_t setting, std::int32_t value);
    // The picture settings apply only once 205 is on; the flip once 1101 is on.
    BalanceProperties properties() const;
    bool operator==(const DecoderSettings&) const = default;

private:
    std::map<std::int32_t, std::int32_t> m_values;
};

}  // namespace qelv::media
