#include "skin/skin_bitmaps.h"

#include <QBitmap>
#include <QFile>
#include <QFileInfo>
#include <QResource>

namespace qelv::ui {

namespace {
// A bitmap every skin holds (the main window's close button): a resource file without it is
// not our skin.
constexpr int kProbeBitmap = 219;
}  // namespace

bool loadSkinLibrary(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        return false;
    }
    if (!QResource::registerResource(path)) {
        return false;
    }
    if (!QFile::exists(skinBitmapPath(kProbeBitmap))) {
        QResource::unregisterResource(path);
        return false;
    }
    return true;
}

QString skinBitmapPath(int number) {
    return QStringLiteral(":/bitmaps/%1.png").arg(number);
}

QPixmap skinBitmap(int number) {
    QPixmap pixmap;
    pixmap.load(skinBitmapPath(number));
    return pixmap;
}

QPixmap skinBitmapMasked(int number) {
    QPixmap pixmap = skinBitmap(number);
    if (!pixmap.isNull()) {
        pixmap.setMask(pixmap.createMaskFromColor(QColor(255, 0, 255), Qt::MaskInColor));
    }
    return pixmap;
}

}  // namespace qelv::ui
