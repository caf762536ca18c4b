// The frames this program builds, sent to real Modbus slaves: libmodbus over
// TCP and over RTU through a pty pair (so the slave checks our CRC), and
// pymodbus over TCP. Each must answer normally; writes must land in the
// slave's own tables, and reads must decode to what the slave holds.
#include "data/datatypetable.h"
#include "data/valuedecoding.h"
#include "modbus/framing.h"
#include "support/exchange.h"
#include "support/ptypair.h"
#include "support/slaveprocess.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(Poll)

namespace {

// "function start count addrperitem type order", the slave always 1.
Poll makePoll(const QString &fields, const QStringList &write = {"0"})
{
    const QStringList f = fields.split(' ');
    Poll poll;
    poll.slave = "1";
    poll.function = f.value(0);
    poll.startaddr = f.value(1);
    poll.val1 = f.value(2);
    poll.addrperitem = f.value(3);
    poll.val2 = f.value(4);
    poll.val3 = f.value(5);
    poll.write = write;
    return poll;
}

struct Case
{
    const char *name;
    Poll poll;
    QStringList values; // reads: decoded values; writes: read back after the write
    QStringList tables; // writes: "holding A WORD" or "coil A 0|1" as the slave's dump shows
};

// Slave contents the read cases rely on, beyond its built-in tables
// (coil i = i % 3 == 0, discrete i = i % 2 == 1, holding i = i, input i = 0x1000 + i).
const QStringList overrides{
    "--holding", "200=11223344",
    "--holding", "210=33441122",
    "--holding", "220=44332211",
    "--holding", "230=22114433",
    "--holding", "240=FFFFFFFFFFFFFFFE0000000000000064",
    "--holding", "250=6400000000000000",
    "--holding", "260=40490FDBC0200000",
    "--holding", "270=400921FB54442D18",
    "--holding", "280=4142430044454647",
    "--input",   "100=3FC00000",
};

QVector<Case> cases()
{
    return {
        {"f1 coils", makePoll("1 0 10 1 0 10"), {"1", "0", "0", "1", "0", "0", "1", "0", "0", "1"}, {}},
        {"f2 discrete inputs", makePoll("2 3 5 1 0 10"), {"1", "0", "1", "0", "1"}, {}},
        {"f3 uInt16", makePoll("3 5 3 1 0 10"), {"5", "6", "7"}, {}},
        {"f3 uInt16 01", makePoll("3 5 1 1 0 01"), {"1280"}, {}},
        {"f4 uInt16", makePoll("4 2 2 1 0 10"), {"4098", "4099"}, {}},
        {"f3 uInt32 3210", makePoll("3 200 1 2 1 3210"), {"287454020"}, {}},
        {"f3 uInt32 1032", makePoll("3 210 1 2 1 1032"), {"287454020"}, {}},
        {"f3 uInt32 0123", makePoll("3 220 1 2 1 0123"), {"287454020"}, {}},
        {"f3 uInt32 2301", makePoll("3 230 1 2 1 2301"), {"287454020"}, {}},
        {"f3 Int64", makePoll("3 240 2 4 2 76543210"), {"-2", "100"}, {}},
        {"f3 Int64 01234567", makePoll("3 250 1 4 2 01234567"), {"100"}, {}},
        {"f3 Float32", makePoll("3 260 2 2 3 3210"), {"3.14159", "-2.5"}, {}},
        {"f3 Double64", makePoll("3 270 1 4 4 76543210"), {"3.14159"}, {}},
        {"f3 String", makePoll("3 280 2 2 6 10"), {"ABC", "DEFG"}, {}},
        {"f4 Float32", makePoll("4 100 1 2 3 3210"), {"1.5"}, {}},

        {"f5 on", makePoll("5 7 1 1 0 10", {"1"}), {"1"}, {"coil 7 1"}},
        {"f5 off", makePoll("5 9 1 1 0 10", {"0"}), {"0"}, {"coil 9 0"}},
        {"f6 uInt16", makePoll("6 300 1 1 0 10", {"4660"}), {"4660"}, {"holding 300 1234"}},
        {"f6 uInt16 01", makePoll("6 301 1 1 0 01", {"258"}), {"258"}, {"holding 301 0201"}},
        {"f15 coils",
         makePoll("15 20 9 1 0 10", {"1", "0", "1", "1", "0", "0", "0", "0", "1"}),
         {"1", "0", "1", "1", "0", "0", "0", "0", "1"},
         {"coil 20 1", "coil 21 0", "coil 22 1", "coil 23 1", "coil 24 0", "coil 27 0", "coil 28 1"}},
        {"f16 uInt16",
         makePoll("16 310 3 1 0 10", {"1", "2", "65535"}),
         {"1", "2", "65535"},
         {"holding 310 0001", "holding 311 0002", "holding 312 FFFF"}},
        {"f16 uInt32 3210",
         makePoll("16 320 1 2 1 3210", {"287454020"}),
         {"287454020"},
         {"holding 320 1122", "holding 321 3344"}},
        {"f16 uInt32 1032",
         makePoll("16 322 1 2 1 1032", {"287454020"}),
         {"287454020"},
         {"holding 322 3344", "holding 323 1122"}},
        {"f16 uInt32 0123",
         makePoll("16 324 1 2 1 0123", {"287454020"}),
         {"287454020"},
         {"holding 324 4433", "holding 325 2211"}},
        {"f16 uInt32 2301",
         makePoll("16 326 1 2 1 2301", {"287454020"}),
         {"287454020"},
         {"holding 326 2211", "holding 327 4433"}},
        {"f16 Int64",
         makePoll("16 340 1 4 2 76543210", {"-2"}),
         {"-2"},
         {"holding 340 FFFF", "holding 341 FFFF", "holding 342 FFFF", "holding 343 FFFE"}},
        {"f16 Float32",
         makePoll("16 350 2 2 3 3210", {"1.5", "-0.25"}),
         {"1.5", "-0.25"},
         {"holding 350 3FC0", "holding 351 0000", "holding 352 BE80", "holding 353 0000"}},
        {"f16 Double64",
         makePoll("16 360 1 4 4 76543210", {"-2.5"}),
         {"-2.5"},
         {"holding 360 C004", "holding 361 0000", "holding 362 0000", "holding 363 0000"}},
        {"f16 String",
         makePoll("16 370 1 3 6 10", {"AB"}),
         {"AB"},
         {"holding 370 4142", "holding 371 0000", "holding 372 0000"}},
    };
}

int replyDataBytes(const Poll &poll)
{
    const int count = poll.val1.toInt() * poll.addrperitem.toInt();
    switch (poll.function.toInt()) {
    case 1:
    case 2:
        return 1 + (count + 7) / 8; // byte count, then the packed bits
    case 3:
    case 4:
        return 1 + 2 * count;
    default:
        return 4; // the echoed address and value or quantity
    }
}

// The read that shows a write's result: coils with 1, registers with 3.
Poll readBack(Poll poll)
{
    const int function = poll.function.toInt();
    poll.function = function == 5 || function == 15 ? "1" : "3";
    if (function == 5 || function == 6)
        poll.val1 = "1";
    if (function == 15)
        poll.val1 = QString::number(poll.write.size());
    return poll;
}

} // namespace

