// Connecting the real window to the test slave over TCP and RTU (a socat pty
// pair), through the connection dialog, and what the user sees when it fails.
#include "modbus/connectionsettings.h"
#include "support/ptypair.h"
#include "support/slaveprocess.h"
#include "windowdriver.h"
#include "windows/serialinfo.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <QtWidgets>

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void tcpRequestReachesSlave_data();
    void tcpRequestReachesSlave();
    void serialRequestReachesSlave_data();
    void serialRequestReachesSlave();
    void tcpSendFails_data();
    void tcpSendFails();
    void badSerialPortReopensDialog();
    void newConnectionStopsSequence();
    void noDescriptorLeaks_data();
    void noDescriptorLeaks();

private:
    // Sockets of the window still connected to a peer.
    static int connectedSockets(const MainWindow *window);
};

void TestConnection::init()
{
    fillPollDefaults();
    Sequence.clear();
}

int TestConnection::connectedSockets(const MainWindow *window)
{
    int count = 0;
    for (QTcpSocket *socket : window->findChildren<QTcpSocket *>())
        count += socket->state() == QAbstractSocket::ConnectedState;
    return count;
}

void TestConnection::tcpRequestReachesSlave_data()
{
    QTest::addColumn<bool>("connectOnce");
    QTest::addColumn<QString>("status");
    QTest::newRow("connect once") << true << "Connected";
    QTest::newRow("per poll") << false << "Ready";
}

void TestConnection::tcpRequestReachesSlave()
{
    QFETCH(bool, connectOnce);
    QFETCH(QString, status);

    SlaveProcess slave;
    QVERIFY2(slave.startTcp(), qPrintable(slave.errorString()));
    WindowDriver driver;
    QVERIFY(driver.connectTcp(slave.port(), connectOnce));
    QCOMPARE(driver.text("footer2"), QString("127.0.0.1/%1 %2").arg(slave.port()).arg(status));
    QCOMPARE(Connection.connectOnce, connectOnce);
    QVERIFY(QFile::exists(QDir::homePath() + "/.quarvel/pollwright-settings.xml"));

    for (int poll = 1; poll <= 3; ++poll) {
        driver.click("singlepoll");
        QTRY_COMPARE(driver.count("numofvalid"), poll);
        // Per poll, no socket stays open between polls.
        QCOMPARE(connectedSockets(driver.window()), connectOnce ? 1 : 0);
    }
    QCOMPARE(driver.count("numofpolls"), 3);
    QCOMPARE(driver.count("numoferror"), 0);
    const QVector<LoggedRequest> requests = slave.requests();
    QCOMPARE(requests.size(), 3);
    for (const LoggedRequest &request : requests)
        QCOMPARE(request.bytes.toHex(' '), QByteArray("00 01 00 00 00 06 01 03 00 01 00 01"));
}

void TestConnection::serialRequestReachesSlave_data()
{
    QTest::addColumn<bool>("connectOnce");
    QTest::newRow("connect once") << true;
    QTest::newRow("per poll") << false;
}

void TestConnection::serialRequestReachesSlave()
{
    QFETCH(bool, connectOnce);
    if (!PtyPair::missingSocat().isEmpty())
        QSKIP(qPrintable(PtyPair::missingSocat()));
    PtyPair pty;
    QVERIFY2(pty.start(), qPrintable(pty.errorString()));
    SlaveProcess slave;
    QVERIFY2(slave.startRtu(pty.slaveSide()), qPrintable(slave.errorString()));

    WindowDriver driver;
    PollStore[0].startaddr = "7";
    PollStore[0].val1 = "2";
    QVERIFY(driver.connectSerial(pty.masterSide(), connectOnce));
    if (serialinfo *again = driver.waitForDialog(100))
        QFAIL(qPrintable(again->findChild<QLabel *>("statusmessage")->text()));
    QCOMPARE(driver.text("footer2"), "Connected to " + pty.masterSide());

    driver.click("singlepoll");
    QTRY_COMPARE(driver.count("numofvalid"), 1);
    driver.click("singlepoll");
    QTRY_COMPARE(driver.count("numofvalid"), 2);
    const QVector<LoggedRequest> requests = slave.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(0).bytes.toHex(' '), QByteArray("01 03 00 07 00 02 75 ca"));
    // Holding registers 7 and 8 hold 7 and 8.
    QCOMPARE(driver.window()->pollResponse(1).toHex(' '), QByteArray("00 07 00 08"));
}

// Nothing listens, or nothing answers: each send waits about a second for
// the connection, then counts an error.
void TestConnection::tcpSendFails_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("connectOnce");
    QTest::newRow("nothing listening") << "127.0.0.1" << true;
    QTest::newRow("host that does not answer") << "192.0.2.1" << false;
    // Typed nonsense is stored as typed; it fails only when a poll is sent.
    QTest::newRow("address that is no address") << "not an address!" << true;
}

