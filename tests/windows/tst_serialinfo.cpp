#include "modbus/connectionsettings.h"
#include "storage/settingsfile.h"
#include "support/connectionfields.h"
#include "support/formcheck.h"
#include "windows/serialinfo.h"

#include <QSerialPortInfo>
#include <QtTest>
#include <QtWidgets>

namespace {

const QString serialHint = "Select a port and set serial settings.";
const QString tcpHint = "Specify IP Address, Port and connect status.";
const char *const serialBoxes[] = {"port", "baud", "data", "parity", "stop", "flow"};

// Two ports with a description and, between them, one without.
const serialinfo::PortList fakePorts{
    {"USB serial", "/dev/ttyUSB0"}, {"", "/dev/ttyS0"}, {"FTDI adapter", "/dev/ttyUSB1"}};

// Serial settings with connect-once set and a TCP address beside them.
ConnectionSettings serial(const QString &port, int baud, int data, int parity, int stop, int flow)
{
    return {true, true, port, baud, data, parity, stop, flow, "10.1.2.3", 502, false, QString()};
}

} // namespace

class TestSerialInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void window();
    void shownSettings_data();
    void shownSettings();
    void hints_data();
    void hints();
    void connectWithoutPort_data();
    void connectWithoutPort();
    void defaultPortList();
    void connectOnce();
    void connectStores_data();
    void connectStores();
    // Last: QCoreApplication::exit() leaves the thread's quit flag set, after
    // which no further QEventLoop::exec() would run.
    void closeEndsProgram();

private:
    void make(bool loadFirst = false, const QString &message = QString())
    {
        dialog = new serialinfo(loadFirst, message);
    }
    template<typename T = QWidget>
    T *widget(const char *name) const
    {
        return namedChild<T>(dialog, name);
    }
    QString settingsFile() const { return home.path() + "/.quarvel/pollwright-settings.xml"; }

    QTemporaryDir home;
    QPointer<serialinfo> dialog;
};

void TestSerialInfo::initTestCase()
{
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));
    QCOMPARE(settingsFilePath(), settingsFile());
}

void TestSerialInfo::init()
{
    Connection = ConnectionSettings();
    QFile::remove(settingsFile());
    serialinfo::setPortLister([] { return fakePorts; });
}

void TestSerialInfo::cleanup()
{
    delete dialog;
}

void TestSerialInfo::cleanupTestCase()
{
    serialinfo::setPortLister({});
}

// The widgets by name with their texts and lists (ports: those with a
// description), and every label fitting its text.
void TestSerialInfo::window()
{
    make();
    QCOMPARE(formMismatches(dialog, {{"statusmessage", "QLabel", tcpHint},
                                     {"tabWidget", "QTabWidget", "Serial|TCP"},
                                     {"label", "QLabel", "Port"},
                                     {"port", "QComboBox", "/dev/ttyUSB0|/dev/ttyUSB1"},
                                     {"label_2", "QLabel", "Baud Rate"},
                                     {"baud", "QComboBox", "1200|2400|4800|9600|19200|38400|57600|115200"},
                                     {"label_3", "QLabel", "Data Bits"},
                                     {"data", "QComboBox", "5|6|7|8"},
                                     {"label_4", "QLabel", "Parity"},
                                     {"parity", "QComboBox", "None|Even|Odd|Space|Mark"},
                                     {"label_5", "QLabel", "Stop bits"},
                                     {"stop", "QComboBox", "1|2"},
                                     {"label_6", "QLabel", "Flow Control"},
                                     {"flow", "QComboBox", "None|Hardware|Software"},
                                     {"connectonce_2", "QCheckBox", "Connect Once"},
                                     {"label_7", "QLabel", "IP Address"},
                                     {"ipaddress", "QLineEdit", ""},
                                     {"label_8", "QLabel", "Port"},
                                     {"portnum", "QLineEdit", "0"},
                                     {"connectonce", "QCheckBox", "Connect Once"},
                                     {"connectbutton", "QPushButton", "Connect (TCP)"},
                                     {"closeprogram", "QPushButton", "Close "}}),
             QString());
    QCOMPARE(dialog->windowTitle(), QString("Comms"));
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    QVERIFY(dialog->isModal());
    QVERIFY(showsAppIcon(dialog));
    QVERIFY(widget("connectonce_2")->isHidden()); // the TCP tab's box stands for both

    REQUIRE_FORM_FONT(dialog);
    for (QLabel *label : dialog->findChildren<QLabel *>())
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width()
                     || label->wordWrap(),
                 qPrintable(label->text()));
}

