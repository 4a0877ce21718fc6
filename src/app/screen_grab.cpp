// Saves the whole X screen as a PNG: screen_grab FILE. Used by the end-to-end tests and to
// take the README's screenshots under Xvfb.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: qelv_screen_grab FILE\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || !screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "qelv_screen_grab: cannot grab the screen\n");
        return 1;
    }
    return 0;
}
