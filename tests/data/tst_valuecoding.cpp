#include "data/datatypetable.h"
#include "data/valuedecoding.h"
#include "data/valueencoding.h"

#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(Poll)
Q_DECLARE_METATYPE(RequestItem)

// Value encoding and decoding, each against the worked values of the Modbus
// data types and against what a hand-edited poll may hold.
class TestValueCoding : public QObject
{
    Q_OBJECT

private slots:
    void encodeValue_data();
    void encodeValue();
    void requestItems_data();
    void requestItems();
    void pollValues_data();
    void pollValues();
    void formatFloat_data();
    void formatFloat();
};

void TestValueCoding::encodeValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("hex");

    QTest::newRow("uInt16 1000") << "1000" << 0 << "03E8";
    QTest::newRow("uInt16 max") << "65535" << 0 << "FFFF";
    QTest::newRow("uInt16 too large") << "70000" << 0 << "0000";
    QTest::newRow("uInt16 negative") << "-1" << 0 << "0000";
    QTest::newRow("uInt16 fraction") << "1.5" << 0 << "0000";
    QTest::newRow("uInt32 -1") << "-1" << 1 << "FFFFFFFF";
    QTest::newRow("uInt32 above int") << "4000000000" << 1 << "00000000";
    QTest::newRow("uInt32 int max") << "2147483647" << 1 << "7FFFFFFF";
    QTest::newRow("uInt32 int min") << "-2147483648" << 1 << "80000000";
    QTest::newRow("Int64 -1") << "-1" << 2 << "FFFFFFFFFFFFFFFF";
    QTest::newRow("Int64 max") << "9223372036854775807" << 2 << "7FFFFFFFFFFFFFFF";
    QTest::newRow("Int64 past max") << "9223372036854775808" << 2 << "0000000000000000";
    QTest::newRow("Int64 min") << "-9223372036854775808" << 2 << "8000000000000000";
    QTest::newRow("Float32 1.5") << "1.5" << 3 << "3FC00000";
    QTest::newRow("Float32 negative zero") << "-0" << 3 << "80000000";
    QTest::newRow("Float32 beyond range: infinity") << "1e39" << 3 << "7F800000";
    QTest::newRow("Float32 largest") << "3.40282347e+38" << 3 << "7F7FFFFF";
    QTest::newRow("Float32 rounds up to largest") << "-3.4028235e38" << 3 << "FF7FFFFF";
    QTest::newRow("Float32 inf") << "inf" << 3 << "7F800000";
    QTest::newRow("Double64 1.5") << "1.5" << 4 << "3FF8000000000000";
    QTest::newRow("Double64 -2") << "-2" << 4 << "C000000000000000";
    QTest::newRow("SpecialInt -1") << "-1" << 5 << "FFFFFFFF";
    QTest::newRow("String abc") << "abc" << 6 << "616263";
    QTest::newRow("String utf-8") << QString::fromUtf8("é€") << 6 << "C3A9E282AC";
    QTest::newRow("String empty") << "" << 6 << "";
    QTest::newRow("byte 256") << "256" << 99 << "00";
    QTest::newRow("byte 255") << "255" << 99 << "FF";
    QTest::newRow("byte 65535") << "65535" << 99 << "FF";
    QTest::newRow("byte 70000") << "70000" << 99 << "00";
    QTest::newRow("type 7") << "1" << 7 << "";
    QTest::newRow("type -1") << "1" << -1 << "";
}

void TestValueCoding::encodeValue()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    QTEST(::encodeValue({text, type, QString()}), "hex");
}

static Poll makePoll(const QString &function, const QString &val1, const QString &addrperitem,
                     const QString &val2, const QString &val3, const QStringList &write)
{
    Poll poll;
    poll.slave = "1";
    poll.startaddr = "1";
    poll.function = function;
    poll.val1 = val1;
    poll.addrperitem = addrperitem;
    poll.val2 = val2;
    poll.val3 = val3;
    poll.write = write;
    return poll;
}

