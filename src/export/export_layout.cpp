#include "export/export_layout.h"

namespace qelv::media {

namespace {

int even(int v) {
    return v & ~1;
}

}  // namespace

std::optional<ExportLayout> layoutNamed(std::string_view name) {
    if (name == "side") {
        return ExportLayout::Side;
    }
    if (name == "pip") {
        return ExportLayout::Pip;
    }
    if (name == "front") {
        return ExportLayout::Front;
    }
    return std::nullopt;
}

std::string_view layoutName(ExportLayout layout) {
    switch (layout) {
        case ExportLayout::Side:
            return "side";
        case ExportLayout::Pip:
            return "pip";
        case ExportLayout::Front:
            break;
    }
    return "front";
}

std::array<std::optional<Region>, 3> layoutRegions(ExportLayout layout, int width, int height) {
    switch (layout) {
        case ExportLayout::Side: {
            // Two thirds of the width for the front camera, a third for each of the others,
            // which then stack to the front picture's height: all at the picture's shape.
            const int frontW = even(width * 2 / 3);
            const int frontH = even(height * 2 / 3);
            const int top = even((height - frontH) / 2);
            const int sideW = even(width - frontW);
            const int sideH = even(frontH / 2);
            return {Region{0, top, frontW, frontH}, Region{frontW, top, sideW, sideH},
                    Region{frontW, top + sideH, sideW, sideH}};
        }
        case ExportLayout::Pip: {
            const int insetW = even(width / 4);
            const int insetH = even(height / 4);
            const int margin = even(height / 40);
            const int left = even(width - insetW - margin);
            return {Region{0, 0, even(width), even(height)}, Region{left, margin, insetW, insetH},
                    Region{left, 2 * margin + insetH, insetW, insetH}};
        }
        case ExportLayout::Front:
            break;
    }
    return {Region{0, 0, even(width), even(height)}, std::nullopt, std::nullopt};
}

}  // namespace qelv::media
