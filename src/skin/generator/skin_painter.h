// Draws the skin's numbered bitmaps: button faces with their glyphs, slider channels and
// thumbs, panel icons, list header pieces and dialog backgrounds, all in the viewer's dark
// style. Magenta (255, 0, 255) marks what a window leaves transparent.
#pragma once

#include <QImage>
#include <QString>
#include <vector>

namespace qelv::skin {

struct SkinBitmap {
    int number;
    QImage image;
};

// Every bitmap of the skin, in number order.
std::vector<SkinBitmap> paintSkin();

// The program's icon (resource 128).
QImage paintAppIcon(int size);

}  // namespace qelv::skin
