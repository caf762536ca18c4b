#include "modbus/framing.h"

#include <QtTest>

Q_DECLARE_METATYPE(Poll)

// Requests compared byte for byte with the frames a Modbus slave expects.
class TestFraming : public QObject
{
    Q_OBJECT

private slots:
    void pdu_data();
    void pdu();
    void frames_data();
    void frames();
    void crc16_data();
    void crc16();
    void hexListToBytes_data();
    void hexListToBytes();
    void absurdPollsStayBounded_data();
    void absurdPollsStayBounded();
};

// A poll as "slave function start count addrperitem type order", values apart.
static Poll poll(const QString &fields, const QStringList &write = {"0"})
{
    const QStringList f = fields.split(' ');
    Poll p;
    p.slave = f.value(0);
    p.function = f.value(1);
    p.startaddr = f.value(2);
    p.val1 = f.value(3);
    p.addrperitem = f.value(4);
    p.val2 = f.value(5) == "-" ? QString() : f.value(5);
    p.val3 = f.value(6) == "-" ? QString() : f.value(6);
    p.write = write;
    return p;
}

void TestFraming::pdu_data()
{
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<QByteArray>("pdu");

    auto row = [](const char *name, const Poll &p, const char *hex) {
        QTest::newRow(name) << p << QByteArray::fromHex(hex);
    };
    row("read holding", poll("1 3 1 1 1 - -"), "010300010001");
    row("read coils", poll("17 1 100 2000 1 - -"), "11010064 07D0");
    row("read input regs", poll("1 4 65535 3 1 - -"), "0104FFFF 0003");
    row("count 0", poll("1 3 1 0 1 - -"), "01030001 0000");
    row("force coil on", poll("1 5 1 1 1 - -", {"1"}), "01050001 FF00");
    row("force coil 01", poll("1 5 1 1 1 - -", {"01"}), "01050001 0000");
    row("preset uInt16 01", poll("1 6 1 1 1 0 01", {"258"}), "01060001 0201");
    row("preset uInt16 10", poll("1 6 1 1 1 0 10", {"258"}), "01060001 0102");
    row("preset uInt32 1032", poll("1 6 1 1 2 1 1032", {"287454020"}), "01060001 33441122");
    row("preset string", poll("1 6 1 1 1 6 10", {"AB"}), "01060001 4142");
    row("preset order longer than value", poll("1 6 1 1 1 0 3210", {"258"}), "01060001 01020000");
    row("preset empty order", poll("1 6 1 1 1 0 -", {"258"}), "01060001 0102");
    row("preset no values", poll("1 6 1 1 1 0 10", {}), "01060001 0000");
    row("force coils", poll("1 15 1 9 1 - -", {"1", "0", "1", "1", "0", "0", "0", "0", "1"}),
        "010F0001 0009 02 0D01");
    row("force no coils", poll("1 15 1 9 1 - -", {}), "010F0001 0000 00");
    row("write uInt32 1032", poll("1 16 1 1 2 1 1032", {"287454020"}), "01100001 0002 04 33441122");
    row("write Float32", poll("1 16 1 1 2 3 3210", {"1.5"}), "01100001 0002 04 3FC00000");
    row("write Double64 lsb first", poll("1 16 1 1 4 4 01234567", {"1.5"}),
        "01100001 0004 08 000000000000F83F");
    row("write Int64", poll("1 16 1 1 4 2 76543210", {"-2"}), "01100001 0004 08 FFFFFFFFFFFFFFFE");
    row("write string 3 addresses", poll("1 16 1 1 3 6 10", {"AB"}), "01100001 0003 06 414200000000");
    row("write string cut", poll("1 16 1 1 1 6 10", {"ABC"}), "01100001 0001 02 4142");
    row("write string 0 addresses", poll("1 16 1 1 0 6 10", {"AB"}), "01100001 0000 00");
    row("write short list", poll("1 16 1 2 1 0 10", {"5"}), "01100001 0002 04 00050000");
    row("write type outside table", poll("1 16 1 1 1 9 3210", {"5"}), "01100001 0001 02 00000000");
    row("write type outside, no order", poll("1 16 1 1 1 9 -", {"5"}), "01100001 0001 02");
    row("slave 256", poll("256 3 1 1 1 - -"), "00030001 0001");
    row("start above 16 bits", poll("1 3 300000 1 1 - -"), "01030000 0001");
    row("fields not numbers", poll("x y z q r - -"), "00000000");
    row("function outside table", poll("1 7 1 1 1 - -"), "01070001");
}

