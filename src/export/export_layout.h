// Where each camera's picture goes in an exported clip.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace qelv::media {

// side: the front camera large on the left, the rear and third cameras stacked on its right.
// pip: the front camera fills the picture, the others are insets in its top right corner.
// front: the front camera alone.
enum class ExportLayout { Side, Pip, Front };

std::optional<ExportLayout> layoutNamed(std::string_view name);
std::string_view layoutName(ExportLayout layout);

struct Region {
    int x = 0, y = 0, width = 0, height = 0;
};

// The regions of the front, rear and third camera in a `width` x `height` clip; nothing for a
// camera the layout does not show. Sizes are even, as the picture's chroma needs.
std::array<std::optional<Region>, 3> layoutRegions(ExportLayout layout, int width, int height);

}  // namespace qelv::media