void TestValueCoding::requestItems_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<QList<RequestItem>>("items");

    using L = QList<RequestItem>;
    const Poll read = makePoll("3", "10", "2", "", "", {"0"});
    for (int f : {1, 2, 3, 4})
        QTest::addRow("read %d", f) << f << read << L{{"20", 0, ""}};
    QTest::newRow("5 on") << 5 << makePoll("5", "1", "1", "", "", {"1"}) << L{{"65280", 0, ""}};
    QTest::newRow("5 ON is off") << 5 << makePoll("5", "1", "1", "", "", {"ON"}) << L{{"0", 0, ""}};
    QTest::newRow("5 no values") << 5 << makePoll("5", "1", "1", "", "", {}) << L{{"0", 0, ""}};
    QTest::newRow("6 typed") << 6 << makePoll("6", "1", "2", "3", "1032", {"1.5", "2"})
                             << L{{"1.5", 3, "1032"}};
    QTest::newRow("6 type outside") << 6 << makePoll("6", "1", "1", "99", "10", {"7"}) << L{{"7", -1, "10"}};
    QTest::newRow("15 packs") << 15
                              << makePoll("15", "1", "1", "", "",
                                          {"1", "0", "1", "1", "0", "0", "0", "0", "1"})
                              << L{{"9", 0, ""}, {"2", 99, ""}, {"13", 99, ""}, {"1", 99, ""}};
    QTest::newRow("15 non-zero is on") << 15 << makePoll("15", "1", "1", "", "", {"5", "-1", "x"})
                                       << L{{"3", 0, ""}, {"1", 99, ""}, {"3", 99, ""}};
    QTest::newRow("16 string") << 16 << makePoll("16", "2", "3", "6", "10", {"AB", "C"})
                               << L{{"6", 0, ""}, {"12", 99, ""}, {"AB", 6, "STRING"}, {"C", 6, "STRING"}};
    QTest::newRow("16 short write list")
        << 16 << makePoll("16", "3", "1", "0", "10", {"5"})
        << L{{"3", 0, ""}, {"6", 99, ""}, {"5", 0, "10"}, {"", 0, "10"}, {"", 0, "10"}};
    QTest::newRow("16 count 0") << 16 << makePoll("16", "0", "1", "0", "10", {"5"})
                                << L{{"0", 0, ""}, {"0", 99, ""}};
    QTest::newRow("16 negative product")
        << 16 << makePoll("16", "-2147483648", "2147483647", "0", "", {}) << L{{"-1", 0, ""}, {"-2", 99, ""}};
    QTest::newRow("16 huge product") << 16 << makePoll("16", "0", "-2147483648", "0", "", {})
                                     << L{{"0", 0, ""}, {"0", 99, ""}};
    QTest::newRow("16 squared minimum") << 16 << makePoll("16", "-2147483648", "-2147483648", "0", "", {})
                                        << L{{"65536", 0, ""}, {"131072", 99, ""}};
    QTest::newRow("unknown function") << 7 << read << L{};
}

