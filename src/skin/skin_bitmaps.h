// The numbered bitmaps of the skin. They live in "ResourceDll.rcc" beside the program, which
// the start-up registers once; every window loads its faces and backgrounds from it by number.
#pragma once

#include <QPixmap>
#include <QString>

namespace qelv::ui {

// Registers the skin file; false when it is missing or not a resource file holding the skin.
bool loadSkinLibrary(const QString& path);

// The bitmap `number` of the skin, or a null pixmap when the skin has none.
QPixmap skinBitmap(int number);
// The same with magenta (255, 0, 255) made transparent.
QPixmap skinBitmapMasked(int number);

// Resource path of a bitmap: ":/bitmaps/<number>.png".
QString skinBitmapPath(int number);

}  // namespace qelv::ui
