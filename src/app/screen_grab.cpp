// Saves the X screen, or the part X Y W H of it, as a PNG: screen_grab FILE [X Y W H]. Used by
// the end-to-end tests and to take the README's screenshots under Xvfb.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: qelv_screen_grab FILE [X Y W H]\n");
        return 2;
    }
    int part[4] = {0, 0, -1, -1};
    for (int i = 0; argc == 6 && i < 4; ++i) {
        part[i] = std::atoi(argv[2 + i]);
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || !screen->grabWindow(0, part[0], part[1], part[2], part[3])
                                  .save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "qelv_screen_grab: cannot grab the screen\n");
        return 1;
    }
    return 0;
}
