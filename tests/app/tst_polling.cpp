// The real window polling the test slave over TCP and RTU (a socat pty pair):
// every function code, the sequence engine's order and pauses, STOP, the
// message log, the report file and the replies of a misbehaving slave.
#include "modbus/connectionsettings.h"
#include "support/ptypair.h"
#include "support/slaveprocess.h"
#include "windowdriver.h"

#include <QtTest>
#include <QtWidgets>

// Fails the test when the condition does not come true in time.
#define WAIT_FOR(condition, timeoutMs)                                                                       \
    QVERIFY2(pumpUntil([&] { return bool(condition); }, timeoutMs), "no " #condition)

#define SKIP_WITHOUT_SOCAT(serial)                                                                           \
    do {                                                                                                     \
        if ((serial) && !PtyPair::missingSocat().isEmpty())                                                  \
            QSKIP(qPrintable(PtyPair::missingSocat()));                                                      \
    } while (false)

Q_DECLARE_METATYPE(Poll)

namespace {

const QString SlashLine(74, QLatin1Char('/'));
const QStringList PassStart{"NEXT:P3", "P5", "P7", "", "", "", "", "", "", ""};

// One slave for one case: over TCP, or over RTU behind its own pty pair.
struct Rig
{
    PtyPair pty; // outlives the slave
    SlaveProcess slave;
    bool serial = false;
    QString error;

    bool start(bool serialLine, const QStringList &args)
    {
        serial = serialLine;
        if (serial && !pty.start())
            return error = pty.errorString(), false;
        if (!(serial ? slave.startRtu(pty.slaveSide(), args) : slave.startTcp(args)))
            return error = slave.errorString(), false;
        return true;
    }
    bool connect(WindowDriver &driver, bool connectOnce = true) const
    {
        if (!serial)
            return driver.connectTcp(slave.port(), connectOnce);
        // A failed open reopens the dialog instead of filling the status line.
        return driver.connectSerial(pty.masterSide(), connectOnce)
               && driver.text("footer2") == "Connected to " + pty.masterSide();
    }
    // The request as it must reach the slave: behind the MBAP header, or followed by its CRC.
    QByteArray frame(const QByteArray &pdu, const QByteArray &crc = {}) const
    {
        return serial ? pdu + crc : QByteArray::fromHex("00010000") + char(0) + char(pdu.size()) + pdu;
    }
};

// Polls without an outcome: one awaiting its reply, or one whose reply STOP dropped.
int outstanding(const WindowDriver &driver)
{
    return driver.count("numofpolls") - driver.count("numofvalid") - driver.count("numoferror");
}

// The clock times of the message log entries with this marker, newest first.
QList<QTime> entryTimes(const QString &log, const QString &marker)
{
    QList<QTime> times;
    QRegularExpressionMatchIterator it =
        QRegularExpression("\\(([0-9:.]+)\\) " + QRegularExpression::escape(marker)).globalMatch(log);
    while (it.hasNext()) {
        const QString text = it.next().captured(1);
        times.append(QTime::fromString(text, text.size() > 8 ? "hh:mm:ss.zzz" : "hh:mm:ss"));
    }
    return times;
}

// A pause of so many 1 ms timer ticks, as the slave's request log shows it.
// Ticks run late under load (about 1.1 ms each measured here), never early.
bool pauseFits(qint64 gapMs, int ticks)
{
    return gapMs >= ticks - 20 && gapMs <= ticks + ticks / 4 + 250;
}

// The lines of today's report file in the folder.
QStringList reportLines(const QString &folder)
{
    QFile file(folder + '/' + QDate::currentDate().toString(Qt::TextDate) + ".txt");
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

void runSequence(const WindowDriver &driver, double pollTime, double repeat)
{
    driver.widget<QDoubleSpinBox>("timebetweenpolls")->setValue(pollTime);
    driver.widget<QDoubleSpinBox>("repeatspin")->setValue(repeat);
    driver.click("sequencetoggle");
    driver.click("gobutton");
}

QStringList queueLabels(const WindowDriver &driver)
{
    QStringList texts{driver.text("nextpoll")};
    for (int i = 1; i <= 9; ++i)
        texts << driver.text(qPrintable(QString("pollqueue%1").arg(i)));
    return texts;
}

// Poll n reads the one holding register at 10 n, so its requests stand out.
QByteArray readAtTenTimes(int n)
{
    return QByteArray::fromHex("0103") + char(0) + char(10 * n) + QByteArray::fromHex("0001");
}

} // namespace

class TestPolling : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyFunction_data();
    void everyFunction();
    void messageLogOfOnePoll();
    void sequenceOrderAndPauses();
    void stopResetsAndDropsReply();
    void silentSlave_data();
    void silentSlave();
    void misbehavingSlave_data();
    void misbehavingSlave();
    void closedConnection_data();
    void closedConnection();
};

void TestPolling::init()
{
    fillPollDefaults();
    Sequence.clear();
}

void TestPolling::everyFunction_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<QByteArray>("crc");
    QTest::addColumn<QByteArray>("data");

    struct Row
    {
        const char *function, *start, *count;
        QStringList writes;
        const char *pdu, *crc, *data;
    };
    // Coil i is set when i % 3 == 0, discrete input i when i is odd, holding
    // register i holds i and input register i holds 0x1000 + i.
    const Row rows[] = {
        {"1", "3", "10", {}, "01010003000a", "4c0d", "4902"},
        {"2", "4", "9", {}, "010200040009", "f9cd", "aa00"},
        {"3", "7", "2", {}, "010300070002", "75ca", "00070008"},
        {"4", "5", "3", {}, "010400050003", "a00a", "100510061007"},
        {"5", "8", "1", {"1"}, "01050008ff00", "0df8", ""},
        {"6", "9", "1", {"4660"}, "010600091234", "54bf", ""},
        {"15", "10", "1", {"1", "0", "1"}, "010f000a00030105", "d755", ""},
        {"16", "11", "2", {"258", "772"}, "0110000b00020401020304", "1313", ""},
    };
    fillPollDefaults();
    for (const bool serial : {false, true}) {
        for (const Row &row : rows) {
            Poll poll = PollStore[0];
            poll.function = row.function;
            poll.startaddr = row.start;
            poll.val1 = row.count;
            poll.write = row.writes.isEmpty() ? poll.write : row.writes;
            QTest::addRow("%s function %s", serial ? "rtu" : "tcp", row.function)
                << serial << poll << QByteArray::fromHex(row.pdu) << QByteArray::fromHex(row.crc)
                << QByteArray::fromHex(row.data);
        }
    }
}

