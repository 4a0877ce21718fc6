// The recorder's media, encoded with GStreamer: H.264 pictures carried over into the
// recorder's parameter sets, and raw AAC frames.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "simulator/frame_painter.h"
#include "simulator/recording_layout.h"
#include "storage/mp4_format.h"

namespace qelv::sim {

struct VideoRequest {
    const core::mp4::VideoFormat* format;
    int channel;  // 1 front, 2 rear, 3 third: picks the colour and the number drawn
    int frames;
    int bitrateKbps;
    int noise;  // detail for the encoder to spend bits on
    std::uint64_t seed;
};

// Video samples (4-byte length + one NAL each) whose first bytes are the recorder's. One key
// frame a second, 30 frames a second. `progress` gets the number of frames encoded so far.
std::vector<Sample> encodeVideo(const VideoRequest& request,
                                const std::function<void(int)>& progress = {});

// `frames` raw AAC LC frames (16 kHz, two channels, 24 kbit/s), each starting with 0x21 as
// the recorder's do; throws if the encoder ever gives another first byte. `variant` changes
// the faint noise in the sound, so two variants are the same sound in different bytes.
std::vector<std::vector<std::uint8_t>> encodeAudio(int frames, std::uint64_t seed, int variant);

}  // namespace qelv::sim