void TestConnection::tcpSendFails()
{
    QFETCH(QString, address);
    QFETCH(bool, connectOnce);

    // A port that was free a moment ago.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();

    WindowDriver driver;
    QVERIFY(driver.connectTcp(port, connectOnce, address));
    QVERIFY(driver.text("footer2").startsWith(QString("%1/%2 ").arg(address).arg(port)));

    QElapsedTimer timer;
    timer.start();
    driver.click("singlepoll");
    QTRY_COMPARE(driver.count("numoferror"), 1);
    const qint64 waited = timer.elapsed();
    QVERIFY2(waited >= 900, qPrintable(QString::number(waited)));
    QCOMPARE(driver.count("numofpolls"), 1);
    QCOMPARE(driver.count("numofvalid"), 0);
    QVERIFY(driver.log().contains(") Response:Couldn't connect to port to send message.\n"));
    QVERIFY(driver.widget("singlepoll")->isEnabled());
}

void TestConnection::badSerialPortReopensDialog()
{
    WindowDriver driver;
    QVERIFY(driver.connectSerial("/dev/pollwright-no-such-port", true));
    // The failure reopens the dialog with the port's own error text.
    serialinfo *dialog = driver.waitForDialog();
    QVERIFY(dialog);
    const QString message = dialog->findChild<QLabel *>("statusmessage")->text();
    QVERIFY2(message.startsWith("Couldn't connect to port /dev/pollwright-no-such-port - "),
             qPrintable(message));
    QVERIFY(message.size() > QString("Couldn't connect to port /dev/pollwright-no-such-port - ").size());
    QCOMPARE(driver.text("footer2"), QString());
}

void TestConnection::newConnectionStopsSequence()
{
    SlaveProcess slave;
    QVERIFY2(slave.startTcp(), qPrintable(slave.errorString()));
    Sequence = {1, 2};
    WindowDriver driver;
    QVERIFY(driver.connectTcp(slave.port(), true));
    driver.widget<QDoubleSpinBox>("timebetweenpolls")->setValue(0.01);
    driver.click("sequencetoggle");
    driver.click("gobutton");
    QTRY_VERIFY(driver.count("numofvalid") >= 3);

    driver.window()->findChild<QAction *>("actionMenu")->trigger();
    const int sent = slave.requests().size();
    QVERIFY(driver.waitForDialog());
    QCOMPARE(driver.text("footer2"), QString());
    // Nothing more goes out while the dialog is open: both timers stopped.
    QTest::qWait(200);
    QCOMPARE(slave.requests().size(), sent);
    QVERIFY(driver.count("numofpolls") - driver.count("numofvalid") - driver.count("numoferror") <= 1);
    serialinfo *dialog = driver.waitForDialog();
    QCOMPARE(dialog->findChild<QLabel *>("statusmessage")->text(),
             QString("Disconnected from Ethernet Port 127.0.0.1"));
}

// Connecting and disconnecting over and over leaves no descriptor behind.
void TestConnection::noDescriptorLeaks_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<int>("cycles");
    QTest::newRow("tcp") << false << 300;
    QTest::newRow("rtu") << true << 200;
}

void TestConnection::noDescriptorLeaks()
{
    QFETCH(bool, serial);
    QFETCH(int, cycles);
    if (serial && !PtyPair::missingSocat().isEmpty())
        QSKIP(qPrintable(PtyPair::missingSocat()));

    PtyPair pty;
    SlaveProcess slave;
    if (serial) {
        QVERIFY2(pty.start(), qPrintable(pty.errorString()));
        QVERIFY2(slave.startRtu(pty.slaveSide()), qPrintable(slave.errorString()));
    } else {
        QVERIFY2(slave.startTcp(), qPrintable(slave.errorString()));
    }
    WindowDriver driver;
    auto connectOnce = [&] {
        return serial ? driver.connectSerial(pty.masterSide(), true) : driver.connectTcp(slave.port(), true);
    };
    QVERIFY(connectOnce());
    driver.click("singlepoll");
    QTRY_COMPARE(driver.count("numofvalid"), 1);

    QAction *newConnection = driver.window()->findChild<QAction *>("actionMenu");
    newConnection->trigger();
    QVERIFY(connectOnce());
    const int before = openDescriptors();
    for (int i = 0; i < cycles; ++i) {
        newConnection->trigger();
        QVERIFY(connectOnce());
    }
    driver.click("singlepoll");
    QTRY_COMPARE(driver.count("numofvalid"), 2);
    // A leak grows with the cycles; one fewer is a descriptor of an earlier
    // test that Qt closed meanwhile.
    const int after = openDescriptors();
    QVERIFY2(after <= before, qPrintable(QString("%1 descriptors before, %2 after").arg(before).arg(after)));
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