// What the fields show for a record (from memory, from the file, or on a
// first run with no file to read), and the record as construction leaves it:
// what no list holds comes back as an empty port or 0. Nothing is written.
void TestSerialInfo::shownSettings_data()
{
    QTest::addColumn<ConnectionSettings>("settings");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("shown"); // port, baud, data, parity, stop, flow, portnum
    QTest::addColumn<ConnectionSettings>("after");

    auto row = [](const char *name, ConnectionSettings s, QStringList shown, ConnectionSettings after,
                  const char *source = "memory") {
        QTest::newRow(name) << s << QString(source) << shown << after;
    };
    const ConnectionSettings none;
    const QStringList noneShown{"", "", "", "None", "", "None", "0"};
    row("first run", none, noneShown, none);
    row("first run, no file to read", none, noneShown, none, "missing file");
    const ConnectionSettings odd = serial("/dev/ttyUSB1", 19200, 7, 3, 2, 1);
    row("read from the file", odd, {"/dev/ttyUSB1", "19200", "7", "Odd", "2", "Hardware", "502"}, odd,
        "file");
    const ConnectionSettings even = serial("/dev/ttyUSB0", 1200, 5, 2, 1, 2);
    row("even, software", even, {"/dev/ttyUSB0", "1200", "5", "Even", "1", "Software", "502"}, even);
    const ConnectionSettings space = serial("/dev/ttyUSB0", 115200, 8, 4, 1, 0);
    row("space", space, {"/dev/ttyUSB0", "115200", "8", "Space", "1", "None", "502"}, space);
    row("unknown parity and flow", serial("/dev/ttyUSB0", 9600, 8, 1, 1, 7),
        {"/dev/ttyUSB0", "9600", "8", "None", "1", "None", "502"}, serial("/dev/ttyUSB0", 9600, 8, 0, 1, 0));
    row("values without list entry", serial("/dev/ttyUSB0", 12345, 9, 0, 3, 0),
        {"/dev/ttyUSB0", "", "", "None", "", "None", "502"}, serial("/dev/ttyUSB0", 0, 0, 0, 0, 0));
    const QStringList noPort{"", "9600", "8", "None", "1", "None", "502"};
    const ConnectionSettings noPortAfter = serial("", 9600, 8, 0, 1, 0);
    row("saved port gone", serial("/dev/ttyACM9", 9600, 8, 0, 1, 0), noPort, noPortAfter);
    row("port name in other case", serial("/dev/TTYUSB0", 9600, 8, 0, 1, 0), noPort, noPortAfter);
    row("port without description", serial("/dev/ttyS0", 9600, 8, 0, 1, 0), noPort, noPortAfter);
}

void TestSerialInfo::shownSettings()
{
    QFETCH(ConnectionSettings, settings);
    QFETCH(QString, source);
    QFETCH(QStringList, shown);
    QFETCH(ConnectionSettings, after);

    Connection = settings;
    if (source == "file") {
        saveSettings();
        Connection = ConnectionSettings();
    }
    make(source != "memory");
    for (int i = 0; i < 6; ++i) {
        auto *box = widget<QComboBox>(serialBoxes[i]);
        QCOMPARE(box->currentText(), shown[i]);
        QCOMPARE(box->currentIndex() < 0, shown[i].isEmpty());
    }
    QCOMPARE(widget<QLineEdit>("portnum")->text(), shown[6]);
    QCOMPARE(widget<QLineEdit>("ipaddress")->text(), settings.ipAddress);
    QCOMPARE(widget<QCheckBox>("connectonce")->isChecked(), settings.connectOnce);
    QCOMPARE(widget<QCheckBox>("connectonce_2")->isChecked(), settings.connectOnce);
    QCOMPARE(connectionFields(Connection), connectionFields(after));
    QCOMPARE(QFile::exists(settingsFile()), source == "file");
}

