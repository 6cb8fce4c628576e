#include "app/application.h"

#include <QApplication>
#include <QWidget>

int runBrindle(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget w;
    w.show();
    return app.exec();
}
