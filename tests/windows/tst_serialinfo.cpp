#include "modbus/connectionsettings.h"
#include "storage/settingsfile.h"
#include "windows/serialinfo.h"

#include <QSerialPortInfo>
#include <QtTest>
#include <QtWidgets>

Q_DECLARE_METATYPE(ConnectionSettings)

namespace {

const QString serialHint = "Select a port and set serial settings.";
const QString tcpHint = "Specify IP Address, Port and connect status.";
const char *const serialBoxes[] = {"port", "baud", "data", "parity", "stop", "flow"};

// Two ports with a description and, between them, one without.
const serialinfo::PortList fakePorts{
    {"USB serial", "/dev/ttyUSB0"}, {"", "/dev/ttyS0"}, {"FTDI adapter", "/dev/ttyUSB1"}};

// The record as one text, so a failed comparison shows every field.
QString fields(const ConnectionSettings &s)
{
    QString text;
    QDebug(&text) << "serial" << s.serialMode << "once" << s.connectOnce << "port" << s.portName << "baud"
                  << s.baudRate << "data" << s.dataBits << "parity" << s.parity << "stop" << s.stopBits
                  << "flow" << s.flowControl << "ip" << s.ipAddress << "tcp" << s.tcpPort << "log"
                  << s.loggingOn << s.logFolder;
    return text;
}

// Serial settings with connect-once set and a TCP address beside them.
ConnectionSettings serial(const QString &port, int baud, int data, int parity, int stop, int flow)
{
    return {true, true, port, baud, data, parity, stop, flow, "10.1.2.3", 502, false, QString()};
}

QStringList items(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
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

    void form_data();
    void form();
    void window();
    void rows_data();
    void rows();
    void shownSettings_data();
    void shownSettings();
    void hints_data();
    void hints();
    void connectWithoutPort_data();
    void connectWithoutPort();
    void defaultPortList();
    void connectOnce_data();
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
        T *found = dialog->findChild<T *>(QLatin1String(name));
        if (!found)
            qWarning("no %s named %s", T::staticMetaObject.className(), name);
        return found;
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

// Every widget: type, parent, place (null where a layout places it), text or
// list contents (null where the settings decide them).
void TestSerialInfo::form_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QVariant>("text");

    const QVariant none;
    const QRect byLayout;
    const char *dlg = "serialinfo", *ser = "verticalLayoutWidget", *tcp = "verticalLayoutWidget_2";
    auto row = [](const char *name, const char *cls, const char *parent, QRect geometry, QVariant text) {
        QTest::newRow(name) << QString(cls) << QString(parent) << geometry << text;
    };
    using L = QStringList;
    row("statusmessage", "QLabel", dlg, {10, 10, 391, 51}, none);
    row("tabWidget", "QTabWidget", dlg, {10, 70, 391, 301}, none);
    row("verticalLayoutWidget", "QWidget", "tab", {10, 10, 361, 251}, none);
    row("label", "QLabel", ser, byLayout, "Port");
    row("port", "QComboBox", ser, byLayout, L{"/dev/ttyUSB0", "/dev/ttyUSB1"});
    row("label_2", "QLabel", ser, byLayout, "Baud Rate");
    row("baud", "QComboBox", ser, byLayout,
        L{"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"});
    row("label_3", "QLabel", ser, byLayout, "Data Bits");
    row("data", "QComboBox", ser, byLayout, L{"5", "6", "7", "8"});
    row("label_4", "QLabel", ser, byLayout, "Parity");
    row("parity", "QComboBox", ser, byLayout, L{"None", "Even", "Odd", "Space", "Mark"});
    row("label_5", "QLabel", ser, byLayout, "Stop bits");
    row("stop", "QComboBox", ser, byLayout, L{"1", "2"});
    row("label_6", "QLabel", ser, byLayout, "Flow Control");
    row("flow", "QComboBox", ser, byLayout, L{"None", "Hardware", "Software"});
    row("connectonce_2", "QCheckBox", ser, byLayout, "Connect Once");
    row("verticalLayoutWidget_2", "QWidget", "tab_2", {10, 10, 361, 111}, none);
    row("label_7", "QLabel", tcp, byLayout, "IP Address");
    row("ipaddress", "QLineEdit", tcp, byLayout, none);
    row("label_8", "QLabel", tcp, byLayout, "Port");
    row("portnum", "QLineEdit", tcp, byLayout, none);
    row("connectonce", "QCheckBox", tcp, byLayout, "Connect Once");
    row("connectbutton", "QPushButton", dlg, {10, 380, 211, 27}, none);
    row("closeprogram", "QPushButton", dlg, {310, 380, 93, 27}, "Close ");
}

void TestSerialInfo::form()
{
    QFETCH(QString, className);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QVariant, text);

