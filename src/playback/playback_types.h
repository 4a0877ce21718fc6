// The playback engine's shared vocabulary: result codes, states, element names, rectangles.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qelv::media {

// HRESULT-style results: negative is failure.
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kNoGraph = -1;
inline constexpr std::int32_t kWrongState =
    static_cast<std::int32_t>(0x80040227u);  // VFW_E_WRONG_STATE

enum class GraphState : std::int32_t { Running = 0, Paused = 1, Stopped = 2, Created = 3 };
inline constexpr std::int32_t kNoGraphState = -1;
inline constexpr std::int32_t kRunningState = static_cast<std::int32_t>(GraphState::Running);
inline constexpr std::int32_t kPausedState = static_cast<std::int32_t>(GraphState::Paused);
inline constexpr std::int32_t kStoppedState = static_cast<std::int32_t>(GraphState::Stopped);
inline constexpr std::int32_t kCreatedState = static_cast<std::int32_t>(GraphState::Created);

// Element names, as the viewer's graph has always named its filters.
inline constexpr std::array<std::string_view, 3> kParserNames{
    "QVStreamParseFilter", "QVStreamParseFilter2", "QVStreamParseFilter3"};
inline constexpr std::array<std::string_view, 3> kDecoderNames{
    "FFDShow Decoder1", "FFDShow Decoder2", "FFDShow Decoder3"};
inline constexpr std::array<std::string_view, 3> kConverterNames{
    "Color Space Convertor 1", "Color Space Convertor 2", "Color Space Convertor 3"};
inline constexpr std::array<std::string_view, 3> kRendererNames{
    "Mixing Renderer9-1", "Mixing Renderer9-2", "Mixing Renderer9-3"};
inline constexpr std::string_view kAudioDecoderName = "CoreAAC Decoder";
inline constexpr std::string_view kAudioRendererName = "DirectSound Audio Renderer";

struct Rect {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

}  // namespace qelv::media
