#include "app/framecounter.h"
#include "app/pollstore.h"

#include <QtTest>

class TestPollStore : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void defaultsReplaceEdits();
    void pollNumber_data();
    void pollNumber();
    void incrementedCount_data();
    void incrementedCount();
};

static Poll expectedDefault()
{
    Poll poll;
    poll.slave = "1";
    poll.addrperitem = "1";
    poll.function = "3";
    poll.startaddr = "1";
    poll.val1 = "1";
    poll.write = QStringList{"0"};
    poll.desc = QStringList{QString()};
    return poll;
}

void TestPollStore::defaults()
{
    fillPollDefaults();
    QCOMPARE(int(PollStore.size()), 99);
    for (const Poll &poll : PollStore) {
        QCOMPARE(poll, expectedDefault());
        QVERIFY(poll.polldesc.isEmpty());
        QVERIFY(poll.val2.isEmpty());
        QVERIFY(poll.val3.isEmpty());
    }
}

void TestPollStore::defaultsReplaceEdits()
{
    fillPollDefaults();
    Poll &poll = PollStore[41];
    poll.function = "16";
    poll.write << "7"
               << "8";
    poll.desc << "pump";
    poll.val3 = "3210";
    fillPollDefaults();
    // Filling twice must not grow the lists: one write value, one description.
    QCOMPARE(PollStore[41], expectedDefault());
}

void TestPollStore::pollNumber_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("element");
    QTest::newRow("first") << 1 << 0;
    QTest::newRow("middle") << 50 << 49;
    QTest::newRow("last") << 99 << 98;
    QTest::newRow("zero") << 0 << -1;
    QTest::newRow("negative") << -5 << -1;
    QTest::newRow("100") << 100 << -1;
}

void TestPollStore::pollNumber()
{
    QFETCH(int, number);
    QFETCH(int, element);
    Poll *poll = ::pollNumber(number);
    if (element < 0)
        QVERIFY(poll == nullptr);
    else
        QCOMPARE(poll, &PollStore[size_t(element)]);
}

void TestPollStore::incrementedCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("next");
    QTest::newRow("zero") << "0"
                          << "1";
    QTest::newRow("counting") << "41"
                              << "42";
    QTest::newRow("past int") << "2147483647"
                              << "2147483648";
    QTest::newRow("empty") << ""
                           << "1";
    QTest::newRow("word") << "status"
                          << "1";
    QTest::newRow("trailing junk") << "12abc"
                                   << "1";
    QTest::newRow("hex is not decimal") << "0x10"
                                        << "1";
    QTest::newRow("negative") << "-3"
                              << "-2";
    QTest::newRow("largest") << "9223372036854775807"
                             << "9223372036854775807";
    QTest::newRow("too large") << "99999999999999999999"
                               << "1";
}

void TestPollStore::incrementedCount()
{
    QFETCH(QString, text);
    QTEST(::incrementedCount(text), "next");
}

QTEST_GUILESS_MAIN(TestPollStore)
#include "tst_pollstore.moc"
