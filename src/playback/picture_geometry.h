// Where a channel's picture goes inside its pane: zoom steps and dragging offsets.
#pragma once

#include <cstdint>

#include "playback/playback_types.h"

namespace qelv::media {

inline constexpr std::int32_t kZoomStep = 20;
inline constexpr std::int32_t kZoomLimit = 960;

// Shrink adds a step (up to 960), enlarge takes one away (down to -960); false when the
// limit stops it.
bool shrinkZoom(std::int32_t& zoom);
bool enlargeZoom(std::int32_t& zoom);

// The picture's rectangle for a zoom in a pane of the given client size: top-left corner,
// shrunk (or grown) by the zoom on every side's total.
Rect zoomedRect(std::int32_t zoom, std::int32_t width, std::int32_t height);

// The rectangle while the picture is dragged by (a, b): w = width + 2 zoom - a, and where that
// is narrower than the pane the offset falls back to the zoom; likewise for the height.
Rect offsetRect(std::int32_t zoom, std::int32_t width, std::int32_t height, std::int32_t a,
                std::int32_t b);

// Sound level in hundredths of a decibel for a volume in percent: 1000 log10(1e-10 + v/100
// (1 - 1e-10)) with v/100 in single precision, truncated (0 % gives -10000, 90 % gives -45).
std::int32_t volumeLevel(std::int32_t percent);
// The linear gain of a level in hundredths of a decibel.
double gainOfLevel(std::int32_t level);

}  // namespace qelv::media