class TestPeers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exchange_data();
    void exchange();

private:
    // One reply to the poll as the peer sends it, checked for a normal
    // answer; its data part (after the byte count for reads) goes to data.
    void ask(const QString &peer, const Poll &poll, QByteArray *data);

    std::unique_ptr<SlaveProcess> tcp, rtu, pymodbus;
    std::unique_ptr<PtyPair> pty;
    QString rtuMissing, pymodbusMissing;
};

void TestPeers::initTestCase()
{
    tcp = std::make_unique<SlaveProcess>();
    QVERIFY2(tcp->startTcp(overrides), qPrintable(tcp->errorString()));

    rtuMissing = PtyPair::missingSocat();
    if (rtuMissing.isEmpty()) {
        pty = std::make_unique<PtyPair>();
        QVERIFY2(pty->start(), qPrintable(pty->errorString()));
        rtu = std::make_unique<SlaveProcess>();
        QVERIFY2(rtu->startRtu(pty->slaveSide(), overrides), qPrintable(rtu->errorString()));
    }

    pymodbusMissing = SlaveProcess::missingPymodbus();
    if (pymodbusMissing.isEmpty()) {
        pymodbus = std::make_unique<SlaveProcess>();
        QVERIFY2(pymodbus->startPymodbus(overrides), qPrintable(pymodbus->errorString()));
    }
}