void TestValueCoding::requestItems()
{
    QFETCH(int, function);
    QFETCH(Poll, poll);
    QFETCH(QList<RequestItem>, items);
    const QList<RequestItem> actual = ::requestItems(function, poll);
    QCOMPARE(actual.size(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(actual.at(i).text, items.at(i).text);
        QCOMPARE(actual.at(i).type, items.at(i).type);
        QCOMPARE(actual.at(i).order, items.at(i).order);
    }
}

void TestValueCoding::pollValues_data()
{
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("values");

    auto reg = [](const char *type, const char *order, const char *addrperitem = "1") {
        return makePoll("3", "10", addrperitem, type, order, {"0"});
    };
    QTest::newRow("uInt16 odd byte ignored")
        << reg("0", "10") << QByteArray::fromHex("010203") << QStringList{"258"};
    QTest::newRow("uInt16 01") << reg("0", "01") << QByteArray::fromHex("0102") << QStringList{"513"};
    QTest::newRow("uInt16 empty type")
        << reg("", "") << QByteArray::fromHex("FFFF0001") << QStringList{"65535", "1"};
    QTest::newRow("uInt32 1032") << reg("1", "1032") << QByteArray::fromHex("33441122")
                                 << QStringList{"287454020"};
    QTest::newRow("uInt32 empty order")
        << reg("1", "") << QByteArray::fromHex("11223344") << QStringList{"287454020"};
    QTest::newRow("uInt32 max") << reg("1", "3210") << QByteArray::fromHex("FFFFFFFF")
                                << QStringList{"4294967295"};
    QTest::newRow("uInt32 short data") << reg("1", "3210") << QByteArray::fromHex("FFFFFF") << QStringList{};
    QTest::newRow("Float32 pi") << reg("3", "3210") << QByteArray::fromHex("40490FDB")
                                << QStringList{"3.14159"};
    QTest::newRow("Float32 nan") << reg("3", "3210") << QByteArray::fromHex("7FC00000") << QStringList{"nan"};
    QTest::newRow("Int64 -1") << reg("2", "76543210") << QByteArray(8, '\xFF') << QStringList{"-1"};
    QTest::newRow("Int64 lsb first") << reg("2", "01234567") << QByteArray::fromHex("0100000000000080")
                                     << QStringList{"-9223372036854775807"};
    QTest::newRow("Double64 -0.5") << reg("4", "76543210") << QByteArray::fromHex("BFE0000000000000")
                                   << QStringList{"-0.5"};
    QTest::newRow("SpecialInt signed")
        << reg("5", "3210") << QByteArray::fromHex("FFFFFFFE00000001") << QStringList{"-2", "1"};
    QTest::newRow("String two items")
        << reg("6", "10", "2") << QByteArray::fromHex("4142004344454647") << QStringList{"AB", "DEFG"};
    QTest::newRow("String leading zero")
        << reg("6", "01", "1") << QByteArray::fromHex("0041") << QStringList{""};
    QTest::newRow("String utf-8") << reg("6", "10", "1") << QByteArray::fromHex("C3A9") << QStringList{"é"};
    QTest::newRow("String addrperitem 0")
        << reg("6", "10", "0") << QByteArray::fromHex("4142") << QStringList{};
    QTest::newRow("type outside") << reg("9", "10") << QByteArray::fromHex("0102") << QStringList{};
    QTest::newRow("type negative") << reg("-1", "10") << QByteArray::fromHex("0102") << QStringList{};
    QTest::newRow("order of another type")
        << reg("0", "3210") << QByteArray::fromHex("0102") << QStringList{"258"};
    QTest::newRow("order not digits")
        << reg("1", "abcd") << QByteArray::fromHex("00000102") << QStringList{"258"};
    QTest::newRow("no data") << reg("0", "10") << QByteArray() << QStringList{};
    QTest::newRow("more data than count")
        << reg("0", "10") << QByteArray::fromHex("000100020003") << QStringList{"1", "2", "3"};
    QTest::newRow("input registers") << makePoll("4", "1", "1", "0", "10", {}) << QByteArray::fromHex("0007")
                                     << QStringList{"7"};

    QTest::newRow("coils 10") << makePoll("1", "10", "1", "", "", {}) << QByteArray::fromHex("0502")
                              << QStringList{"1", "0", "1", "0", "0", "0", "0", "0", "0", "1"};
    QTest::newRow("coils no data") << makePoll("2", "3", "1", "", "", {}) << QByteArray()
                                   << QStringList{"0", "0", "0"};
    QTest::newRow("coils count 0") << makePoll("1", "0", "1", "", "", {}) << QByteArray::fromHex("FF")
                                   << QStringList{};

    QTest::newRow("5 first value") << makePoll("5", "1", "1", "", "", {"1", "0"})
                                   << QByteArray::fromHex("FF00") << QStringList{"1"};
    QTest::newRow("6 no values") << makePoll("6", "1", "1", "", "", {}) << QByteArray() << QStringList{};
    QTest::newRow("15 write list") << makePoll("15", "2", "1", "", "", {"1", "0"}) << QByteArray()
                                   << QStringList{"1", "0"};
    QTest::newRow("16 write list, data ignored") << makePoll("16", "2", "1", "0", "10", {"7", "x"})
                                                 << QByteArray::fromHex("00010002") << QStringList{"7", "x"};
    QTest::newRow("unknown function")
        << makePoll("8", "2", "1", "0", "10", {"7"}) << QByteArray::fromHex("0001") << QStringList{};
}

void TestValueCoding::pollValues()
{
    QFETCH(Poll, poll);
    QFETCH(QByteArray, data);
    QTEST(::pollValues(poll, data, DataTypeTable()), "values");
}

void TestValueCoding::formatFloat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("pi") << 3.14159265 << "3.14159";
    QTest::newRow("million") << 1e6 << "1e+06";
    QTest::newRow("rounded to exponent") << 1234567.0 << "1.23457e+06";
    QTest::newRow("small fixed") << 0.0001 << "0.0001";
    QTest::newRow("small exponent") << 1e-5 << "1e-05";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "inf";
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "nan";
}

void TestValueCoding::formatFloat()
{
    QFETCH(double, value);
    QTEST(::formatFloat(value), "text");
}

QTEST_GUILESS_MAIN(TestValueCoding)
#include "tst_valuecoding.moc"
