#include "data/datatypetable.h"
#include "data/functiontable.h"

#include <QtTest>

#include <climits>

class TestTables : public QObject
{
    Q_OBJECT

private slots:
    void functions_data();
    void functions();
    void dataTypes_data();
    void dataTypes();
    void outsideTheTables();
};

// Every lookup of every entry, in table order.
void TestTables::functions_data()
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
    for (int code : {0, 7, 14, 17, 255, INT_MIN, INT_MAX})
        QTest::addRow("unknown %d", code) << code << QString() << 0 << false << false << 0 << 0;
}

void TestTables::functions()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(int, index);
    const FunctionTable table;
    QCOMPARE(table.text(code), text);
    QCOMPARE(table.index(code), index);
    QTEST(table.coil(code), "coil");
    QTEST(table.write(code), "write");
    QTEST(table.replyBaseLength(code), "replyBaseLength");
    QTEST(table.byteCountIndex(code), "byteCountIndex");
    QCOMPARE(table.count(), 8);
    if (!text.isEmpty()) {
        QCOMPARE(table.texts().value(index), text);
        QCOMPARE(table.codeAt(index), code);
    }
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
    for (int type : {-1, 7, INT_MIN, INT_MAX})
        QTest::addRow("unknown %d", type) << type << QString() << 0 << QStringList();
}

void TestTables::dataTypes()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(int, byteSize);
    QFETCH(QStringList, orders);
    const DataTypeTable table;
    QCOMPARE(table.name(type), name);
    QCOMPARE(table.byteSize(type), byteSize);
    QCOMPARE(table.orders(type), orders);
    QCOMPARE(table.count(), 7);
    if (!name.isEmpty()) {
        QCOMPARE(table.names().value(type), name);
        QCOMPARE(DataTypeTable::ordersForSize(byteSize), orders);
    }
}

void TestTables::outsideTheTables()
{
    const FunctionTable functions;
    for (int index : {-1, 8, INT_MAX})
        QCOMPARE(functions.codeAt(index), 0);
    for (int bytes : {0, 1, 6, -4})
        QCOMPARE(DataTypeTable::ordersForSize(bytes), QStringList());
}

QTEST_GUILESS_MAIN(TestTables)
#include "tst_tables.moc"