void TestPeers::exchange_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("tables");
    for (const char *peer : {"libmodbus tcp", "libmodbus rtu", "pymodbus tcp"}) {
        for (const Case &c : cases())
            QTest::addRow("%s: %s", peer, c.name) << QString(peer) << c.poll << c.values << c.tables;
    }
}

void TestPeers::ask(const QString &peer, const Poll &poll, QByteArray *data)
{
    const int dataBytes = replyDataBytes(poll);
    const bool serial = peer.contains("rtu");
    const Request request = serial ? rtuRequest(poll) : tcpRequest(poll);
    const int expected = (serial ? 2 + 2 : 6 + 2) + dataBytes;
    const QByteArray reply =
        serial ? exchangeSerial(pty->masterSide(), request.bytes, expected)
               : exchangeTcp((peer.startsWith("py") ? pymodbus : tcp)->port(), request.bytes, expected);
    // A normal answer: whole, for our slave, same function (no exception bit).
    QCOMPARE(reply.toHex(' ').size(), QByteArray(expected, 'x').toHex(' ').size());
    QByteArray pdu;
    if (serial) {
        QCOMPARE(crc16(reply), quint16(0)); // the slave's CRC, checked with ours
        pdu = reply.mid(1, reply.size() - 3);
    } else {
        QCOMPARE(reply.left(4), QByteArray::fromHex("00010000")); // transaction 1 echoed
        QCOMPARE((quint8(reply.at(4)) << 8) | quint8(reply.at(5)), reply.size() - 6);
        pdu = reply.mid(7);
    }
    QCOMPARE(int(quint8(reply.at(serial ? 0 : 6))), 1);
    QCOMPARE(int(quint8(pdu.at(0))), poll.function.toInt());

    const int function = poll.function.toInt();
    if (function <= 4) {
        QCOMPARE(int(quint8(pdu.at(1))), dataBytes - 1);
        *data = pdu.mid(2);
    } else {
        // Writes echo the address and the value or quantity of the request.
        const QByteArray requestPdu = hexListToBytes(buildPduList(poll));
        QCOMPARE(pdu.toHex(' '), requestPdu.mid(1, 5).toHex(' '));
        *data = QByteArray();
    }
}

void TestPeers::exchange()
{
    QFETCH(QString, peer);
    QFETCH(Poll, poll);
    QFETCH(QStringList, values);
    QFETCH(QStringList, tables);

    if (peer.contains("rtu") && !rtuMissing.isEmpty())
        QSKIP(qPrintable(rtuMissing));
    if (peer.startsWith("py") && !pymodbusMissing.isEmpty())
        QSKIP(qPrintable(pymodbusMissing));
    SlaveProcess *slave = peer.startsWith("py")  ? pymodbus.get()
                          : peer.contains("rtu") ? rtu.get()
                                                 : tcp.get();

    const DataTypeTable types;
    QByteArray data;
    ask(peer, poll, &data);
    if (QTest::currentTestFailed())
        return;
    if (tables.isEmpty()) {
        QCOMPARE(pollValues(poll, data, types), values);
        return;
    }

    const SlaveTables dump = slave->dump();
    QVERIFY(dump.isValid());
    for (const QString &check : tables) {
        const QStringList f = check.split(' ');
        const int address = f.at(1).toInt();
        if (f.at(0) == "coil")
            QVERIFY2(dump.coil(address) == (f.at(2) == "1"), qPrintable(check));
        else
            QCOMPARE(
                QString("holding %1 %2").arg(address).arg(dump.holding(address), 4, 16, QChar('0')).toUpper(),
                check.toUpper());
    }

    // And read back through the same slave, decoded as the table shows it.
    const Poll read = readBack(poll);
    ask(peer, read, &data);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(pollValues(read, data, types), values);
}

QTEST_GUILESS_MAIN(TestPeers)
#include "tst_peers.moc"
