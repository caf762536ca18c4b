// The real window against the test slave over TCP and RTU (a socat pty pair):
// a poll of each function, a sequence run with STOP and a failing poll, and
// what the user sees when the slave misbehaves.
#include "support/files.h"
#include "support/rows.h"
#include "windowdriver.h"

#include "modbus/connectionsettings.h"

namespace {

// The log with its clock times as "T" and the separator lines as "Poll:n".
QString plainLog(const WindowDriver &driver)
{
    return driver.log()
        .replace(QRegularExpression("\\(\\d\\d:\\d\\d:\\d\\d(\\.\\d\\d\\d)?\\)"), "(T)")
        .replace(QRegularExpression("-{34}(Poll:\\d+)-{50}"), "\\1");
}

// NEXT and the queue labels, the empty ones left out.
QString queue(const WindowDriver &driver)
{
    QStringList texts{driver.text("nextpoll")};
    for (int i = 1; i <= 9; ++i)
        texts << driver.text(qPrintable(QString("pollqueue%1").arg(i)));
    return texts.join(' ').trimmed();
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // Without a row, the sequence: its poll 7 lies past the slave's table.
        const bool row = QTest::currentDataTag();
        fillPollDefaults();
        Sequence = row ? QList<int>() : QList<int>{3, 5, 7};
        const QStringList args =
            row ? cell("args").split(' ', Qt::SkipEmptyParts) : QStringList{"--size", "60"};
        rig = std::make_unique<Rig>();
        QVERIFY2(rig->start(row && cell("serial") == "1", args.mid(0, args.indexOf("gone"))),
                 qPrintable(rig->error));
        driver = std::make_unique<WindowDriver>();
        QVERIFY(rig->connect(*driver, !row || cell("once") != "0"));
    }
    void cleanup()
    {
        driver.reset();
        rig.reset();
    }
    void functions_data() { addRows("windows/functions.tsv"); }
    void functions();
    void sequence();
    void faults_data() { addRows("windows/faults.tsv"); }
    void faults();

private:
    std::unique_ptr<Rig> rig;
    std::unique_ptr<WindowDriver> driver;
};

void TestSession::functions()
{
    PollStore[98] = pollOf(cell("poll"));
    driver->widget<QSpinBox>("spinBox")->setValue(99);
    driver->click("singlepoll");
    QVERIFY(!driver->widget("singlepoll")->isEnabled());
    WAIT_FOR(driver->count("numofvalid") == 1, 3000);
    QVERIFY(driver->widget("singlepoll")->isEnabled());
    QCOMPARE(QStringList({rig->slave.requests().value(0).bytes.toHex(' '),
                          driver->window()->pollResponse(99).toHex(' '),
                          column(driver->widget<QTreeWidget>("treeWidget")->topLevelItem(0), 2).join(','),
                          plainLog(*driver)}),
             expected());
    driver->click("reset");
    QCOMPARE(driver->counters(), QString("0/0/0"));
}

// Polls 3, 5 and 7 read the holding registers at 10 n, poll 5 as one uInt32
// with an order no type has (as a hand-edited file may hold); the slave's
// table ends before 70, so poll 7 gets an exception, which the window takes
// for a reply that never completes. A pass ends with Repeat added to Poll Time.
void TestSession::sequence()
{
    for (int n : Sequence)
        PollStore[size_t(n - 1)].startaddr = QString::number(10 * n);
    PollStore[4].val2 = "1";
    PollStore[4].addrperitem = "2";
    PollStore[4].val3 = "xyz";
    for (const char *step : {"timebetweenpolls=0.2", "repeatspin=0.3", "sequencetoggle"})
        driver->act(step);
    QCOMPARE(queue(*driver), QString("NEXT:P3 P5 P7"));
    auto *tree = driver->widget<QTreeWidget>("treeWidget");
    tree->topLevelItem(1)->setExpanded(true);
    auto *progress = driver->widget<QProgressBar>("progressBar");
    QSignalSpy moves(progress, &QProgressBar::valueChanged);
    driver->click("gobutton");
    // The bar moves on every tick of the countdown.
    WAIT_FOR(progress->value() >= 100, 3000);
    QCOMPARE(moves.size(), progress->value());
    // The queue after each send; STOP brings the run back to its first poll.
    const QString after[] = {"NEXT:P5 P7 P3", "NEXT:P7 P3 P5", "NEXT:P3 P5 P7"};
    for (int sent = 1; sent <= 5; ++sent) {
        // Read with the counter: the labels show what follows the last send.
        WAIT_FOR(driver->count("numofpolls") >= sent, 3000);
        sent = driver->count("numofpolls");
        QCOMPARE(queue(*driver), after[sent < 3 ? sent - 1 : sent - 3]);
        QCOMPARE(progress->maximum(), sent == 5 ? 500 : 200);
        // Poll 5's block, redrawn with its reply, stays open.
        QVERIFY(sent != 3 || tree->topLevelItem(1)->isExpanded());
        if (sent == 2) {
            driver->click("stopbutton");
            QCOMPARE(queue(*driver) + ' ' + QString::number(progress->value()), QString("NEXT:P3 P5 P7 0"));
            driver->click("gobutton");
        }
    }
    QCOMPARE(column(tree->topLevelItem(1), 2), QStringList{"3276851"});
    // STOP while poll 7 waits for the rest of its reply: dropped, not counted.
    driver->click("stopbutton");
    pumpUntil([] { return false; }, 1700);
    QCOMPARE(driver->counters(), QString("5/4/0"));
    // The run goes on past the failing poll.
    driver->click("gobutton");
    WAIT_FOR(driver->count("numofvalid") == 7, 6000);
    driver->click("stopbutton");
    QCOMPARE(driver->counters(), QString("9/7/1"));
    QStringList polls;
    for (const LoggedRequest &request : rig->slave.requests())
        polls << QString::number(quint8(request.bytes.at(9)) / 10);
    QCOMPARE(polls, QString("3 5 3 5 7 3 5 7 3").split(' '));
    QVERIFY(driver->log().contains("Poll:7" + QString(50, '-') + "\n(")
            && driver->log().contains(") Response: error, 9 bytes have been recieved\n"));
}

// Single polls of the holding registers from 7 (20 and up lie past a table of
// 10), with report logging on; the report file's record as its lines.
void TestSession::faults()
{
    if (cell("args").contains("gone"))
        QVERIFY(rig->slave.stop());
    PollStore[0].startaddr = cell("start");
    PollStore[0].val1 = "2";
    QTemporaryDir reports;
    Connection.loggingOn = true;
    Connection.logFolder = reports.path();
    for (int poll = 1; poll <= cell("polls").toInt(); ++poll) {
        driver->click("singlepoll");
        WAIT_FOR(driver->widget("singlepoll")->isEnabled(), 5000);
    }
    const QString port = rig->serial ? rig->pty.masterSide() : QString::number(rig->slave.port());
    QCOMPARE(QStringList(
                 {driver->counters(), plainLog(*driver).section('\n', 1, 1),
                  driver->window()->pollResponse(1).toHex(' '),
                  QString(readBytes(reports.filePath(QDate::currentDate().toString(Qt::TextDate) + ".txt")))
                      .replace(QRegularExpression("\\d\\d:\\d\\d:\\d\\d"), "T")
                      .replace(port, "PORT")
                      .replace(QString(74, '/'), "//")}),
             expected());
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
