// The connection dialog as the window opens it: what it shows for the stored
// settings, what Connect stores, and each way a connection fails.
#include "support/files.h"
#include "support/rows.h"
#include "windowdriver.h"

#include "modbus/connectionsettings.h"
#include "windows/serialinfo.h"

namespace {

// "serial|once|port|baud|data|parity|stop|flow|ip|tcp port"
QString fields(const ConnectionSettings &s)
{
    return texts(int(s.serialMode), int(s.connectOnce), s.portName, s.baudRate, s.dataBits, s.parity,
                 s.stopBits, s.flowControl, s.ipAddress, s.tcpPort)
        .join('|');
}

// What the dialog shows: its ports, the current texts of its fields and the
// connect-once boxes, then the tab's button and the status line.
QStringList shownFields(const QWidget *dialog)
{
    QStringList ports, texts;
    auto *port = dialog->findChild<QComboBox *>("port");
    for (int i = 0; i < port->count(); ++i)
        ports << port->itemText(i);
    for (const char *box : {"port", "baud", "data", "parity", "stop", "flow"})
        texts << dialog->findChild<QComboBox *>(box)->currentText();
    for (const char *field : {"ipaddress", "portnum"})
        texts << dialog->findChild<QLineEdit *>(field)->text();
    for (const char *box : {"connectonce", "connectonce_2"})
        texts << QString::number(dialog->findChild<QCheckBox *>(box)->isChecked());
    return {ports.join(','), texts.join('|'),
            dialog->findChild<QPushButton *>("connectbutton")->text() + ": "
                + dialog->findChild<QLabel *>("statusmessage")->text()};
}

} // namespace

class TestComms : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        serialinfo::setPortLister([]() -> serialinfo::PortList {
            return {{"USB serial", "/dev/ttyUSB0"}, {"", "/dev/ttyS0"}, {"FTDI adapter", "/dev/ttyUSB1"}};
        });
    }
    void shown_data() { addRows("windows/comms.tsv"); }
    void shown();
    void connecting();
    void noDescriptorLeaks();
};

// The start-up dialog reads the settings file (none: a first run) and shows
// it; what no list holds comes back into the record as an empty port or 0.
void TestComms::shown()
{
    QTemporaryDir home;
    if (!cell("stored").isEmpty()) {
        QString xml = "<?xml version='1.0' encoding='UTF-8'?>\n<settings>\n";
        for (const QString &field : cell("stored").split(' '))
            xml += QString(" <%1>%2</%1>\n").arg(field.section('=', 0, 0), field.section('=', 1));
        writeBytes(home.path() + "/.quarvel/pollwright-settings.xml", (xml + "</settings>\n").toUtf8());
    }
    WindowDriver driver(home.path());
    QWidget *dialog = driver.waitForDialog();
    QVERIFY(dialog);
    const QWidget *main = driver.window();
    QCOMPARE(dialog->pos() - main->pos(),
             QPoint(main->width() / 2 - dialog->width() / 2, main->height() / 2 - dialog->height() / 2));
    QCOMPARE(shownFields(dialog) << fields(Connection), expected());
}

void TestComms::connecting()
{
    Rig rig;
    QVERIFY2(rig.start(false), qPrintable(rig.error));
    QTemporaryDir home;
    Sequence = {1};
    auto driver = std::make_unique<WindowDriver>(home.path());
    QWidget *dialog = driver->waitForDialog();
    QVERIFY(dialog);
    auto *tabs = dialog->findChild<QTabWidget *>("tabWidget");
    tabs->setCurrentIndex(0);
    act(dialog, "connectbutton");
    QCOMPARE(shownFields(dialog).last(), QString("Connect (Serial): Select a port."));

    // A port that will not open: the dialog comes back with the reason.
    for (const char *step :
         {"port=/dev/ttyUSB1", "baud=115200", "data=7", "parity=Odd", "stop=2", "flow=Software"})
        act(dialog, step);
    tabs->setCurrentIndex(1);
    QTest::mouseClick(dialog->findChild<QWidget *>("connectonce"), Qt::LeftButton, {}, QPoint(5, 10));
    tabs->setCurrentIndex(0);
    act(dialog, "connectbutton");
    QVERIFY(pumpUntil([&] { return openWindow("serialinfo") != dialog; }, 3000));
    QVERIFY(dialog = driver->waitForDialog());
    QVERIFY2(
        shownFields(dialog).last().startsWith("Connect (Serial): Couldn't connect to port /dev/ttyUSB1 - "),
        qPrintable(shownFields(dialog).last()));
    QCOMPARE(shownFields(dialog).at(1), QString("/dev/ttyUSB1|115200|7|Odd|2|Software||0|1|1"));
    QCOMPARE(driver->text("footer2"), QString());

    // The TCP tab connects; the settings file holds both tabs' choices.
    const QString port = QString::number(rig.slave.port()), ready = "127.0.0.1/" + port + " Ready";
    QVERIFY(driver->connectTcp(rig.slave.port(), false));
    QCOMPARE(driver->text("footer2"), ready);
    const QString stored = "0|0|/dev/ttyUSB1|115200|7|3|2|2|127.0.0.1|" + port;
    QCOMPARE(fields(Connection), stored);

    // A new connection stops a running sequence: nothing goes out while the dialog is open.
    for (const char *step : {"sequencetoggle", "timebetweenpolls=0.01", "gobutton"})
        driver->act(step);
    WAIT_FOR(driver->count("numofvalid") >= 2, 3000);
    driver->trigger("actionMenu");
    QVERIFY(dialog = driver->waitForDialog());
    const int sent = rig.slave.requests().size();
    QCOMPARE(shownFields(dialog).last(), QString("Connect (TCP): Disconnected from Ethernet Port 127.0.0.1"));
    pumpUntil([] { return false; }, 200);
    QCOMPARE(rig.slave.requests().size(), sent);
    // Closed instead of answered, the dialog leaves the last choice to connect with.
    dialog->close();
    WAIT_FOR(driver->text("footer2") == ready, 3000);

    // The next start shows what was stored, on the tab last used.
    driver.reset();
    init();
    driver = std::make_unique<WindowDriver>(home.path());
    QVERIFY(dialog = driver->waitForDialog());
    QCOMPARE(shownFields(dialog).mid(1),
             QStringList({"/dev/ttyUSB1|115200|7|Odd|2|Software|127.0.0.1|" + port + "|0|0",
                          "Connect (TCP): Specify IP Address, Port and connect status."}));
    QCOMPARE(fields(Connection), stored);
}

// Connecting and disconnecting over and over leaves no descriptor behind.
void TestComms::noDescriptorLeaks()
{
    const auto descriptors = [] {
        return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System).size();
    };
    for (bool serial : {false, true}) {
        Rig rig;
        QVERIFY2(rig.start(serial), qPrintable(rig.error));
        WindowDriver driver;
        QVERIFY(rig.connect(driver));
        int before = 0;
        for (int cycle = 1; cycle <= 60; ++cycle) {
            before = cycle == 10 ? descriptors() : before;
            driver.trigger("actionMenu");
            QVERIFY(rig.connect(driver));
        }
        QVERIFY2(descriptors() <= before,
                 qPrintable(QString("%1 before, %2 after").arg(before).arg(descriptors())));
        driver.click("singlepoll");
        WAIT_FOR(driver.count("numofvalid") == 1, 3000);
    }
}

QTEST_MAIN(TestComms)
#include "tst_comms.moc"
