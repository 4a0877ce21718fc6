// Text burnt into I420 pictures: white capitals of a 5 x 7 dot font on a darkened box, each
// dot `scale` pixels square. Lower-case letters are drawn as capitals; characters the font
// lacks show as '?'.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Text laid out to fit a box: its dot size and its lines.
struct FittedText {
    int scale = 1;
    std::vector<std::string> lines;  // empty when not even one character fits
    int width() const;               // of the widest line's box
    int height() const;              // of the lines' boxes stacked
};

// `text` in the largest dot size up to `maxScale` at which it fits `width` x `height`, broken
// into lines at spaces (a word longer than a line is cut); when it does not fit at size 1,
// the last line that fits ends in "..".
FittedText fitText(std::string_view text, int width, int height, int maxScale);

// Draws fitted lines, each in its box, one under the other from (x, y), each line's box
// centred on the widest when `centred`.
void burnLines(const I420View& picture, int x, int y, const FittedText& text, bool centred);

// Paints the rectangle black.
void fillBlack(const I420View& picture, int x, int y, int width, int height);

}  // namespace qelv::media
