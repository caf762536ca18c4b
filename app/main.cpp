#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
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
