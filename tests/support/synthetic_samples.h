// Samples with the recorder's first bytes and filler bodies, for tests of the walk and the
// rebuild that need no encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simulator/recording_layout.h"

namespace qelv::test {

// A video frame of `size` bytes (length prefix included, at least 8).
inline sim::Sample videoSample(std::uint32_t size, bool key, std::uint8_t filler = 0x55) {
    const std::uint32_t length = size - 4;
    std::vector<std::uint8_t> b{
        static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
        static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    if (key) {
        b.insert(b.end(), {0x65, 0xB8, 0x00});
    } else {
        b.insert(b.end(), {0x41, 0xE0});
    }
    b.resize(size, filler);
    return {sim::SampleKind::Video, std::move(b), key};
}

inline sim::Sample audioSample(std::uint32_t size, std::uint8_t filler = 0x5A) {
    std::vector<std::uint8_t> b(size, filler);
    b[0] = 0x21;
    return {sim::SampleKind::Audio, std::move(b), false};
}

inline sim::Sample recordSample(const std::string& text =
                                    "G$GPRMC,120000.00,A,3733.1000,N,"
                                    "12658.6000,E,030.0,090.0,310124,,,A") {
    std::vector<std::uint8_t> b(text.begin(), text.end());
    for (char c : std::string("QELVM")) {
        b.push_back(static_cast<std::uint8_t>(c));
    }
    b.insert(b.end(), {5, 32, 2});
    b.resize(b.size() + 8, 0);
    return {sim::SampleKind::Telemetry, std::move(b), false};
}

// One second of a front recording: a record, then per sound frame two video frames.
inline std::vector<sim::Sample> frontSeconds(int seconds, std::uint32_t frameSize = 3000) {
    std::vector<sim::Sample> samples;
    for (int s = 0; s < seconds; ++s) {
        samples.push_back(recordSample());
        for (int f = 0; f < 30; ++f) {
            if (f % 2 == 0) {
                samples.push_back(audioSample(180 + static_cast<std::uint32_t>(f)));
            }
            samples.push_back(videoSample(frameSize + static_cast<std::uint32_t>(f), f == 0));
        }
    }
    return samples;
}

// The unfinished file of a layout: leading bytes with size 0, samples, `tail` zeros.
inline std::string unfinishedFile(const sim::RecordingLayout& layout, std::size_t tail) {
    std::string bytes;
    for (auto b : sim::RecordingLayout::leadingBytes(0)) {
        bytes.push_back(static_cast<char>(b));
    }
    for (const auto& sample : layout.samples()) {
        bytes.append(sample.bytes.begin(), sample.bytes.end());
    }
    bytes.append(tail, '\0');
    return bytes;
}

}  // namespace qelv::test
