// Which H.264 decoder plays the cameras: a hardware decoder where GStreamer offers one (VA-API,
// NVDEC, V4L2 stateless...), ffmpeg's software decoder otherwise. A hardware decoder that fails
// to open a recording's stream gives way to the next one, and the last to the software one, for
// that recording.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelv::media {

inline constexpr const char* kSoftwareH264Decoder = "avdec_h264";

enum class DecoderPreference { Auto, Software };

// "auto" or "software" (any case, spaces around ignored); nothing for any other text.
std::optional<DecoderPreference> decoderPreferenceOf(std::string_view text);

// The decoders to try, best first: with Auto the hardware H.264 decoders installed (their
// class names them "Hardware") by rank, then the software decoder; with Software the software
// decoder alone.
std::vector<std::string> h264Decoders(DecoderPreference preference);

}  // namespace qelv::media