    make();
    QWidget *w = widget(QTest::currentDataTag());
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), className);
    QVERIFY(w->parentWidget());
    QCOMPARE(w->parentWidget()->objectName(), parent);
    if (!geometry.isNull())
        QCOMPARE(w->geometry(), geometry);
    if (auto *box = qobject_cast<QComboBox *>(w))
        QCOMPARE(items(box), text.toStringList());
    else if (text.isValid())
        QCOMPARE(w->property("text").toString(), text.toString());
}

void TestSerialInfo::window()
{
    make();
    QCOMPARE(dialog->windowTitle(), QString("Comms"));
    QCOMPARE(dialog->size(), QSize(415, 415));
    QCOMPARE(dialog->minimumSize(), QSize(415, 415));
    QCOMPARE(dialog->maximumSize(), QSize(415, 415));
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    QVERIFY(dialog->isModal());
    const QIcon appIcon(":/appicon.png");
    QVERIFY(!appIcon.isNull());
    QCOMPARE(dialog->windowIcon().pixmap(32).toImage(), appIcon.pixmap(32).toImage());

    auto *status = widget<QLabel>("statusmessage");
    QCOMPARE(status->font().pointSize(), 8);
    QCOMPARE(status->frameShape(), QFrame::Panel);
    QCOMPARE(status->frameShadow(), QFrame::Raised);
    QCOMPARE(status->lineWidth(), 1);
    QCOMPARE(status->alignment(), Qt::AlignCenter);
    QVERIFY(status->wordWrap());
    QCOMPARE(status->textFormat(), Qt::PlainText);

    auto *tabs = widget<QTabWidget>("tabWidget");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->widget(0)->objectName() + " " + tabs->tabText(0), QString("tab Serial"));
    QCOMPARE(tabs->widget(1)->objectName() + " " + tabs->tabText(1), QString("tab_2 TCP"));
    QVERIFY(widget("connectonce_2")->isHidden());
    QVERIFY(!widget("connectonce")->isHidden());
}

// Each tab's rows, top to bottom: a label and its field side by side, then
// the check box. Labels are 70 pixels wide and fit their text, check boxes 26 high.
void TestSerialInfo::rows_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("serial") << "verticalLayout"
                            << QStringList{"label port",   "label_2 baud", "label_3 data", "label_4 parity",
                                           "label_5 stop", "label_6 flow", "connectonce_2"};
    QTest::newRow("tcp") << "verticalLayout_2"
                         << QStringList{"label_7 ipaddress", "label_8 portnum", "connectonce"};
}

