// Writes the skin's bitmaps as PNG files and the resource list that packs them into
// "ResourceDll.rcc": skin_generator OUTPUT_DIR. Also writes the program icon.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

#include "skin_painter.h"

int main(int argc, char** argv) {
    // Drawing needs fonts, not a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: qelv_skin_generator OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("bitmaps")) || !out.mkpath(QStringLiteral("icon"))) {
        std::fprintf(stderr, "skin_generator: cannot make %s\n", argv[1]);
        return 1;
    }
    QFile list(out.filePath(QStringLiteral("skin.qrc")));
    if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "skin_generator: cannot write skin.qrc\n");
        return 1;
    }
    QTextStream qrc(&list);
    qrc << "<RCC>\n  <qresource prefix=\"/\">\n";
    for (const auto& bitmap : qelv::skin::paintSkin()) {
        const QString name = QStringLiteral("bitmaps/%1.png").arg(bitmap.number);
        if (!bitmap.image.save(out.filePath(name), "PNG")) {
            std::fprintf(stderr, "skin_generator: cannot write %s\n", qPrintable(name));
            return 1;
        }
        qrc << "    <file>" << name << "</file>\n";
    }
    qrc << "  </qresource>\n</RCC>\n";
    if (!qelv::skin::paintAppIcon(64).save(out.filePath(QStringLiteral("icon/128.png")), "PNG")) {
        return 1;
    }
    // The desktop's icon theme: the same icon at the usual sizes.
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        if (!out.mkpath(folder) ||
            !qelv::skin::paintAppIcon(size).save(
                out.filePath(folder + QStringLiteral("/qelv-viewer.png")), "PNG")) {
            std::fprintf(stderr, "skin_generator: cannot write the %d px icon\n", size);
            return 1;
        }
    }
    return 0;
}
