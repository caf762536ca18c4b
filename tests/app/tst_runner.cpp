// pollwright-run end to end: its values against the slave's tables worked out
// by hand, its frames against the window's for the same poll file, and the
// exit status and messages of runs good and bad.
#include "windowdriver.h"

#include "storage/settingsfile.h"
#include "support/ptypair.h"
#include "support/slaveprocess.h"

#include <QTcpServer>
#include <QtTest>
#include <QtWidgets>

#include <csignal>

namespace {

const QString Dir = QStringLiteral(POLLWRIGHT_RUNNER_DATA);
const QString Polls = Dir + QStringLiteral("/polls.xml");

// The data lines of a fixture, split at tabs; '#' starts a comment line.
QList<QStringList> rows(const QString &name)
{
    QFile file(Dir + QLatin1Char('/') + name);
    file.open(QIODevice::ReadOnly | QIODevice::Text);
    QList<QStringList> lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            lines.append(line.split(QLatin1Char('\t')));
    return lines;
}

struct Run
{
    int exit = -1;
    QByteArray out, err;
};

// With meanwhile: that runs once the first row is out, then Ctrl-C.
Run runner(const QStringList &arguments, const std::function<void()> &meanwhile = {})
{
    QProcess process;
    process.start(QStringLiteral(POLLWRIGHT_RUN_PROGRAM), arguments);
    process.waitForStarted();
    if (meanwhile) {
        // After the first row the signal handler is in place.
        process.waitForReadyRead(10000);
        meanwhile();
        ::kill(pid_t(process.processId()), SIGINT);
    }
    if (!process.waitForFinished(30000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QStringList slaveArguments()
{
    return rows(QStringLiteral("expected.tsv")).first().mid(1);
}

QList<QByteArray> loggedFrames(const SlaveProcess &slave)
{
    QList<QByteArray> frames;
    for (const LoggedRequest &request : slave.requests())
        frames.append(request.bytes.toHex(' ').toUpper());
    return frames;
}

} // namespace

class TestRunner : public QObject
{
    Q_OBJECT

private slots:
    void endToEnd_data();
    void endToEnd();
    void exitStatus_data();
    void exitStatus();
    void interrupt();
    void vanishedDevice();
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
    PtyPair cable;
    if (serial && !PtyPair::missingSocat().isEmpty())
        QSKIP(qPrintable(PtyPair::missingSocat()));
    SlaveProcess slave;
    QVERIFY(serial ? cable.start() && slave.startRtu(cable.slaveSide(), slaveArguments())
                   : slave.startTcp(slaveArguments()));
    const QStringList line = serial ? QStringList{"--rtu", cable.masterSide(), "--baud", "19200"}
                                    : QStringList{"--tcp", "127.0.0.1:" + QString::number(slave.port())};

    const Run run = runner(QStringList{Polls, "--json"} + line);
    QCOMPARE(run.exit, 0);
    QVERIFY(run.err.endsWith("polls 20, valid 20, errors 0\n"));
    const QList<QByteArray> results = run.out.trimmed().split('\n');
    QCOMPARE(results.size(), 20);
    const QList<QByteArray> frames = loggedFrames(slave);
    for (const QStringList &expected : rows(QStringLiteral("expected.tsv"))) {
        if (expected.first() == QLatin1String("dump")) {
            const SlaveTables tables = slave.dump();
            const int address = expected.at(2).toInt();
            QString actual;
            for (int i = 0; actual.size() < expected.at(3).size(); ++i)
                actual += expected.at(1) == QLatin1String("coil")
                              ? QString::number(tables.coil(address + i))
                              : (i ? QStringLiteral(" ") : QString())
                                    + QString::number(tables.holding(address + i), 16)
                                          .rightJustified(4, '0')
                                          .toUpper();
            QCOMPARE(actual, expected.at(3));
            continue;
        }
        bool isPoll = false;
        const int poll = expected.first().toInt(&isPoll);
        if (!isPoll)
            continue;
        const QJsonObject result = QJsonDocument::fromJson(results.value(poll - 1)).object();
        QCOMPARE(result.value("poll").toInt(), poll);
        QVERIFY(result.value("ok").toBool());
        QCOMPARE(result.value("sent").toString().toLatin1(), frames.value(poll - 1));
        QStringList items;
        for (const QJsonValue item : result.value("items").toArray())
            items << QString::number(item["address"].toVariant().toLongLong()) + '='
                         + item["value"].toString();
        QCOMPARE(items.join('|'), expected.at(1));
    }

    // The dry run frames what the slave received, and opens nothing.
    const Run dry = runner(QStringList{Polls, "--dry-run"} + line);
    QCOMPARE(dry.exit, 0);
    QStringList dryFrames = QString::fromLatin1(dry.out).trimmed().split('\n');
    for (QString &frame : dryFrames)
        frame = frame.section(": ", 1);
    QCOMPARE(dryFrames.join('\n').toLatin1(), frames.join('\n'));
    QCOMPARE(loggedFrames(slave).size(), 20);

    // The window, on the same file through its recent list, sends the same
    // bytes (to a fresh slave: only one may serve the serial line).
    QVERIFY(slave.stop());
    SlaveProcess windowSlave;
    QVERIFY(serial ? windowSlave.startRtu(cable.slaveSide(), slaveArguments())
                   : windowSlave.startTcp(slaveArguments()));
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
    QVERIFY(pumpUntil([&] { return driver.count("numofvalid") >= 20; }, 20000));
    driver.click("stopbutton");
    QCOMPARE(loggedFrames(windowSlave).mid(0, 20), frames);
}

void TestRunner::exitStatus_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("error");
    for (const QStringList &row : rows(QStringLiteral("cases.tsv")))
        QTest::newRow(qPrintable(row.at(0))) << row.at(1) << row.at(2).toInt() << row.at(3);
}

void TestRunner::exitStatus()
{
    QFETCH(QString, arguments);
    QFETCH(int, exit);
    QFETCH(QString, error);
    SlaveProcess slave, silent;
    QVERIFY(slave.startTcp());
    QVERIFY(silent.startTcp({"--silent"}));
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString closedPort = QString::number(closed.serverPort());
    closed.close();
    const auto fill = [&](QString text) {
        return text.replace("{polls}", Polls)
            .replace("{tcp}", "127.0.0.1:" + QString::number(slave.port()))
            .replace("{silent}", "127.0.0.1:" + QString::number(silent.port()))
            .replace("{closed}", "127.0.0.1:" + closedPort)
            .replace("{dir}", Dir);
    };
    const Run run = runner(fill(arguments).split(' '));
    QCOMPARE(run.exit, exit);
    QVERIFY2(run.err.contains(fill(error).toUtf8()), run.err.constData());
    // Only a run that reached a slave prints rows; a failed poll prints an ERROR row.
    QCOMPARE(run.out.contains("ERROR"), exit == 1 && !arguments.contains("--rtu"));
}

// Ctrl-C ends an endless run after the poll in flight, with the summary.
void TestRunner::interrupt()
{
    SlaveProcess slave;
    QVERIFY(slave.startTcp());
    const Run run = runner({Polls, "--tcp", "127.0.0.1:" + QString::number(slave.port()), "--passes", "0",
                            "--csv", "--polls", "1,4"},
                           [] { QTest::qWait(500); });
    QCOMPARE(run.exit, 0);
    const QRegularExpressionMatch summary =
        QRegularExpression("^polls (\\d+), valid (\\d+), errors 0\n$").match(QString::fromLatin1(run.err));
    QVERIFY2(summary.hasMatch(), run.err.constData());
    QCOMPARE(summary.captured(1), summary.captured(2));
    QCOMPARE(loggedFrames(slave).size(), summary.captured(1).toInt());
    // A header, then 4 rows for poll 1 and 10 for poll 4, whole.
    const int polls = summary.captured(1).toInt();
    QCOMPARE(run.out.count('\n'), 1 + 4 * ((polls + 1) / 2) + 10 * (polls / 2));
}

// A serial device that goes away fails the poll in flight at its time-out,
// then each poll as the port does not open again; Ctrl-C still ends it.
void TestRunner::vanishedDevice()
{
    if (!PtyPair::missingSocat().isEmpty())
        QSKIP(qPrintable(PtyPair::missingSocat()));
    auto cable = std::make_unique<PtyPair>();
    SlaveProcess slave;
    QVERIFY(cable->start() && slave.startRtu(cable->slaveSide()));
    const Run run = runner({Polls, "--rtu", cable->masterSide(), "--passes", "0", "--timeout", "300"}, [&] {
        cable.reset();
        QTest::qWait(2500);
    });
    QCOMPARE(run.exit, 1);
    QVERIFY2(run.err.contains("Error: Couldn't connect to serial port."), run.err.right(400).constData());
    QVERIFY(QString::fromUtf8(run.err).contains(
        QRegularExpression("polls \\d+, valid \\d+, errors [1-9]\\d*\n$")));
}

QTEST_MAIN(TestRunner)
#include "tst_runner.moc"
