// Constants of the recorder's MP4 files: where the movie data starts, how samples begin, and
// the fixed decoder descriptions the recorder writes into every movie box.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace qelv::core::mp4 {

// Layout of a recording: leading boxes, then the media-data box at 40 whose first sample
// starts at 48. A closed file has its movie box at 40 + (size at 40).
inline constexpr std::uint64_t kMediaDataOffset = 40;
inline constexpr std::uint64_t kFirstSampleOffset = 48;

// Sample starts. A video sample is a 4-byte big-endian length (first byte 0) and one NAL unit
// whose first bytes are 41 E0 (P slice) or 65 B8 00 (IDR slice). A sound frame starts with
// 0x21. A telemetry record starts with "G$GPRMC" or "GXYZ" and ends with the 16-byte block
// that starts with "QELVM".
inline constexpr std::uint8_t kAudioStart = 0x21;
inline constexpr std::array<std::uint8_t, 2> kPFrameStart{0x41, 0xE0};
inline constexpr std::array<std::uint8_t, 3> kKeyFrameStart{0x65, 0xB8, 0x00};
inline constexpr std::string_view kGpsRecordStart = "G$GPRMC";
inline constexpr std::string_view kNoFixRecordStart = "GXYZ";
inline constexpr std::string_view kSensorMarker = "QELVM";
inline constexpr std::uint32_t kSensorBlockSize = 16;

// Sequence and picture parameter sets of the recorder's H.264 streams, as avcC payloads.
// High profile, level 5.1, CABAC, 8x8 transform, one reference frame, 16-bit frame_num and
// picture order count, 30 frames a second.
inline constexpr std::array<std::uint8_t, 42> kAvcC1080{
    0x01, 0x64, 0x00, 0x33, 0xFF, 0xE1, 0x00, 0x1B, 0x67, 0x64, 0x00, 0x33, 0xAC, 0x1B,
    0x1A, 0x80, 0x78, 0x02, 0x27, 0xE5, 0x84, 0x00, 0x00, 0x03, 0x00, 0x04, 0x00, 0x00,
    0x03, 0x00, 0xF2, 0x3C, 0x50, 0xAA, 0x80, 0x01, 0x00, 0x04, 0x68, 0xEE, 0x3C, 0xB0};
inline constexpr std::array<std::uint8_t, 40> kAvcC720{
    0x01, 0x64, 0x00, 0x33, 0xFF, 0xE1, 0x00, 0x19, 0x67, 0x64, 0x00, 0x33, 0xAC, 0x1B,
    0x1A, 0x80, 0x50, 0x05, 0xBA, 0x10, 0x00, 0x00, 0x03, 0x00, 0x10, 0x00, 0x00, 0x03,
    0x03, 0xC8, 0xF1, 0x42, 0xAA, 0x01, 0x00, 0x04, 0x68, 0xEE, 0x3C, 0xB0};
inline constexpr std::array<std::uint8_t, 40> kAvcC480{
    0x01, 0x64, 0x00, 0x33, 0xFF, 0xE1, 0x00, 0x19, 0x67, 0x64, 0x00, 0x33, 0xAC, 0x1B,
    0x1A, 0x80, 0xB4, 0x3D, 0xA1, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x03, 0x00,
    0x3C, 0x8F, 0x14, 0x2A, 0xA0, 0x01, 0x00, 0x04, 0x68, 0xEE, 0x3C, 0xB0};

// Decoder information of the telemetry track: a text sample description whose last 18
// bytes are a font table naming the single font "Serif".
inline constexpr std::array<std::uint8_t, 48> kTelemetryDecoderInfo{
    0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
    0x00, 0x12, 0x66, 0x74, 0x61, 0x62, 0x00, 0x01, 0x00, 0x01, 0x05, 0x53, 0x65, 0x72, 0x69, 0x66};

// AAC LC, 16000 Hz, two channels.
inline constexpr std::array<std::uint8_t, 2> kAudioSpecificConfig{0x14, 0x10};

struct VideoFormat {
    std::uint16_t width;
    std::uint16_t height;
    std::span<const std::uint8_t> avcC;
};

inline constexpr VideoFormat kVideo1080{1920, 1080, kAvcC1080};
inline constexpr VideoFormat kVideo720{1280, 720, kAvcC720};
inline constexpr VideoFormat kVideo480{720, 480, kAvcC480};

// Time bases of the tracks.
inline constexpr std::uint32_t kVideoTimescale = 15360;
inline constexpr std::uint32_t kVideoFrameTicks = 512;  // 30 frames a second
inline constexpr std::uint32_t kAudioSampleRate = 16000;
inline constexpr std::uint32_t kAudioFrameSamples = 1024;

}  // namespace qelv::core::mp4