void TestPolling::everyFunction()
{
    QFETCH(bool, serial);
    QFETCH(Poll, poll);
    QFETCH(QByteArray, pdu);
    QFETCH(QByteArray, crc);
    QFETCH(QByteArray, data);
    SKIP_WITHOUT_SOCAT(serial);

    Rig rig;
    QVERIFY2(rig.start(serial, {}), qPrintable(rig.error));
    WindowDriver driver;
    QVERIFY(rig.connect(driver));
    PollStore[0] = poll;

    driver.click("singlepoll");
    WAIT_FOR(driver.count("numofvalid") == 1, 3000);
    QCOMPARE(driver.count("numofpolls"), 1);
    QCOMPARE(driver.count("numoferror"), 0);
    const QVector<LoggedRequest> requests = rig.slave.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.at(0).bytes.toHex(' '), rig.frame(pdu, crc).toHex(' '));
    QCOMPARE(driver.window()->pollResponse(1).toHex(' '), data.toHex(' '));
    QVERIFY(driver.widget("singlepoll")->isEnabled());
}

void TestPolling::messageLogOfOnePoll()
{
    SKIP_WITHOUT_SOCAT(true);
    Rig rig;
    QVERIFY2(rig.start(true, {"--holding", "1=002A"}), qPrintable(rig.error));
    WindowDriver driver;
    QVERIFY(rig.connect(driver));

    driver.click("singlepoll");
    WAIT_FOR(driver.count("numofvalid") == 1, 3000);
    QCOMPARE(outstanding(driver), 0);
    const QStringList lines = driver.log().split('\n');
    QCOMPARE(lines.size(), 4); // three lines, each ending in a line break
    QCOMPARE(lines.at(0), QString(34, '-') + "Poll:1" + QString(50, '-'));
    const QString stamp = "^\\(\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\) ";
    QVERIFY2(lines.at(1).contains(QRegularExpression(stamp + "Response: 01 03 02 00 2A 39 9B$")),
             qPrintable(lines.at(1)));
    QVERIFY2(lines.at(2).contains(QRegularExpression(stamp + "Sent: 01 03 00 01 00 01 D5 CA $")),
             qPrintable(lines.at(2)));
    QCOMPARE(lines.at(3), QString());
    QCOMPARE(driver.window()->pollResponse(1).toHex(' '), QByteArray("00 2a"));
}

