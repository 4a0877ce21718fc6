// One QApplication (offscreen) for every widget test, the skin loaded, and the user's
// settings kept in a temporary folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "skin/skin_bitmaps.h"
#ifdef QELV_TEST_WEB_ENGINE
#include "telemetry/ui/tile_source.h"
#endif

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef QELV_TEST_WEB_ENGINE
    // The map's browser shares the windows' graphics contexts: said before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qelv::ui::registerMapTileScheme();
#endif
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("QELV Test"));
    QApplication::setApplicationName(QStringLiteral("QELV Viewer Test"));
    QTemporaryDir settings;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    if (!qelv::ui::loadSkinLibrary(QStringLiteral(QELV_SKIN_FILE))) {
        std::fprintf(stderr, "cannot load the skin %s\n", QELV_SKIN_FILE);
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
