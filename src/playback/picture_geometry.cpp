#include "playback/picture_geometry.h"

#include <cmath>

namespace qelv::media {

bool shrinkZoom(std::int32_t& zoom) {
    if (zoom >= kZoomLimit) {
        return false;
    }
    zoom += kZoomStep;
    return true;
}

bool enlargeZoom(std::int32_t& zoom) {
    if (zoom <= -kZoomLimit) {
        return false;
    }
    zoom -= kZoomStep;
    return true;
}

Rect zoomedRect(std::int32_t zoom, std::int32_t width, std::int32_t height) {
    return {0, 0, width - 2 * zoom, height - 2 * zoom};
}

Rect offsetRect(std::int32_t zoom, std::int32_t width, std::int32_t height, std::int32_t a,
                std::int32_t b) {
    const std::int32_t w = width + 2 * zoom - a;
    if (w < width) {
        a = zoom;
    }
    const std::int32_t h = height + 2 * zoom - b;
    if (h < height) {
        b = zoom;
    }
    return {-a, -b, w, h};
}

std::int32_t volumeLevel(std::int32_t percent) {
    const float fraction = static_cast<float>(percent) / 100.0f;
    const double level = 1000.0 * std::log10(1e-10 + fraction * (1.0 - 1e-10));
    // The recorder's players took a level of 0 for "no level" and silenced it; here full
    // volume stays full.
    return static_cast<std::int32_t>(level);
}

double gainOfLevel(std::int32_t level) {
    return level <= -10000 ? 0.0 : std::pow(10.0, level / 2000.0);
}

}  // namespace qelv::media