void TestFraming::pdu()
{
    QFETCH(Poll, poll);
    QFETCH(QByteArray, pdu);
    const HexByteList list = buildPduList(poll);
    QCOMPARE(::hexListToBytes(list).toHex(' '), pdu.toHex(' '));
    for (const QString &entry : list)
        QVERIFY2(entry.isEmpty() || QRegularExpression("^[0-9A-F]{2}$").match(entry).hasMatch(),
                 qPrintable(entry));
}

void TestFraming::frames_data()
{
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<QByteArray>("rtu");
    QTest::addColumn<QByteArray>("tcp");

    QTest::newRow("read holding") << poll("1 3 1 1 1 - -") << QByteArray::fromHex("010300010001D5CA")
                                  << QByteArray::fromHex("000100000006010300010001");
    QTest::newRow("force coil") << poll("1 5 1 1 1 - -", {"1"}) << QByteArray::fromHex("01050001FF00DDFA")
                                << QByteArray::fromHex("00010000000601050001FF00");
    QTest::newRow("write registers") << poll("1 16 0 2 1 0 10", {"10", "258"})
                                     << QByteArray::fromHex("0110000000020400 0A0102 53 FC")
                                     << QByteArray::fromHex("0001000000 0B 01100000000204000A0102");
}

void TestFraming::frames()
{
    QFETCH(Poll, poll);
    QFETCH(QByteArray, rtu);
    QFETCH(QByteArray, tcp);

    const Request serial = rtuRequest(poll);
    QCOMPARE(serial.bytes.toHex(' '), rtu.toHex(' '));
    QCOMPARE(::hexListToBytes(serial.hex), serial.bytes);
    // The log shows the list: two upper-case digits per byte, CRC low byte first.
    QCOMPARE(serial.hex.join(' '), QString(rtu.toHex(' ').toUpper()));

    // The transaction identifier stays 1 from one request to the next.
    for (int i = 0; i < 2; ++i) {
        const Request net = tcpRequest(poll);
        QCOMPARE(net.bytes.toHex(' '), tcp.toHex(' '));
        QCOMPARE(net.hex.join(' '), QString(tcp.toHex(' ').toUpper()));
    }
}

void TestFraming::crc16_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");
    QTest::newRow("empty") << QByteArray() << 0xFFFF;
    QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
    QTest::newRow("read holding") << QByteArray::fromHex("010300010001") << 0xCAD5;
    QTest::newRow("zero byte") << QByteArray(1, '\0') << 0x40BF;
}

void TestFraming::crc16()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    QCOMPARE(int(::crc16(bytes)), crc);

    QByteArray framed = bytes;
    HexByteList list;
    appendCrc(framed, list);
    QCOMPARE(list, (HexByteList{QString("%1").arg(crc & 0xFF, 2, 16, QChar('0')).toUpper(),
                                QString("%1").arg(crc >> 8, 2, 16, QChar('0')).toUpper()}));
    // A frame with its CRC appended checks to zero, as a receiver verifies it.
    QCOMPARE(int(::crc16(framed)), 0);
}

void TestFraming::hexListToBytes_data()
{
    QTest::addColumn<HexByteList>("list");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("pairs") << HexByteList{"01", "FF", "0a"} << QByteArray::fromHex("01FF0A");
    QTest::newRow("empty entry") << HexByteList{"", "02"} << QByteArray::fromHex("0002");
    QTest::newRow("not hex") << HexByteList{"ZZ", "-"} << QByteArray::fromHex("0000");
    QTest::newRow("low 8 bits") << HexByteList{"1FF", "100"} << QByteArray::fromHex("FF00");
    QTest::newRow("none") << HexByteList{} << QByteArray();
}

void TestFraming::hexListToBytes()
{
    QFETCH(HexByteList, list);
    QTEST(::hexListToBytes(list), "bytes");
}

// Polls no editor produces (from hand-edited files) frame without crashing
// and never past the largest PDU.
void TestFraming::absurdPollsStayBounded_data()
{
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<int>("pduBytes");
    QTest::newRow("huge string items") << poll("1 16 1 60 2147483647 6 10", {"AB"}) << MaxPduBytes;
    QTest::newRow("huge count") << poll("1 16 1 2147483647 4 4 76543210", {"1"}) << MaxPduBytes;
    QTest::newRow("largest editor poll") << poll("1 16 1 60 256 6 10", {"x"}) << 7 + 60 * 512;
    QTest::newRow("negative count") << poll("1 16 1 -5 1 0 10", {"1"}) << 7;
}

void TestFraming::absurdPollsStayBounded()
{
    QFETCH(Poll, poll);
    QFETCH(int, pduBytes);
    QCOMPARE(buildPduList(poll).size(), pduBytes);
    QCOMPARE(tcpRequest(poll).bytes.size(), 6 + pduBytes);
}

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
