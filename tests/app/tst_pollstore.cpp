#include "app/framecounter.h"
#include "app/pollstore.h"

#include <QtTest>

class TestPollStore : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void pollNumber();
    void incrementedCount_data();
    void incrementedCount();
};

// 99 records of the same defaults; filling again replaces edits and does
// not grow the lists.
void TestPollStore::defaults()
{
    Poll expected;
    expected.slave = "1";
    expected.addrperitem = "1";
    expected.function = "3";
    expected.startaddr = "1";
    expected.val1 = "1";
    expected.write = QStringList{"0"};
    expected.desc = QStringList{""};

    fillPollDefaults();
    PollStore[41].function = "16";
    PollStore[41].write << "7";
    PollStore[41].desc << "pump";
    PollStore[41].val3 = "3210";
    fillPollDefaults();
    QCOMPARE(int(PollStore.size()), 99);
    for (const Poll &poll : PollStore) {
        QCOMPARE(poll, expected);
        QVERIFY(poll.polldesc.isEmpty() && poll.val2.isEmpty() && poll.val3.isEmpty());
    }
}

void TestPollStore::pollNumber()
{
    QCOMPARE(::pollNumber(1), &PollStore[0]);
    QCOMPARE(::pollNumber(99), &PollStore[98]);
    for (int outside : {0, -5, 100})
        QVERIFY(::pollNumber(outside) == nullptr);
}

void TestPollStore::incrementedCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("next");
    auto row = [](const char *name, const char *text, const char *next) {
        QTest::newRow(name) << QString(text) << QString(next);
    };
    row("zero", "0", "1");
    row("past int", "2147483647", "2147483648");
    row("empty", "", "1");
    row("trailing junk", "12abc", "1");
    row("hex is not decimal", "0x10", "1");
    row("negative", "-3", "-2");
    row("largest", "9223372036854775807", "9223372036854775807");
    row("too large", "99999999999999999999", "1");
}

void TestPollStore::incrementedCount()
{
    QFETCH(QString, text);
    QTEST(::incrementedCount(text), "next");
}

QTEST_GUILESS_MAIN(TestPollStore)
#include "tst_pollstore.moc"
