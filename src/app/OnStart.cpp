#include "OnStart.h"

#include <QApplication>

int runMorvanel(int argc, char** argv)
{
    QApplication app(argc, argv);
    return 0;
}