// Polls 3, 5 and 7 with a pause of 0.5 s, and 2.0 s more after each pass.
void TestPolling::sequenceOrderAndPauses()
{
    Sequence = {3, 5, 7};
    Rig rig;
    QVERIFY2(rig.start(false, {}), qPrintable(rig.error));
    WindowDriver driver;
    QVERIFY(rig.connect(driver));
    for (const int n : Sequence)
        PollStore[n - 1].startaddr = QString::number(10 * n);

    QCOMPARE(queueLabels(driver), PassStart);
    const qint64 goTime = QDateTime::currentMSecsSinceEpoch();
    runSequence(driver, 0.5, 2.0);
    const QStringList upcoming[] = {PassStart,
                                    {"NEXT:P5", "P7", "P3", "", "", "", "", "", "", ""},
                                    {"NEXT:P7", "P3", "P5", "", "", "", "", "", "", ""}};
    for (int sent = 1; sent <= 4; ++sent) {
        WAIT_FOR(driver.count("numofpolls") >= sent, 5000);
        // Read with the counter: the labels show what follows the last send.
        QCOMPARE(queueLabels(driver), upcoming[driver.count("numofpolls") % 3]);
    }
    WAIT_FOR(driver.count("numofvalid") >= 4, 2000);
    driver.click("stopbutton");
    QCOMPARE(outstanding(driver), 0);
    QCOMPARE(driver.count("numoferror"), 0);

    const QVector<LoggedRequest> requests = rig.slave.requests();
    QCOMPARE(requests.size(), 4);
    const int order[] = {3, 5, 7, 3};
    const int pause[] = {500, 500, 500, 2500}; // from GO, then between sends
    qint64 previous = goTime;
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(requests.at(i).bytes, rig.frame(readAtTenTimes(order[i])));
        const qint64 gap = requests.at(i).timeMs - previous;
        QVERIFY2(pauseFits(gap, pause[i]), qPrintable(QString("send %1: %2 ms").arg(i).arg(gap)));
        previous = requests.at(i).timeMs;
    }
    for (const int n : {3, 5, 7})
        QCOMPARE(driver.window()->pollResponse(n), QByteArray(1, 0) + char(10 * n));
}

void TestPolling::stopResetsAndDropsReply()
{
    Sequence = {3, 5, 7};
    Rig rig;
    QVERIFY2(rig.start(false, {"--delay", "800"}), qPrintable(rig.error));
    WindowDriver driver;
    QVERIFY(rig.connect(driver));
    for (const int n : Sequence)
        PollStore[n - 1].startaddr = QString::number(10 * n);
    auto *progress = driver.widget<QProgressBar>("progressBar");

    runSequence(driver, 0.5, 0);
    WAIT_FOR(rig.slave.requests().size() == 1, 3000);
    QCOMPARE(driver.text("nextpoll"), QString("NEXT:P5"));
    driver.click("stopbutton"); // the reply is 800 ms away
    QCOMPARE(queueLabels(driver), PassStart);
    QCOMPARE(progress->value(), 0);

    // Past both the late reply and the time-out it would otherwise run into.
    const qint64 sentAt = rig.slave.requests().at(0).timeMs;
    pumpUntil([] { return false; },
              int(qMax<qint64>(0, sentAt + 1800 - QDateTime::currentMSecsSinceEpoch())));
    QCOMPARE(driver.count("numofvalid"), 0);
    QCOMPARE(driver.count("numoferror"), 0);
    QCOMPARE(driver.count("numofpolls"), 1);
    QVERIFY2(!driver.log().contains("Response"), qPrintable(driver.log()));
    QCOMPARE(rig.slave.requests().size(), 1);

    // STOP during a countdown clears the bar, which moves on every tick: 1, 2, 3 ...
    QSignalSpy moves(progress, &QProgressBar::valueChanged);
    driver.click("gobutton");
    WAIT_FOR(progress->value() >= 100, 3000);
    QCOMPARE(moves.size(), progress->value());
    driver.click("stopbutton");
    QCOMPARE(progress->value(), 0);
    QCOMPARE(queueLabels(driver), PassStart);

    // The next GO starts again from poll 3.
    driver.click("gobutton");
    WAIT_FOR(rig.slave.requests().size() == 2, 3000);
    QCOMPARE(rig.slave.requests().at(1).bytes, rig.frame(readAtTenTimes(3)));
    WAIT_FOR(driver.count("numofvalid") == 1, 3000);
    driver.click("stopbutton");
    QCOMPARE(driver.count("numoferror"), 0);
    // The poll whose reply was dropped stays counted as sent only.
    QCOMPARE(outstanding(driver), 1);
}

