#include "modbus/replycollector.h"

#include <QtTest>

using Outcome = ReplyCollector::Outcome;

// Replies arriving in pieces, tick by tick, judged by their length.
class TestReplyCollector : public QObject
{
    Q_OBJECT

private slots:
    void completes_data();
    void completes();
    void timesOut_data();
    void timesOut();
    void piecesRestartTheWait();
    void stopAbandons_data();
    void stopAbandons();
};

namespace {

struct Shape
{
    int base;
    int index;
};

// The shapes the window sets: RTU as the table gives them, TCP 6 bytes later.
const Shape rtuRead{3, 2}, rtuWrite{6, -1}, tcpRead{9, 8}, tcpWrite{12, -1};

// Feeds the pieces one per tick and answers the outcome of the last one.
Outcome feed(ReplyCollector &collector, const QList<QByteArray> &pieces)
{
    Outcome outcome = Outcome::Waiting;
    for (const QByteArray &piece : pieces)
        outcome = collector.check(true, piece, false);
    return outcome;
}

} // namespace

void TestReplyCollector::completes_data()
{
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<int>("expectedLength");
    QTest::addColumn<QByteArray>("data");

    auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("rtu one register") << rtuRead.base << rtuRead.index << true
                                      << QList<QByteArray>{hex("010302002A399B")} << 7 << hex("002A");
    QTest::newRow("rtu byte by byte")
        << rtuRead.base << rtuRead.index << true
        << QList<QByteArray>{hex("01"), hex("03"), hex("02"), hex("00"), hex("2A"), hex("39"), hex("9B")} << 7
        << hex("002A");
    QTest::newRow("rtu longer than asked")
        << rtuRead.base << rtuRead.index << true << QList<QByteArray>{hex("010302002A399BEEFF")} << 7
        << hex("002A399B");
    QTest::newRow("rtu write, CRC not awaited")
        << rtuWrite.base << rtuWrite.index << true << QList<QByteArray>{hex("01060001"), hex("0102")} << 6
        << hex("01060001");
    QTest::newRow("tcp one register")
        << tcpRead.base << tcpRead.index << false << QList<QByteArray>{hex("0001000000050103"), hex("02002A")}
        << 11 << hex("002A");
    QTest::newRow("empty count byte")
        << rtuRead.base << rtuRead.index << true << QList<QByteArray>{hex("010300FFFF")} << 5 << QByteArray();
}

void TestReplyCollector::completes()
{
    QFETCH(int, base);
    QFETCH(int, index);
    QFETCH(bool, serial);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, expectedLength);
    QFETCH(QByteArray, data);

    ReplyCollector collector;
    collector.expect(base, index, serial);
    for (int i = 0; i < pieces.size() - 1; ++i)
        QCOMPARE(collector.check(true, pieces.at(i), false), Outcome::Waiting);
    QCOMPARE(collector.check(true, pieces.last(), false), Outcome::Complete);
    QCOMPARE(collector.expectedLength, expectedLength);
    QCOMPARE(collector.data().toHex(), data.toHex());
    QCOMPARE(collector.lastRxSize, 0);
    QCOMPARE(collector.replyWaitMs, 0);
}

// The reply never completes: on the 1500th quiet tick the poll fails with a
// text saying how far it got.
void TestReplyCollector::timesOut_data()
{
    QTest::addColumn<bool>("channelOpen");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("quietTicks");

    // The tick that brings bytes also counts as one of waiting.
    QTest::newRow("silence") << true << QByteArray() << " error, 0 bytes have been recieved" << 1500;
    QTest::newRow("short reply") << true << QByteArray::fromHex("010302")
                                 << " error, 3 bytes have been recieved" << 1499;
    // An exception reply's code is read as a byte count, so it never completes.
    QTest::newRow("exception reply") << true << QByteArray::fromHex("018302C0F1")
                                     << " error, 5 bytes have been recieved" << 1499;
    QTest::newRow("closed transport") << false << QByteArray() << "Failed to connect to port" << 1500;
}

void TestReplyCollector::timesOut()
{
    QFETCH(bool, channelOpen);
    QFETCH(QByteArray, received);
    QFETCH(QString, error);
    QFETCH(int, quietTicks);

    ReplyCollector collector;
    collector.expect(rtuRead.base, rtuRead.index, true);
    if (!received.isEmpty())
        QCOMPARE(collector.check(true, received, false), Outcome::Waiting);
    int ticks = 0;
    Outcome outcome = Outcome::Waiting;
    while (outcome == Outcome::Waiting && ticks < 10000) {
        // The checks made when the transport signals bytes count no tick:
        // however many there are, the time-out stays at the same tick.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(collector.check(channelOpen, QByteArray(), false, 0), Outcome::Waiting);
        outcome = collector.check(channelOpen, QByteArray(), false);
        ++ticks;
    }
    QCOMPARE(outcome, Outcome::Failed);
    QCOMPARE(ticks, quietTicks);
    QCOMPARE(collector.error(), error);
    QCOMPARE(collector.replyWaitMs, 0);
    QCOMPARE(collector.lastRxSize, 0);
}

void TestReplyCollector::piecesRestartTheWait()
{
    ReplyCollector collector;
    collector.expect(tcpRead.base, tcpRead.index, false);
    const QByteArray reply = QByteArray::fromHex("0001000000050103 02 002A");
    // A byte every 1490 ticks never times out, however long the reply takes.
    for (int i = 0; i < reply.size() - 1; ++i) {
        QCOMPARE(collector.check(true, reply.mid(i, 1), false), Outcome::Waiting);
        for (int tick = 0; tick < 1490; ++tick)
            QCOMPARE(collector.check(true, QByteArray(), false), Outcome::Waiting);
    }
    QCOMPARE(feed(collector, {reply.right(1)}), Outcome::Complete);
    QCOMPARE(collector.buffer(), reply);

    // A new request starts empty.
    collector.clear();
    QCOMPARE(collector.buffer(), QByteArray());
}

void TestReplyCollector::stopAbandons_data()
{
    QTest::addColumn<QByteArray>("incoming");
    QTest::addColumn<int>("outcome");
    QTest::newRow("nothing arrived") << QByteArray() << int(Outcome::Abandoned);
    QTest::newRow("part arrived") << QByteArray::fromHex("0103") << int(Outcome::Abandoned);
    // A reply that completes is still taken; the engine then does not restart.
    QTest::newRow("whole reply") << QByteArray::fromHex("010302002A399B") << int(Outcome::Complete);
}

void TestReplyCollector::stopAbandons()
{
    QFETCH(QByteArray, incoming);
    QFETCH(int, outcome);
    ReplyCollector collector;
    collector.expect(rtuRead.base, rtuRead.index, true);
    QCOMPARE(collector.check(true, QByteArray(), false), Outcome::Waiting);
    QCOMPARE(int(collector.check(true, incoming, true)), outcome);
    QCOMPARE(collector.replyWaitMs, 0);
    QCOMPARE(collector.lastRxSize, 0);
}

QTEST_GUILESS_MAIN(TestReplyCollector)
#include "tst_replycollector.moc"
