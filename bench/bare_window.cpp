// The start-up anchor: an empty Qt main window with Pollwright's title, so
// bench/startup.sh can time it beside the real program in the same run. What
// Pollwright takes above this is its own.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Quarvel - Pollwright v1.9"));
    window.resize(778, 830);
    window.show();
    return app.exec();
}