void TestSerialInfo::rows()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, rows);

    make();
    auto *column = dialog->findChild<QVBoxLayout *>(layout);
    QVERIFY(column);
    column->activate();
    const bool formFont = QFontInfo(dialog->font()).family().startsWith("DejaVu Sans");
    QStringList found;
    for (int i = 0; i < column->count(); ++i) {
        QLayoutItem *item = column->itemAt(i);
        if (item->widget()) {
            found << item->widget()->objectName();
            QCOMPARE(item->widget()->height(), 26);
            continue;
        }
        QVERIFY(item->layout() && item->layout()->count() == 2);
        auto *label = qobject_cast<QLabel *>(item->layout()->itemAt(0)->widget());
        QVERIFY(label);
        found << label->objectName() + " " + item->layout()->itemAt(1)->widget()->objectName();
        QCOMPARE(label->width(), 70);
        if (formFont)
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
                     qPrintable(label->text()));
    }
    QCOMPARE(found, rows);
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
    const QStringList oddShown{"/dev/ttyUSB1", "19200", "7", "Odd", "2", "Hardware", "502"};
    row("all listed", odd, oddShown, odd);
    row("read from the file", odd, oddShown, odd, "file");
    const ConnectionSettings even = serial("/dev/ttyUSB0", 1200, 5, 2, 1, 2);
    row("even, software", even, {"/dev/ttyUSB0", "1200", "5", "Even", "1", "Software", "502"}, even);
    const ConnectionSettings space = serial("/dev/ttyUSB0", 115200, 8, 4, 1, 0);
    row("space", space, {"/dev/ttyUSB0", "115200", "8", "Space", "1", "None", "502"}, space);
    const ConnectionSettings mark = serial("/dev/ttyUSB0", 9600, 6, 5, 1, 0);
    row("mark", mark, {"/dev/ttyUSB0", "9600", "6", "Mark", "1", "None", "502"}, mark);
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
    QCOMPARE(fields(Connection), fields(after));
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
    QTest::newRow("serial") << serial("/dev/ttyUSB0", 9600, 8, 0, 1, 0) << QString();
    QTest::newRow("tcp with message") << tcp << "Disconnected from 10.0.0.7";
    QTest::newRow("serial with message")
        << serial("/dev/ttyUSB0", 9600, 8, 0, 1, 0) << "Serial port /dev/ttyUSB0 was lost";
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
    const QString before = fields(Connection);
    widget<QTabWidget>("tabWidget")->setCurrentIndex(0);
    QTest::mouseClick(widget("connectbutton"), Qt::LeftButton);

    QVERIFY(dialog);
    QCOMPARE(widget<QLabel>("statusmessage")->text(), QString("Select a port."));
    QCOMPARE(fields(Connection), before);
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
    QCOMPARE(items(widget<QComboBox>("port")), described);
}

void TestSerialInfo::connectOnce_data()
{
    QTest::addColumn<bool>("initial");
    QTest::addColumn<QString>("clicked");

    QTest::newRow("tcp box, set to clear") << true << "connectonce";
    QTest::newRow("tcp box, clear to set") << false << "connectonce";
    QTest::newRow("serial box, set to clear") << true << "connectonce_2";
    QTest::newRow("serial box, clear to set") << false << "connectonce_2";
}

// Each box mirrors the other; nothing is stored before Connect.
void TestSerialInfo::connectOnce()
{
    QFETCH(bool, initial);
    QFETCH(QString, clicked);

    Connection.connectOnce = initial;
    make();
    widget<QCheckBox>(qPrintable(clicked))->click();
    QCOMPARE(widget<QCheckBox>("connectonce")->isChecked(), !initial);
    QCOMPARE(widget<QCheckBox>("connectonce_2")->isChecked(), !initial);
    QCOMPARE(Connection.connectOnce, initial);
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
    QTest::newRow("tcp, empty fields") << before << 1 << QStringList{"", ""} << false << tcp("", 0, true);
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
    QCOMPARE(fields(Connection), fields(expected));
    QVERIFY(QFile::exists(settingsFile()));
    Connection = ConnectionSettings();
    loadSettings();
    QCOMPARE(fields(Connection), fields(expected));
}

void TestSerialInfo::closeEndsProgram()
{
    Connection = serial("/dev/ttyUSB0", 9600, 8, 0, 1, 0);
    make();
    const QString before = fields(Connection);
    QEventLoop loop;
    // The watchdog only guards against a hang; its exit code fails the comparison.
    QTimer::singleShot(10000, &loop, [&loop] { loop.exit(1); });
    QTimer::singleShot(0, this, [this] { QTest::mouseClick(widget("closeprogram"), Qt::LeftButton); });

    QCOMPARE(loop.exec(), 0);
    QVERIFY(dialog);
    QCOMPARE(fields(Connection), before);
    QVERIFY(!QFile::exists(settingsFile()));
}

QTEST_MAIN(TestSerialInfo)
#include "tst_serialinfo.moc"
