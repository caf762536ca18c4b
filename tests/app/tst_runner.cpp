// pollwright-run end to end: its values against the slave's tables worked out
// by hand, its frames against those the slave logged, and the exit status and
// messages of runs good and bad.
#include "windowdriver.h"

#include "support/files.h"
#include "support/rows.h"

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

} // namespace

class TestRunner : public QObject
{
    Q_OBJECT

private slots:
    void endToEnd_data() { addRows("runner/lines.tsv"); }
    void endToEnd()
    {
        // expected.tsv: the slave's arguments, then per poll its items as address=value.
        const QString table = readBytes(dataPath("runner/expected.tsv"));
        QStringList expected = table.split('\n', Qt::SkipEmptyParts).filter(QRegularExpression("^[^#]"));
        const QStringList slaveArguments = expected.takeFirst().split('\t').mid(1);
        Rig rig;
        QVERIFY2(rig.start(cell("serial") == "1", slaveArguments), qPrintable(rig.error));
        const QStringList line = rig.serial
                                     ? QStringList{"--rtu", rig.pty.masterSide(), "--baud", "19200"}
                                     : QStringList{"--tcp", "127.0.0.1:" + QString::number(rig.slave.port())};

        const Run run = runner(QStringList{Polls, "--json"} + line);
        QStringList results;
        QString sent; // as the dry run shows it
        for (const QByteArray &row : run.out.trimmed().split('\n')) {
            const QJsonObject result = QJsonDocument::fromJson(row).object();
            const QString poll = QString::number(result.value("poll").toInt());
            sent += "Poll " + poll + ": " + result.value("sent").toString() + '\n';
            QStringList items;
            for (const QJsonValue item : result.value("items").toArray())
                items << QString::number(item["address"].toVariant().toLongLong()) + '='
                             + item["value"].toString();
            results << poll + '\t' + items.join('|');
        }
        QCOMPARE(results, expected);
        // What the slave received, in the order of the sequence 1 to 24.
        QString frames;
        for (const LoggedRequest &request : rig.slave.requests())
            frames += QString("Poll %1: %2\n")
                          .arg(frames.count('\n') + 1)
                          .arg(QString(request.bytes.toHex(' ').toUpper()));
        QCOMPARE(sent, frames);

        // The dry run frames the same, and opens nothing.
        QCOMPARE(QString(runner(QStringList{Polls, "--dry-run"} + line).out), frames);
        QCOMPARE(rig.slave.requests().size(), 24);
    }

    void exitStatus_data() { addRows("runner/cases.tsv"); }
    void exitStatus()
    {
        // The port of a slave that has ended is closed.
        SlaveProcess slave, silent, ended;
        QVERIFY(slave.startTcp() && silent.startTcp({"--silent"}) && ended.startTcp() && ended.stop());
        const auto fill = [&](QString text) {
            return text.replace("{polls}", Polls)
                .replace("{tcp}", "127.0.0.1:" + QString::number(slave.port()))
                .replace("{silent}", "127.0.0.1:" + QString::number(silent.port()))
                .replace("{closed}", "127.0.0.1:" + QString::number(ended.port()))
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
    void interrupt()
    {
        SlaveProcess slave;
        QVERIFY(slave.startTcp());
        Run run = runner({Polls, "--tcp", "127.0.0.1:" + QString::number(slave.port()), "--passes", "0",
                          "--csv", "--polls", "1,4"},
                         [] { QTest::qWait(500); });
        QCOMPARE(run.exit, 0);
        const int polls = slave.requests().size();
        // The summary, stderr's last line.
        QCOMPARE(QString(run.err).section('\n', -2, -2), QString("polls %1, valid %1, errors 0").arg(polls));
        // A header, then 4 rows for poll 1 and 10 for poll 4, whole.
        QCOMPARE(run.out.count('\n'), 1 + 4 * ((polls + 1) / 2) + 10 * (polls / 2));

        auto rig = std::make_unique<Rig>();
        QVERIFY2(rig->start(true), qPrintable(rig->error));
        run = runner({Polls, "--rtu", rig->pty.masterSide(), "--passes", "0", "--timeout", "300"}, [&] {
            rig.reset();
            QTest::qWait(2500);
        });
        QCOMPARE(run.exit, 1);
        QVERIFY2(run.err.contains("Error: Couldn't connect to serial port."), run.err.right(400).constData());
    }
};

QTEST_MAIN(TestRunner)
#include "tst_runner.moc"
