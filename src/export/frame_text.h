// Text burnt into I420 pictures: white capitals of a 5 x 7 dot font on a darkened box, each
// dot `scale` pixels square. Lower-case letters are drawn as capitals; characters the font
// lacks show as '?'.
#pragma once

#include <cstdint>
#include <string_view>

namespace qelv::media {

// The three planes of an I420 picture (chroma at half width and height).
struct I420View {
    std::uint8_t* planes[3];
    int strides[3];
    int width;
    int height;
};

// Size in pixels of the box `text` is drawn in.
int textBoxWidth(std::string_view text, int scale);
int textBoxHeight(int scale);

// Draws `text` in its box with the box's top-left corner at (x, y); what falls outside the
// picture is left out.
void burnText(const I420View& picture, int x, int y, int scale, std::string_view text);

}  // namespace qelv::media
