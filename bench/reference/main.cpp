// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for bench/idle and bench/startup: the least a Qt Widgets program needs to show one
// animated GIF in a window of its own. A QLabel plays the QMovie; nothing else is loaded.
//
//   brindle-reference [--menu] GIF [TITLE]
//
// --menu puts the GIF under a menu bar with two Japanese captions, the least text the program's
// window shows; bench/startup --menu-reference measures it to show what drawing any Japanese text
// costs at start-up.
//
// Built by the benchmarks with g++ and pkg-config (Qt6Widgets), outside the main build.
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMovie>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>
#include <optional>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bool withMenu = argc > 1 && std::strcmp(argv[1], "--menu") == 0;
    if (withMenu) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: brindle-reference [--menu] GIF [TITLE]\n");
        return 2;
    }
    QMovie movie(QString::fromLocal8Bit(argv[1]));
    if (!movie.isValid()) {
        std::fprintf(stderr, "brindle-reference: %s is no animation Qt can read\n", argv[1]);
        return 1;
    }
    // The plain window is the label itself; with --menu, the label sits under a menu bar.
    std::optional<QWidget> window;
    QLabel label;
    QWidget *top = &label;
    if (withMenu) {
        top = &window.emplace();
        auto *layout = new QVBoxLayout(top);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *menuBar = new QMenuBar(top);
        menuBar->addMenu(QStringLiteral("ファイル"));
        menuBar->addMenu(QStringLiteral("画像"));
        layout->setMenuBar(menuBar);
        layout->addWidget(&label);
    }
    top->setWindowTitle(
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("brindle-reference"));
    label.setMovie(&movie);
    movie.start();
    top->show();
    return app.exec();
}
