#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The windows have fixed pixel layouts: scaled by the desktop's factor
    // (Xft.dpi, QT_SCALE_FACTOR), they keep their proportions on a high-DPI
    // screen instead of coming out tiny with their texts cut off. Qt rounds
    // the desktop's factor to a whole number, which keeps a screen that
    // reports 100 dpi instead of 96 from blurring every window at 1.04.
    // Both before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Arguments go to Qt only; the program reads its configuration from its settings file.
    QApplication app(argc, argv);
    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
