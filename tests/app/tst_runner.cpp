// pollwright-run end to end: its values against the slave's tables worked out
// by hand, its frames against the window's for the same poll file, and the
// exit status and messages of runs good and bad.
#include "windowdriver.h"

#include "storage/settingsfile.h"
#include "support/ptypair.h"
#include "support/rows.h"
#include "support/slaveprocess.h"

#include <QTcpServer>
#include <QtWidgets>

#include <csignal>

namespace {

const QString Polls = dataPath("runner/polls.xml");

struct Run
{
    int exit = -1;
    QByteArray out, err;
};

// With meanwhile: that runs once the first row is out (the signal handler is
// in place by then), then Ctrl-C.
Run runner(const QStringList &arguments, const std::function<void()> &meanwhile = {})
{
    QProcess process;
    process.start(QStringLiteral(POLLWRIGHT_RUN_PROGRAM), arguments);
    if (process.waitForStarted() && meanwhile && process.waitForReadyRead(10000)) {
        meanwhile();
        ::kill(pid_t(process.processId()), SIGINT);
    }
    if (!process.waitForFinished(30000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

// expected.tsv: the slave's arguments, then per poll its items as address=value.
QMap<QString, QString> expectedLines()
{
    QFile file(dataPath("runner/expected.tsv"));
    file.open(QIODevice::ReadOnly);
    QMap<QString, QString> lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts))
        if (!line.startsWith('#'))
            lines.insert(line.section('\t', 0, 0), line.section('\t', 1));
    return lines;
}

QList<QByteArray> loggedFrames(const SlaveProcess &slave)
{
    QList<QByteArray> frames;
    for (const LoggedRequest &request : slave.requests())
        frames.append(request.bytes.toHex(' ').toUpper());
    return frames;
}

QString summary(const Run &run)
{
    return QString::fromUtf8(run.err).section('\n', -2, -2);
}

} // namespace

class TestRunner : public QObject
{
    Q_OBJECT

private slots:
    void endToEnd_data();
    void endToEnd();
    void exitStatus_data() { addRows("runner/cases.tsv"); }
    void exitStatus();
    void interrupt();
};

void TestRunner::endToEnd_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("tcp") << false;
    QTest::newRow("rtu") << true;
}

void TestRunner::endToEnd()
{
    QFETCH(bool, serial);
    if (serial && !PtyPair::missingSocat().isEmpty())
        QSKIP(qPrintable(PtyPair::missingSocat()));
    const QMap<QString, QString> expected = expectedLines();
    const QStringList slaveArguments = expected.value("slave").split('\t');
    PtyPair cable;
    SlaveProcess slave;
    QVERIFY(serial ? cable.start() && slave.startRtu(cable.slaveSide(), slaveArguments)
                   : slave.startTcp(slaveArguments));
    const QStringList line = serial ? QStringList{"--rtu", cable.masterSide(), "--baud", "19200"}
                                    : QStringList{"--tcp", "127.0.0.1:" + QString::number(slave.port())};

    const Run run = runner(QStringList{Polls, "--json"} + line);
    QCOMPARE(run.exit, 0);
    QCOMPARE(summary(run), "polls 24, valid 24, errors 0");
    const QList<QByteArray> frames = loggedFrames(slave);
    QCOMPARE(frames.size(), 24);
    int poll = 0;
    for (const QByteArray &line : run.out.trimmed().split('\n')) {
        const QJsonObject result = QJsonDocument::fromJson(line).object();
        QCOMPARE(result.value("poll").toInt(), ++poll);
        QVERIFY(result.value("ok").toBool());
        QCOMPARE(result.value("sent").toString().toLatin1(), frames.value(poll - 1));
        QStringList items;
        for (const QJsonValue item : result.value("items").toArray())
            items << QString::number(item["address"].toVariant().toLongLong()) + '='
                         + item["value"].toString();
        QCOMPARE(items.join('|'), expected.value(QString::number(poll)));
    }

    // The dry run frames what the slave received, and opens nothing.
    const Run dry = runner(QStringList{Polls, "--dry-run"} + line);
    QByteArray framed;
    for (int i = 0; i < frames.size(); ++i)
        framed += "Poll " + QByteArray::number(i + 1) + ": " + frames.at(i) + '\n';
    QCOMPARE(dry.out, framed);
    QCOMPARE(loggedFrames(slave).size(), 24);

    // The window, on the same file through its recent list, sends the same
    // bytes (to a fresh slave: only one may serve the serial line).
    QVERIFY(slave.stop());
    SlaveProcess windowSlave;
    QVERIFY(serial ? windowSlave.startRtu(cable.slaveSide(), slaveArguments)
                   : windowSlave.startTcp(slaveArguments));
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    recentFiles = QStringList{Polls, "", "", "", ""};
    saveSettings();
    WindowDriver driver(home.path());
    QVERIFY(serial ? driver.connectSerial(cable.masterSide(), true)
                   : driver.connectTcp(windowSlave.port(), true));
    driver.window()->findChild<QAction *>("actionRecent1")->trigger();
    driver.widget<QDoubleSpinBox>("timebetweenpolls")->setValue(0);
    driver.click("sequencetoggle");
    driver.click("gobutton");
    QVERIFY(pumpUntil([&] { return driver.count("numofvalid") >= 24; }, 20000));
    driver.click("stopbutton");
    QCOMPARE(loggedFrames(windowSlave).mid(0, 24), frames);
}

