// The recorder's WyFS recordings: one RIFF AVI file that holds every camera's video (streams
// 0 to 2, H.264 byte stream with the parameter sets before each key frame), the front sound
// (AAC, one frame a chunk) and the telemetry records (a text stream, one record a chunk).
#pragma once

#include <cstdint>
#include <vector>

#include "simulator/recording_layout.h"
#include "storage/mp4_format.h"

namespace qelv::sim {

struct AviVideoStream {
    const core::mp4::VideoFormat* format;
    std::vector<Sample> frames;  // recorder samples: 4-byte length + NAL
};

// FourCCs of the chunks: "00dc".."02dc" video, then "NNwb" sound and "NNtx" records with the
// next stream numbers.
struct AviContent {
    std::vector<AviVideoStream> video;               // 1 to 3 cameras, front first
    std::vector<std::vector<std::uint8_t>> sound;    // raw AAC frames, 1024 samples each
    std::vector<std::vector<std::uint8_t>> records;  // telemetry, one a second
};

// The whole file: header list, interleaved "movi" list in time order, "idx1" index.
std::vector<std::uint8_t> writeAvi(const AviContent& content);

// Annex B form of one recorder sample: start code instead of the length, and the SPS and
// PPS of `format` in front of a key frame.
std::vector<std::uint8_t> annexBFrame(const Sample& frame, const core::mp4::VideoFormat& format);

}  // namespace qelv::sim
