// Draws the poll table for the docs: a sequence of three polls (uInt16
// values, Float32 in order "1032", a function-16 write) run once against the
// test slave, then the window grabbed into a PNG. Run it on a display (Xvfb):
//   pollwright-tableshot <pollwright-slave> <output.png>
#include "app/mainwindow.h"
#include "app/pollstore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeWidget>

namespace {

bool waitUntil(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void setPoll(int number, const QString &fields, const QStringList &write, const QStringList &desc,
             const QString &polldesc)
{
    // "function start count addrperitem type order"
    const QStringList f = fields.split(' ');
    Poll &poll = *pollNumber(number);
    poll.function = f.at(0);
    poll.startaddr = f.at(1);
    poll.val1 = f.at(2);
    poll.addrperitem = f.at(3);
    poll.val2 = f.at(4);
    poll.val3 = f.at(5);
    poll.write = write;
    poll.desc = desc;
    poll.polldesc = polldesc;
}

int fail(const QString &why)
{
    QTextStream(stderr) << "tableshot: " << why << '\n';
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3)
        return fail("usage: pollwright-tableshot <pollwright-slave> <output.png>");

    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());

    // Flow, level and pressure as uInt16 at 10; 3.14159 and -2.5 as Float32
    // with the low word first at 20.
    QProcess slave;
    slave.start(QString::fromLocal8Bit(argv[1]),
                {"--tcp", "0", "--holding", "10=04D2002A0BB8", "--holding", "20=0FDB40490000C020"});
    if (!slave.waitForStarted() || !slave.waitForReadyRead(5000))
        return fail("the slave did not start");
    const QString port = QString::fromLatin1(slave.readLine()).trimmed().section(' ', 2);

    QDir().mkpath(home.path() + "/.quarvel");
    QFile settings(home.path() + "/.quarvel/pollwright-settings.xml");
    settings.open(QIODevice::WriteOnly);
    settings.write(
        QString("<?xml version='1.0' encoding='UTF-8'?>\n<settings>\n <ethernet>127.0.0.1</ethernet>\n"
                " <connectonce>1</connectonce>\n <portnumber>%1</portnumber>\n <isserial>0</isserial>\n"
                "</settings>\n")
            .arg(port)
            .toUtf8());
    settings.close();

    Sequence = {1, 2, 3};
    MainWindow window;
    window.show();
    setPoll(1, "3 10 3 1 0 10", {"0", "0", "0"}, {"Flow l/min", "Tank level", "Pressure mbar"},
            "Process values");
    setPoll(2, "3 20 2 2 3 1032", {"0", "0"}, {"Angle", "Offset"}, "Float32, low word first");
    setPoll(3, "16 30 2 1 0 10", {"1200", "34"}, {"Setpoint", "Ramp"}, "Setpoints");

    // Connect through the dialog the start-up timer opens.
    QWidget *dialog = nullptr;
    if (!waitUntil([&dialog] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == "serialinfo" && w->isVisible())
                    dialog = w;
            return dialog != nullptr;
        }))
        return fail("no connection dialog");
    dialog->findChild<QAbstractButton *>("connectbutton")->click();

    window.findChild<QDoubleSpinBox *>("timebetweenpolls")->setValue(0.1);
    window.findChild<QAbstractButton *>("sequencetoggle")->click();
    window.findChild<QAbstractButton *>("gobutton")->click();
    auto *valid = window.findChild<QLabel *>("numofvalid");
    if (!waitUntil([valid] { return valid->text().toInt() >= 3; }))
        return fail("no replies");
    window.findChild<QAbstractButton *>("stopbutton")->click();
    window.findChild<QTreeWidget *>("treeWidget")->expandAll();
    waitUntil([] { return false; }, 300); // let the last paint happen

    if (!window.grab().save(QString::fromLocal8Bit(argv[2])))
        return fail("cannot write the picture");
    slave.terminate();
    slave.waitForFinished();
    return 0;
}