// A slave that never answers: each poll fails after 1500 ticks, is logged and
// reported once, and the sequence goes on.
void TestPolling::silentSlave_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<bool>("writableReports");
    QTest::newRow("tcp") << false << true;
    QTest::newRow("rtu") << true << true;
    QTest::newRow("tcp, report folder not writable") << false << false;
}

void TestPolling::silentSlave()
{
    QFETCH(bool, serial);
    QFETCH(bool, writableReports);
    SKIP_WITHOUT_SOCAT(serial);

    Sequence = {1, 2};
    Rig rig;
    QVERIFY2(rig.start(serial, {"--silent"}), qPrintable(rig.error));
    WindowDriver driver;
    QVERIFY(rig.connect(driver));
    PollStore[1].startaddr = "2";
    QTemporaryDir reports;
    QString folder = reports.path();
    if (!writableReports) {
        QFile blocker(reports.filePath("plain-file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        folder = blocker.fileName() + "/reports";
    }
    Connection.loggingOn = true;
    Connection.logFolder = folder;

    runSequence(driver, 0.1, 0);
    WAIT_FOR(driver.count("numoferror") >= 2 && rig.slave.requests().size() >= 3, 8000);
    driver.click("stopbutton");
    const int errors = driver.count("numoferror");
    QCOMPARE(driver.count("numofvalid"), 0);
    QVERIFY2(outstanding(driver) == 0 || outstanding(driver) == 1, qPrintable(driver.text("numofpolls")));
    const QWidgetList windows = QApplication::topLevelWidgets(); // no message box, no dialog
    QCOMPARE(std::count_if(windows.begin(), windows.end(), [](QWidget *w) { return w->isVisible(); }), 1);

    const QVector<LoggedRequest> requests = rig.slave.requests();
    QCOMPARE(requests.size(), driver.count("numofpolls"));
    for (int i = 0; i < requests.size(); ++i) {
        QCOMPARE(requests.at(i).bytes.at(serial ? 3 : 9), char(i % 2 + 1)); // polls 1 and 2 take turns
        // 1500 ticks of waiting, then the 100 ticks of Poll Time.
        const qint64 gap = i ? requests.at(i).timeMs - requests.at(i - 1).timeMs : 0;
        QVERIFY2(i == 0 || pauseFits(gap, 1600), qPrintable(QString("gap %1: %2 ms").arg(i).arg(gap)));
    }
    const QList<QTime> errorTimes = entryTimes(driver.log(), "Response: error, 0 bytes have been recieved");
    QCOMPARE(errorTimes.size(), errors);
    QCOMPARE(entryTimes(driver.log(), "Response:").size(), errors);

    if (!writableReports) {
        QCOMPARE(QDir(reports.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), {"plain-file"});
        return;
    }
    const QStringList lines = reportLines(folder);
    QCOMPARE(lines.count(SlashLine), errors);
    QCOMPARE(lines.size(), 4 * errors);
    const QString port =
        serial ? "Port: " + rig.pty.masterSide() : QString("Ip: 127.0.0.1 / Port: %1").arg(rig.slave.port());
    for (int i = 0; i < errors; ++i) {
        const int poll = i % 2 + 1;
        QCOMPARE(lines.at(4 * i), QString("Poll %1 at %2 Error:  error, 0 bytes have been recieved.")
                                      .arg(poll)
                                      .arg(errorTimes.at(errors - 1 - i).toString("hh:mm:ss")));
        QCOMPARE(lines.at(4 * i + 1), QString("Slave: 1 / Function: 3 / Address: %1").arg(poll));
        QCOMPARE(lines.at(4 * i + 2), port);
    }
}

// Single polls of holding registers 7 and 8 (or 20, past a table of 10
// entries), with report logging on.
void TestPolling::misbehavingSlave_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("error");   // empty: valid; "?": either, the slave sends random bytes
    QTest::addColumn<QByteArray>("data"); // stored when valid
    QTest::addColumn<int>("minReplyMs");  // from the Sent to the Response entry

    const QByteArray registers = QByteArray::fromHex("00070008");
    // Pieces 900 ms apart: 1800 ms in all, more than a single wait allows.
    const QStringList split{"--split", "3", "--split-gap", "900"};
    const QStringList small{"--size", "10"}, garbage{"--garbage"}, extra{"--extra", "4"};
    QTest::newRow("tcp pieces") << false << split << "7" << QString() << registers << 1780;
    QTest::newRow("rtu pieces") << true << split << "7" << QString() << registers << 1780;
    // The exception code is taken for a byte count, so the reply looks short.
    QTest::newRow("tcp exception") << false << small << "20"
                                   << " error, 9 bytes have been recieved" << QByteArray() << 0;
    QTest::newRow("rtu garbage") << true << garbage << "7"
                                 << "?" << QByteArray() << 0;
    QTest::newRow("tcp extra bytes") << false << extra << "7" << QString() << registers + QByteArray(4, 0)
                                     << 0;
    // The last two bytes are dropped as if they were the CRC.
    QTest::newRow("rtu extra bytes") << true << extra << "7" << QString()
                                     << registers + QByteArray::fromHex("4a340000") << 0;
}

void TestPolling::misbehavingSlave()
{
    QFETCH(bool, serial);
    QFETCH(QStringList, args);
    QFETCH(QString, start);
    QFETCH(QString, error);
    QFETCH(QByteArray, data);
    QFETCH(int, minReplyMs);
    SKIP_WITHOUT_SOCAT(serial);

    Rig rig;
    QVERIFY2(rig.start(serial, args), qPrintable(rig.error));
    WindowDriver driver;
    QVERIFY(rig.connect(driver));
    PollStore[0].startaddr = start;
    PollStore[0].val1 = "2";
    QTemporaryDir reports;
    Connection.loggingOn = true;
    Connection.logFolder = reports.path();

    driver.click("singlepoll");
    WAIT_FOR(outstanding(driver) == 0, 5000);
    QCOMPARE(driver.count("numofpolls"), 1);
    QCOMPARE(rig.slave.requests().size(), 1);
    QVERIFY(driver.widget("singlepoll")->isEnabled());
    const QString log = driver.log();
    const QStringList report = reportLines(reports.path());
    QCOMPARE(report.count(SlashLine), driver.count("numoferror"));
    // Random bytes pass when their byte count happens to fit; otherwise the
    // poll times out holding all of them.
    if (error == "?")
        error = driver.count("numofvalid")
                    ? QString()
                    : QString(" error, %1 bytes have been recieved").arg(serial ? 9 : 13);

    if (error.isEmpty()) {
        QCOMPARE(driver.count("numofvalid"), 1);
        if (!data.isNull())
            QCOMPARE(driver.window()->pollResponse(1).toHex(' '), data.toHex(' '));
        const QTime sent = entryTimes(log, "Sent:").value(0),
                    response = entryTimes(log, "Response:").value(0);
        QVERIFY2(sent.msecsTo(response) >= minReplyMs, qPrintable(log));
    } else {
        QCOMPARE(driver.count("numoferror"), 1);
        QVERIFY2(log.contains(") Response:" + error + "\n"), qPrintable(log));
        QVERIFY2(report.value(0).endsWith(" Error: " + error + "."), qPrintable(report.value(0)));
        QVERIFY(driver.window()->pollResponse(1).isEmpty());
    }
}

// The slave closes the connection on every request: the poll waits on a
// closed socket until it times out, and the next send connects again.
void TestPolling::closedConnection_data()
{
    QTest::addColumn<bool>("connectOnce");
    QTest::newRow("connect once") << true;
    QTest::newRow("per poll") << false;
}

void TestPolling::closedConnection()
{
    QFETCH(bool, connectOnce);
    Rig rig;
    QVERIFY2(rig.start(false, {"--close"}), qPrintable(rig.error));
    WindowDriver driver;
    QVERIFY(rig.connect(driver, connectOnce));

    for (int poll = 1; poll <= 2; ++poll) {
        driver.click("singlepoll");
        WAIT_FOR(driver.count("numoferror") == poll, 5000);
        QCOMPARE(rig.slave.requests().size(), poll);
    }
    QCOMPARE(driver.count("numofpolls"), 2);
    QCOMPARE(driver.count("numofvalid"), 0);
    QCOMPARE(driver.log().count(") Response:Failed to connect to port\n"), 2);
    QVERIFY(!driver.log().contains("Couldn't connect"));
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
