#include "modbus/messagelog.h"

#include <QtTest>

// The message log and report file texts, character for character.
class TestMessageLog : public QObject
{
    Q_OBJECT

private slots:
    void entries_data();
    void entries();
    void trimming_data();
    void trimming();
    void reportRecord_data();
    void reportRecord();
    void reportFileName();
};

void TestMessageLog::entries_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");

    const QString separator1 = QString(34, '-') + "Poll:1" + QString(50, '-') + "\n";
    const QTime time(10, 15, 1, 482);
    QTest::newRow("sent") << MessageLog::sentEntry(QTime(10, 15, 1, 460),
                                                   {"01", "03", "00", "01", "00", "01", "D5", "CA"})
                          << "(10:15:01.460) Sent: 01 03 00 01 00 01 D5 CA \n";
    QTest::newRow("sent nothing") << MessageLog::sentEntry(QTime(0, 0, 0, 5), {})
                                  << "(00:00:00.005) Sent: \n";
    QTest::newRow("response") << MessageLog::responseEntry(1, time, QByteArray::fromHex("010302002A399B"))
                              << separator1 + "(10:15:01.482) Response: 01 03 02 00 2A 39 9B\n";
    QTest::newRow("empty response") << MessageLog::responseEntry(1, time, QByteArray())
                                    << separator1 + "(10:15:01.482) Response:\n";
    QTest::newRow("error") << MessageLog::errorEntry(1, "10:15:02", " error, 0 bytes have been recieved")
                           << separator1 + "(10:15:02) Response: error, 0 bytes have been recieved\n";
    QTest::newRow("separator 99") << MessageLog::separator(99)
                                  << QString(34, '-') + "Poll:99" + QString(50, '-') + "\n";
}

void TestMessageLog::entries()
{
    QFETCH(QString, entry);
    QTEST(entry, "expected");
}

void TestMessageLog::trimming_data()
{
    QTest::addColumn<int>("oldLength");
    QTest::addColumn<int>("entryLength");
    QTest::addColumn<int>("resultLength");
    QTest::addColumn<int>("oldKept"); // leading characters of the old text kept

    QTest::newRow("short log grows") << 2000 << 100 << 2100 << 2000;
    QTest::newRow("at the limit grows") << 3000 << 100 << 3100 << 3000;
    QTest::newRow("3500 and a short entry") << 3500 << 200 << 3000 << 2800;
    QTest::newRow("long log") << 9000 << 100 << 6100 << 2900;
    QTest::newRow("entry longer than the cut") << 3001 << 3500 << 3501 << 0;
}

void TestMessageLog::trimming()
{
    QFETCH(int, oldLength);
    QFETCH(int, entryLength);
    QFETCH(int, resultLength);
    QFETCH(int, oldKept);

    QString old;
    for (int i = 0; i < oldLength; ++i)
        old += QChar('a' + i % 26);
    const QString entry(entryLength, '#');
    const QString result = MessageLog::withEntry(old, entry);
    QCOMPARE(result.size(), resultLength);
    QVERIFY(result.startsWith(entry.left(qMin(entryLength, 3000))));
    if (entryLength < 3000) {
        QCOMPARE(result.mid(entryLength, oldKept), old.left(oldKept));
        if (oldLength > 3000) // what follows the cut is the old text from 6000 - entry on
            QCOMPARE(result.mid(3000), old.mid(6000 - entryLength));
    }
}

void TestMessageLog::reportRecord_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("record");
    const QString slashes = QString(74, '/') + "\n";
    QTest::newRow("serial") << true
                            << "Poll 7 at 10:15:02 Error:  error, 0 bytes have been recieved.\n"
                               "Slave: 17 / Function: 3 / Address: 100\n"
                               "Port: /dev/ttyUSB0\n"
                                   + slashes;
    QTest::newRow("tcp") << false
                         << "Poll 7 at 10:15:02 Error:  error, 0 bytes have been recieved.\n"
                            "Slave: 17 / Function: 3 / Address: 100\n"
                            "Ip: 127.0.0.1 / Port: 1502\n"
                                + slashes;
}

void TestMessageLog::reportRecord()
{
    QFETCH(bool, serial);
    Poll poll;
    poll.slave = "17";
    poll.function = "3";
    poll.startaddr = "100";
    ConnectionSettings connection;
    connection.serialMode = serial;
    connection.portName = "/dev/ttyUSB0";
    connection.ipAddress = "127.0.0.1";
    connection.tcpPort = 1502;
    QTEST(MessageLog::reportRecord(7, "10:15:02", " error, 0 bytes have been recieved", poll, connection),
          "record");
}

void TestMessageLog::reportFileName()
{
    QCOMPARE(MessageLog::reportFileName("/var/log/pw", QDate(2026, 12, 4)),
             QString("/var/log/pw/Fri Dec 4 2026.txt"));
}

QTEST_GUILESS_MAIN(TestMessageLog)
#include "tst_messagelog.moc"
