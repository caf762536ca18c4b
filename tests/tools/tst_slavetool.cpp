// The test slaves themselves: pollwright-slave over TCP and RTU, and the
// pymodbus slave over TCP, driven with raw frames from the client side.
#include "support/exchange.h"
#include "support/ptypair.h"
#include "support/slaveprocess.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text); // spaces are skipped
}

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= static_cast<quint8>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

// One slave under test, reached the way its kind needs: "tcp" and "rtu" are
// pollwright-slave (RTU through a pty pair), "pymodbus" the Python slave.
struct Peer
{
    explicit Peer(const QString &kind)
        : kind(kind)
    {}

    QString missing() const
    {
        return kind == "rtu"        ? PtyPair::missingSocat()
               : kind == "pymodbus" ? SlaveProcess::missingPymodbus()
                                    : QString();
    }

    bool start(const QStringList &args = {})
    {
        if (kind == "rtu" && !pty.start())
            return why = pty.errorString(), false;
        const bool ok = kind == "tcp"   ? slave.startTcp(args)
                        : kind == "rtu" ? slave.startRtu(pty.slaveSide(), args)
                                        : slave.startPymodbus(args);
        why = slave.errorString();
        return ok;
    }

    QByteArray frame(const QByteArray &pdu, int unit = 1) const
    {
        QByteArray adu = char(unit) + pdu;
        if (kind == "rtu") {
            const quint16 crc = crc16(adu);
            return adu + char(crc & 0xFF) + char(crc >> 8);
        }
        const int length = adu.size();
        return hex("0001 0000") + char(length >> 8) + char(length & 0xFF) + adu;
    }

    QVector<QByteArray> pieces(const QByteArray &request, int expected, int timeoutMs) const
    {
        return kind == "rtu" ? exchangeSerialPieces(pty.masterSide(), request, expected, timeoutMs)
                             : exchangeTcpPieces(slave.port(), request, expected, timeoutMs);
    }

    QByteArray ask(const QByteArray &request, int expected, int timeoutMs = 2000) const
    {
        return kind == "rtu" ? exchangeSerial(pty.masterSide(), request, expected, timeoutMs)
                             : exchangeTcp(slave.port(), request, expected, timeoutMs);
    }

    QString kind;
    PtyPair pty; // outlives the slave that has its other end open
    SlaveProcess slave;
    QString why;
};

// Skips only when a peer program is missing; any other failure to start fails.
#define START_PEER(peer, args)                                                                               \
    do {                                                                                                     \
        const QString missing = (peer).missing();                                                            \
        if (!missing.isEmpty())                                                                              \
            QSKIP(qPrintable(missing));                                                                      \
        QVERIFY2((peer).start(args), qPrintable((peer).why));                                                \
    } while (false)

// The slice of a dumped table in the override syntax: one 0/1 per bit, or
// 4 hex digits per register.
QString slice(const SlaveTables &tables, const QString &table, int address, const QString &like)
{
    QString text;
    const bool bits = table == "coils" || table == "discrete";
    for (int i = address; i < address + (bits ? like.size() : like.size() / 4); ++i) {
        if (bits)
            text += (table == "coils" ? tables.coil(i) : tables.discrete(i)) ? '1' : '0';
        else
            text += QString("%1").arg(table == "holding" ? tables.holding(i) : tables.input(i), 4, 16,
                                      QChar('0'));
    }
    return text.toUpper();
}

const QByteArray readTwo = hex("03 0000 0002");
const QByteArray readTwoReply = hex("03 04 0000 0001");

} // namespace

class TestSlaveTool : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void portsAndConnections();
    void rejectsBadArguments_data();
    void rejectsBadArguments();
    void misbehaves_data();
    void misbehaves();
    void stopsOnSignal_data();
    void stopsOnSignal();
};

void TestSlaveTool::answers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QByteArray>("request"); // PDU, framed for the transport
    QTest::addColumn<QByteArray>("reply");   // PDU; empty: no answer
    QTest::addColumn<QString>("table");      // a table slice to find in the dump afterwards
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("values");

    const auto row = [](const QString &kind, const char *name, const QStringList &args, int unit,
                        const char *request, const char *reply, const QString &table = {}, int address = 0,
                        const QString &values = {}) {
        QTest::addRow("%s %s", qPrintable(kind), name)
            << kind << args << unit << hex(request) << hex(reply) << table << address << values;
    };
    // Plain reads and writes, and overrides of the registers, are in tst_peers.
    for (const QString kind : {"tcp", "rtu", "pymodbus"}) {
        row(kind, "read coils override", {"--coils", "1=11", "--coils", "9=0"}, 1, "01 0000 000A",
            "01 02 4F 00");
        row(kind, "read discrete override", {"--discrete", "0=1"}, 1, "02 0000 0004", "02 01 0B");
        row(kind, "past the end", {}, 1, "03 270F 0002", "83 02");
        row(kind, "count zero", {}, 1, "03 0000 0000", "83 03");
        row(kind, "own id", {"--slave", "7"}, 7, "03 0000 0002", "03 04 0000 0001");
    }
    for (const QString kind : {"tcp", "rtu"}) {
        row(kind, "last of size", {"--size", "20"}, 1, "03 0013 0001", "03 02 0013");
        row(kind, "past size", {"--size", "20"}, 1, "03 0014 0001", "83 02");
        row(kind, "silent write", {"--silent"}, 1, "06 0005 0ABC", "", "holding", 5, "0ABC");
    }
    // Unit ids: libmodbus over TCP answers any and echoes it; the others
    // serve only their own id. An RTU broadcast is carried out unanswered.
    row("tcp", "other unit", {}, 7, "03 0000 0002", "03 04 0000 0001");
    row("tcp", "unit 0", {}, 0, "03 0000 0002", "03 04 0000 0001");
    row("rtu", "other unit", {}, 7, "03 0000 0002", "");
    row("rtu", "broadcast write", {}, 0, "06 0005 0ABC", "", "holding", 5, "0ABC");
    row("pymodbus", "other unit", {}, 7, "03 0000 0002", "");
    row("pymodbus", "unit 0", {}, 0, "03 0000 0002", "");
}

