// Decoding recordings with GStreamer in tests: frame counts, errors and a picture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qelv::test {

struct Decoded {
    int frames = 0;
    std::string error;                // the first error message on the bus, if any
    std::vector<std::uint8_t> first;  // the first picture, RGB
    int width = 0, height = 0;
};

// Runs "filesrc ! qtdemux ! h264parse ! avdec_h264" to the end.
Decoded decodeVideo(const std::filesystem::path& path);
// Runs "filesrc ! avidemux ! h264parse ! avdec_h264" on video stream `stream` of an AVI file.
Decoded decodeAviVideo(const std::filesystem::path& path, int stream);
// Runs "filesrc ! qtdemux ! aacparse ! avdec_aac" to the end; `frames` counts buffers.
Decoded decodeAudio(const std::filesystem::path& path);

// Mean colour of the bottom quarter of an RGB picture (clear of the digit and the square).
struct MeanColour {
    double r, g, b;
};
MeanColour bottomColour(const Decoded& decoded);

}  // namespace qelv::test