// The tab of the last connection, its hint unless a message replaces it;
// switching tabs brings each tab's own hint.
void TestSerialInfo::hints_data()
{
    QTest::addColumn<ConnectionSettings>("settings");
    QTest::addColumn<QString>("message");

    ConnectionSettings tcp = serial("/dev/ttyUSB0", 9600, 8, 0, 1, 0);
    tcp.serialMode = false;
    QTest::newRow("first run") << ConnectionSettings() << QString();
    QTest::newRow("tcp with message") << tcp << "Disconnected from 10.0.0.7";
}

void TestSerialInfo::hints()
{
    QFETCH(ConnectionSettings, settings);
    QFETCH(QString, message);

    Connection = settings;
    make(false, message);
    auto *tabs = widget<QTabWidget>("tabWidget");
    auto *button = widget<QPushButton>("connectbutton");
    auto *status = widget<QLabel>("statusmessage");
    const int own = settings.serialMode ? 0 : 1;
    const QString buttons[] = {"Connect (Serial)", "Connect (TCP)"};
    const QString texts[] = {serialHint, tcpHint};

    QCOMPARE(tabs->currentIndex(), own);
    QCOMPARE(button->text(), buttons[own]);
    QCOMPARE(status->text(), message.isEmpty() ? texts[own] : message);
    for (int index : {1 - own, own}) {
        tabs->setCurrentIndex(index);
        QCOMPARE(button->text(), buttons[index]);
        QCOMPARE(status->text(), texts[index]);
    }
}

void TestSerialInfo::connectWithoutPort_data()
{
    QTest::addColumn<ConnectionSettings>("settings");
    QTest::addColumn<serialinfo::PortList>("ports");

    QTest::newRow("first run") << ConnectionSettings() << fakePorts;
    QTest::newRow("saved port gone") << serial("/dev/ttyACM9", 9600, 8, 0, 1, 0) << fakePorts;
    QTest::newRow("no ports at all") << serial("/dev/ttyUSB0", 9600, 8, 0, 1, 0) << serialinfo::PortList();
}

void TestSerialInfo::connectWithoutPort()
{
    QFETCH(ConnectionSettings, settings);
    QFETCH(serialinfo::PortList, ports);

    serialinfo::setPortLister([ports] { return ports; });
    Connection = settings;
    make();
    QCOMPARE(Connection.portName, QString());
    const QString before = connectionFields(Connection);
    widget<QTabWidget>("tabWidget")->setCurrentIndex(0);
    QTest::mouseClick(widget("connectbutton"), Qt::LeftButton);

    QVERIFY(dialog);
    QCOMPARE(widget<QLabel>("statusmessage")->text(), QString("Select a port."));
    QCOMPARE(connectionFields(Connection), before);
    QVERIFY(!QFile::exists(settingsFile()));
}

// Without a lister the dialog lists the platform's described ports.
void TestSerialInfo::defaultPortList()
{
    serialinfo::setPortLister({});
    QStringList described;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (!info.description().isEmpty())
            described << info.systemLocation();
    }
    make();
    QCOMPARE(shownText(widget<QComboBox>("port")), described.join('|'));
}

// Each box mirrors the other; nothing is stored before Connect.
void TestSerialInfo::connectOnce()
{
    for (const char *clicked : {"connectonce", "connectonce_2"}) {
        const bool initial = QByteArray(clicked) == "connectonce";
        Connection.connectOnce = initial;
        make();
        widget<QCheckBox>(clicked)->click();
        QCOMPARE(widget<QCheckBox>("connectonce")->isChecked(), !initial);
        QCOMPARE(widget<QCheckBox>("connectonce_2")->isChecked(), !initial);
        QCOMPARE(Connection.connectOnce, initial);
        delete dialog;
    }
}