void TestRunner::exitStatus()
{
    SlaveProcess slave, silent;
    QVERIFY(slave.startTcp() && silent.startTcp({"--silent"}));
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString closedPort = QString::number(closed.serverPort());
    closed.close();
    const auto fill = [&](QString text) {
        return text.replace("{polls}", Polls)
            .replace("{tcp}", "127.0.0.1:" + QString::number(slave.port()))
            .replace("{silent}", "127.0.0.1:" + QString::number(silent.port()))
            .replace("{closed}", "127.0.0.1:" + closedPort)
            .replace("{dir}", dataPath("runner"));
    };
    const Run run = runner(fill(cell("arguments")).split(' '));
    QCOMPARE(run.exit, cell("exit").toInt());
    QVERIFY2(run.err.contains(fill(cell("error")).toUtf8()), run.err.constData());
    // Only a run that reached a slave prints rows; a failed poll prints an ERROR row.
    QCOMPARE(run.out.contains("ERROR"), run.exit == 1 && !cell("arguments").contains("--rtu"));
}

// Ctrl-C ends an endless run after the poll in flight, with the summary; a
// serial device that goes away fails the poll in flight at its time-out and
// each later one as it does not open again, and Ctrl-C still ends the run.
void TestRunner::interrupt()
{
    SlaveProcess slave;
    QVERIFY(slave.startTcp());
    Run run = runner({Polls, "--tcp", "127.0.0.1:" + QString::number(slave.port()), "--passes", "0", "--csv",
                      "--polls", "1,4"},
                     [] { QTest::qWait(500); });
    QCOMPARE(run.exit, 0);
    const QRegularExpressionMatch counts =
        QRegularExpression("^polls (\\d+), valid \\1, errors 0$").match(summary(run));
    QVERIFY2(counts.hasMatch(), run.err.constData());
    const int polls = counts.captured(1).toInt();
    QCOMPARE(loggedFrames(slave).size(), polls);
    // A header, then 4 rows for poll 1 and 10 for poll 4, whole.
    QCOMPARE(run.out.count('\n'), 1 + 4 * ((polls + 1) / 2) + 10 * (polls / 2));

    if (!PtyPair::missingSocat().isEmpty())
        QSKIP(qPrintable(PtyPair::missingSocat()));
    auto cable = std::make_unique<PtyPair>();
    SlaveProcess serialSlave;
    QVERIFY(cable->start() && serialSlave.startRtu(cable->slaveSide()));
    run = runner({Polls, "--rtu", cable->masterSide(), "--passes", "0", "--timeout", "300"}, [&] {
        cable.reset();
        QTest::qWait(2500);
    });
    QCOMPARE(run.exit, 1);
    QVERIFY2(run.err.contains("Error: Couldn't connect to serial port."), run.err.right(400).constData());
    QVERIFY(summary(run).contains(QRegularExpression("^polls \\d+, valid \\d+, errors [1-9]")));
}

QTEST_MAIN(TestRunner)
#include "tst_runner.moc"
