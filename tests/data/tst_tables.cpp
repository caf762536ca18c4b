#include "data/datatypetable.h"
#include "data/functiontable.h"

#include <QtTest>

#include <climits>

class TestTables : public QObject
{
    Q_OBJECT

private slots:
    void functionLookups_data();
    void functionLookups();
    void functionTexts();
    void codeAt_data();
    void codeAt();
    void dataTypes_data();
    void dataTypes();
    void dataTypeNames();
    void ordersForSize_data();
    void ordersForSize();
};

void TestTables::functionLookups_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("coil");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("replyBaseLength");
    QTest::addColumn<int>("byteCountIndex");

    QTest::newRow("1") << 1 << "01 - Read Coil Status" << 0 << true << false << 3 << 2;
    QTest::newRow("2") << 2 << "02 - Read Input Coil" << 1 << true << false << 3 << 2;
    QTest::newRow("3") << 3 << "03 - Read Holding Reg" << 2 << false << false << 3 << 2;
    QTest::newRow("4") << 4 << "04 - Read Input Reg" << 3 << false << false << 3 << 2;
    QTest::newRow("5") << 5 << "05 - Force Single Coil" << 4 << true << true << 6 << -1;
    QTest::newRow("6") << 6 << "06 - Preset Single Register" << 5 << false << true << 6 << -1;
    QTest::newRow("15") << 15 << "15 - Force Multiple Coils" << 6 << true << true << 6 << -1;
    QTest::newRow("16") << 16 << "16 - Write Reg" << 7 << false << true << 6 << -1;

    // Codes outside the table answer neutral values: the editor then shows the
    // first entry and the table header reads "Function:" alone.
    for (int code : {0, -1, 7, 8, 14, 17, 23, 43, 99, 255, INT_MIN, INT_MAX})
        QTest::addRow("unknown %d", code) << code << QString() << 0 << false << false << 0 << 0;
}

void TestTables::functionLookups()
{
    QFETCH(int, code);
    const FunctionTable table;
    QTEST(table.text(code), "text");
    QTEST(table.index(code), "index");
    QTEST(table.coil(code), "coil");
    QTEST(table.write(code), "write");
    QTEST(table.replyBaseLength(code), "replyBaseLength");
    QTEST(table.byteCountIndex(code), "byteCountIndex");
}

void TestTables::functionTexts()
{
    const FunctionTable table;
    QCOMPARE(table.count(), 8);
    const QStringList expected{"01 - Read Coil Status",     "02 - Read Input Coil",
                               "03 - Read Holding Reg",     "04 - Read Input Reg",
                               "05 - Force Single Coil",    "06 - Preset Single Register",
                               "15 - Force Multiple Coils", "16 - Write Reg"};
    QCOMPARE(table.texts(), expected);
}

void TestTables::codeAt_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("code");
    const int codes[] = {1, 2, 3, 4, 5, 6, 15, 16};
    for (int i = 0; i < 8; ++i)
        QTest::addRow("index %d", i) << i << codes[i];
    QTest::newRow("index -1") << -1 << 0;
    QTest::newRow("index 8") << 8 << 0;
    QTest::newRow("index max") << INT_MAX << 0;
}

void TestTables::codeAt()
{
    QFETCH(int, index);
    const FunctionTable table;
    QTEST(table.codeAt(index), "code");
    // Index and code lookups are inverse for every entry of the table.
    if (table.codeAt(index) != 0)
        QCOMPARE(table.index(table.codeAt(index)), index);
}

void TestTables::dataTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<QStringList>("orders");

    const QStringList two{"10", "01"};
    const QStringList four{"3210", "0123", "1032", "2301"};
    const QStringList eight{"76543210", "01234567"};
    QTest::newRow("0") << 0 << "uInt16" << 2 << two;
    QTest::newRow("1") << 1 << "uInt32" << 4 << four;
    QTest::newRow("2") << 2 << "Int64" << 8 << eight;
    QTest::newRow("3") << 3 << "Float32" << 4 << four;
    QTest::newRow("4") << 4 << "Double64" << 8 << eight;
    QTest::newRow("5") << 5 << "SpecialInt" << 4 << four;
    QTest::newRow("6") << 6 << "String" << 2 << two;
    for (int type : {-1, 7, 99, INT_MIN, INT_MAX})
        QTest::addRow("unknown %d", type) << type << QString() << 0 << QStringList();
}

void TestTables::dataTypes()
{
    QFETCH(int, type);
    const DataTypeTable table;
    QTEST(table.name(type), "name");
    QTEST(table.byteSize(type), "byteSize");
    QTEST(table.orders(type), "orders");
}

void TestTables::dataTypeNames()
{
    const DataTypeTable table;
    QCOMPARE(table.count(), 7);
    const QStringList expected{"uInt16", "uInt32", "Int64", "Float32", "Double64", "SpecialInt", "String"};
    QCOMPARE(table.names(), expected);
    // Switching a poll from uInt32 to uInt16 replaces the offered orders.
    QVERIFY(table.orders(DataTypeTable::UInt32) != table.orders(DataTypeTable::UInt16));
}

void TestTables::ordersForSize_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QStringList>("orders");
    QTest::newRow("2") << 2 << QStringList{"10", "01"};
    QTest::newRow("4") << 4 << QStringList{"3210", "0123", "1032", "2301"};
    QTest::newRow("8") << 8 << QStringList{"76543210", "01234567"};
    QTest::newRow("0") << 0 << QStringList();
    QTest::newRow("1") << 1 << QStringList();
    QTest::newRow("6") << 6 << QStringList();
    QTest::newRow("-4") << -4 << QStringList();
}

void TestTables::ordersForSize()
{
    QFETCH(int, bytes);
    QTEST(DataTypeTable::ordersForSize(bytes), "orders");
    // Every order names each byte of the item exactly once.
    for (const QString &order : DataTypeTable::ordersForSize(bytes)) {
        QCOMPARE(order.size(), bytes);
        for (int b = 0; b < bytes; ++b)
            QVERIFY2(order.contains(QString::number(b)), qPrintable(order));
    }
}

QTEST_GUILESS_MAIN(TestTables)
#include "tst_tables.moc"
