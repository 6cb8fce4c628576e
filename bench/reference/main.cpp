// The yardstick for bench/idle and bench/startup: the least a Qt Widgets program needs to show one
// animated GIF in a window of its own. A QLabel plays the QMovie; nothing else is loaded.
//
//   brindle-reference GIF [TITLE]
//
// Built by the benchmarks with g++ and pkg-config (Qt6Widgets), outside the main build.
#include <QApplication>
#include <QLabel>
#include <QMovie>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: brindle-reference GIF [TITLE]\n");
        return 2;
    }
    QMovie movie(QString::fromLocal8Bit(argv[1]));
    if (!movie.isValid()) {
        std::fprintf(stderr, "brindle-reference: %s is no animation Qt can read\n", argv[1]);
        return 1;
    }
    QLabel label;
    label.setWindowTitle(
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("brindle-reference"));
    label.setMovie(&movie);
    movie.start();
    label.show();
    return app.exec();
}