// Connect clicked through the window system, as a user does: the record takes
// the tab's fields (a serial Connect the TCP tab's connect-once state), the
// settings file holds them and the dialog is gone.
void TestSerialInfo::connectStores_data()
{
    QTest::addColumn<ConnectionSettings>("settings");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QStringList>("chosen"); // serial: port, baud, data, parity, stop, flow; TCP: ip, port
    QTest::addColumn<bool>("toggleOnce");    // click the TCP tab's connect-once box first
    QTest::addColumn<ConnectionSettings>("expected");

    const ConnectionSettings none;
    QTest::newRow("serial, all chosen")
        << none << 0 << QStringList{"/dev/ttyUSB1", "115200", "8", "Mark", "1", "Software"} << false
        << ConnectionSettings{true, false, "/dev/ttyUSB1", 115200, 8, 5, 1, 2, "", 0, false, ""};
    QTest::newRow("serial, port and connect-once only on first run")
        << none << 0 << QStringList{"/dev/ttyUSB0"} << true
        << ConnectionSettings{true, true, "/dev/ttyUSB0", 0, 0, 0, 0, 0, "", 0, false, ""};

    const ConnectionSettings before = serial("/dev/ttyUSB0", 9600, 8, 2, 1, 1);
    auto tcp = [&before](const char *ip, int port, bool once) {
        ConnectionSettings s = before;
        s.serialMode = false;
        s.ipAddress = ip;
        s.tcpPort = port;
        s.connectOnce = once;
        return s;
    };
    QTest::newRow("tcp") << before << 1 << QStringList{"192.168.5.20", "1502"} << false
                         << tcp("192.168.5.20", 1502, true);
    QTest::newRow("tcp, connect-once cleared")
        << before << 1 << QStringList{"192.168.5.20", "1502"} << true << tcp("192.168.5.20", 1502, false);
    QTest::newRow("tcp, port not a number")
        << before << 1 << QStringList{"not an address", "abc"} << false << tcp("not an address", 0, true);
}

void TestSerialInfo::connectStores()
{
    QFETCH(ConnectionSettings, settings);
    QFETCH(int, tab);
    QFETCH(QStringList, chosen);
    QFETCH(bool, toggleOnce);
    QFETCH(ConnectionSettings, expected);

    Connection = settings;
    make();
    auto *tabs = widget<QTabWidget>("tabWidget");
    tabs->setCurrentIndex(1);
    if (toggleOnce)
        widget<QCheckBox>("connectonce")->click();
    tabs->setCurrentIndex(tab);
    if (tab == 0) {
        for (int i = 0; i < chosen.size(); ++i) {
            auto *box = widget<QComboBox>(serialBoxes[i]);
            box->setCurrentIndex(box->findText(chosen[i]));
            QVERIFY(box->currentIndex() >= 0);
        }
        widget<QLineEdit>("ipaddress")->setText("10.9.9.9"); // a serial Connect leaves TCP alone
    } else {
        widget<QLineEdit>("ipaddress")->setText(chosen[0]);
        widget<QLineEdit>("portnum")->setText(chosen[1]);
    }

    QSignalSpy destroyed(dialog.data(), &QObject::destroyed);
    // Connected after the dialog's own slot, so it runs only if Connect left
    // the dialog alive when it returned (deleteLater would).
    bool aliveAfterConnect = false;
    connect(widget<QPushButton>("connectbutton"), &QPushButton::clicked, this,
            [&] { aliveAfterConnect = !dialog.isNull(); });
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {},
                      widget("connectbutton")->geometry().center());

    QVERIFY(!dialog);
    QVERIFY(!aliveAfterConnect);
    QCOMPARE(destroyed.count(), 1);
    QCOMPARE(connectionFields(Connection), connectionFields(expected));
    QVERIFY(QFile::exists(settingsFile()));
    Connection = ConnectionSettings();
    loadSettings();
    QCOMPARE(connectionFields(Connection), connectionFields(expected));
}

void TestSerialInfo::closeEndsProgram()
{
    Connection = serial("/dev/ttyUSB0", 9600, 8, 0, 1, 0);
    make();
    const QString before = connectionFields(Connection);
    QEventLoop loop;
    // The watchdog only guards against a hang; its exit code fails the comparison.
    QTimer::singleShot(10000, &loop, [&loop] { loop.exit(1); });
    QTimer::singleShot(0, this, [this] { QTest::mouseClick(widget("closeprogram"), Qt::LeftButton); });

    QCOMPARE(loop.exec(), 0);
    QVERIFY(dialog);
    QCOMPARE(connectionFields(Connection), before);
    QVERIFY(!QFile::exists(settingsFile()));
}

QTEST_MAIN(TestSerialInfo)
#include "tst_serialinfo.moc"