void TestSlaveTool::answers()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, args);
    QFETCH(int, unit);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QString, table);
    QFETCH(int, address);
    QFETCH(QString, values);

    Peer peer(kind);
    START_PEER(peer, args);
    const QByteArray expected = reply.isEmpty() ? QByteArray() : peer.frame(reply, unit);
    const int wait = reply.isEmpty() ? 500 : 2000;
    QCOMPARE(peer.ask(peer.frame(request, unit), qMax(expected.size(), 5), wait).toHex(' '),
             expected.toHex(' '));
    if (!table.isEmpty())
        QTRY_COMPARE(slice(peer.slave.dump(), table, address, values), values);
}

// Slaves side by side get ports of their own; a port in use is refused.
void TestSlaveTool::portsAndConnections()
{
    Peer first("tcp"), second("tcp");
    START_PEER(first, QStringList());
    START_PEER(second, QStringList());
    QVERIFY(first.slave.port() != 0);
    QVERIFY(first.slave.port() != second.slave.port());
    SlaveProcess clash;
    QVERIFY(!clash.startTcp({"--tcp", QString::number(first.slave.port())}));
    QVERIFY2(clash.errorString().contains("Address already in use"), qPrintable(clash.errorString()));
}

void TestSlaveTool::rejectsBadArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("reason");
    QTest::newRow("parity") << QStringList{"--parity", "X"} << "parity must be N, E or O";
    QTest::newRow("odd hex") << QStringList{"--holding", "5=123"} << "bad override value";
    QTest::newRow("past end") << QStringList{"--input", "9999=00010002"} << "past the end";
    QTest::newRow("unknown") << QStringList{"--bogus"} << "unknown option --bogus";
    QTest::newRow("two transports") << QStringList{"--rtu", "/dev/null"} << "exactly one";
    QTest::newRow("demo table too small")
        << QStringList{"--demo", "--size", "17"} << "--demo needs --size 18";
}

void TestSlaveTool::rejectsBadArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, reason);
    SlaveProcess slave;
    QVERIFY(!slave.startTcp(args));
    QVERIFY2(slave.errorString().contains(reason), qPrintable(slave.errorString()));
}

void TestSlaveTool::misbehaves_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("args");
    for (const QString kind : {"tcp", "rtu"}) {
        QTest::addRow("%s delay", qPrintable(kind)) << kind << QStringList{"--delay", "400"};
        QTest::addRow("%s split", qPrintable(kind))
            << kind << QStringList{"--split", "3", "--split-gap", "150"};
        QTest::addRow("%s silent", qPrintable(kind)) << kind << QStringList{"--silent"};
        QTest::addRow("%s garbage", qPrintable(kind)) << kind << QStringList{"--garbage"};
        QTest::addRow("%s extra", qPrintable(kind)) << kind << QStringList{"--extra", "3"};
    }
}

void TestSlaveTool::misbehaves()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, args);
    Peer peer(kind);
    START_PEER(peer, args);
    const QByteArray normal = peer.frame(readTwoReply);
    const QString option = args.first();
    const int extra = option == "--extra" ? 3 : 0;

    QElapsedTimer clock;
    clock.start();
    const QVector<QByteArray> pieces =
        peer.pieces(peer.frame(readTwo), normal.size() + extra, option == "--silent" ? 600 : 3000);
    const qint64 elapsed = clock.elapsed();
    QByteArray reply;
    for (const QByteArray &piece : pieces)
        reply += piece;
    // Every request is received and logged, answered or not.
    QTRY_COMPARE(peer.slave.requests().size(), 1);

    if (option == "--delay") {
        QCOMPARE(reply, normal);
        QVERIFY2(elapsed >= 350, qPrintable(QString("reply after %1 ms").arg(elapsed)));
    } else if (option == "--split") {
        QCOMPARE(reply, normal);
        QVERIFY2(pieces.size() >= 2, qPrintable(QString("%1 piece(s)").arg(pieces.size())));
    } else if (option == "--silent") {
        QCOMPARE(reply, QByteArray());
    } else if (option == "--garbage") {
        QCOMPARE(reply.size(), normal.size());
        QVERIFY(reply != normal);
    } else {
        QCOMPARE(reply, normal + QByteArray(extra, '\0'));
    }
}

void TestSlaveTool::stopsOnSignal_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("clientConnected");
    for (const char *kind : {"tcp", "rtu", "pymodbus"})
        QTest::newRow(kind) << QString(kind) << false;
    QTest::newRow("tcp with a client") << "tcp" << true;
}

void TestSlaveTool::stopsOnSignal()
{
    QFETCH(QString, kind);
    QFETCH(bool, clientConnected);
    Peer peer(kind);
    START_PEER(peer, QStringList());
    QTcpSocket client;
    if (clientConnected) {
        client.connectToHost(QHostAddress::LocalHost, peer.slave.port());
        QVERIFY(client.waitForConnected(2000));
        client.write(peer.frame(readTwo));
        QVERIFY(client.waitForReadyRead(2000));
    }
    QVERIFY(peer.slave.stop()); // ends by itself with status 0
}

QTEST_GUILESS_MAIN(TestSlaveTool)
#include "tst_slavetool.moc"
