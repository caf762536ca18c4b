// The demo slave against the program's own side: the demo poll file's polls
// are framed as the program frames them, sent to pollwright-slave --demo, and
// the replies decoded with pollValues, so an address, type or byte order that
// disagrees between the slave, the file and the decoder shows up here.
#include "app/pollstore.h"
#include "data/datatypetable.h"
#include "data/valuedecoding.h"
#include "modbus/framing.h"
#include "storage/pollfile.h"
#include "support/exchange.h"
#include "support/slaveprocess.h"

#include <QDateTime>
#include <QThread>
#include <QtTest>

#include <cmath>

namespace {

enum Check { Counter, Sine, Clock, Light, Text };

// The slave's sine: amplitude 100, period 10 s of the wall clock.
constexpr double amplitude = 100.0;
constexpr qint64 periodMs = 10000;
constexpr double pi = 3.14159265358979323846;

double sineAt(qint64 ms)
{
    return amplitude * std::sin(2 * pi * double(ms % periodMs) / double(periodMs));
}

// One poll's decoded values and the wall-clock window the request was
// answered in.
struct Reading
{
    QStringList values;
    qint64 beforeMs = 0;
    qint64 afterMs = 0;
};

// Sends the poll as the program frames it and decodes the reply's data part.
void readPoll(quint16 port, const Poll &poll, Reading &reading)
{
    const int function = poll.function.toInt();
    const int quantity = poll.val1.toInt() * poll.addrperitem.toInt();
    const int dataBytes = function <= 2 ? (quantity + 7) / 8 : 2 * quantity;
    reading.beforeMs = QDateTime::currentMSecsSinceEpoch();
    const QByteArray reply = exchangeTcp(port, tcpRequest(poll).bytes, 9 + dataBytes);
    reading.afterMs = QDateTime::currentMSecsSinceEpoch();
    // MBAP header (7 bytes), function, byte count, data.
    QCOMPARE(reply.size(), 9 + dataBytes);
    QCOMPARE(int(quint8(reply.at(7))), function);
    QCOMPARE(int(quint8(reply.at(8))), dataBytes);
    reading.values = pollValues(poll, reply.mid(9), DataTypeTable());
}

// Both readings, taken apart in time, must match the slave's rule.
void check(Check kind, const Reading &first, const Reading &second)
{
    for (const Reading *reading : {&first, &second}) {
        const QString value = reading->values.value(0);
        const qint64 fromS = reading->beforeMs / 1000, toS = reading->afterMs / 1000;
        switch (kind) {
        case Counter:
            QCOMPARE(reading->values.size(), 1);
            break;
        case Sine: {
            QCOMPARE(reading->values.size(), 1);
            // The slope bounds how far the wave moves while the request is out.
            const double slope = amplitude * 2 * pi / double(periodMs);
            const double tolerance = slope * double(reading->afterMs - reading->beforeMs + 1) + 0.01;
            const double expected = sineAt(reading->beforeMs);
            QVERIFY2(
                std::abs(value.toDouble() - expected) <= tolerance,
                qPrintable(QString("%1, expected %2 within %3").arg(value).arg(expected).arg(tolerance)));
            break;
        }
        case Clock:
            QCOMPARE(reading->values.size(), 1);
            QVERIFY2(value.toLongLong() >= fromS && value.toLongLong() <= toS,
                     qPrintable(QString("%1, expected %2 to %3").arg(value).arg(fromS).arg(toS)));
            break;
        case Light: {
            QCOMPARE(reading->values.size(), 8);
            QCOMPARE(reading->values.count("1"), 1);
            const qint64 lit = reading->values.indexOf("1");
            QVERIFY2(lit == fromS % 8 || lit == toS % 8,
                     qPrintable(QString("coil %1 of 8 lit at second %2").arg(lit + 1).arg(fromS)));
            break;
        }
        case Text:
            QCOMPARE(reading->values, QStringList{"Pollwright demo"});
            break;
        }
    }
    if (kind == Counter)
        QCOMPARE(second.values.value(0).toInt(), (first.values.value(0).toInt() + 1) % 65536);
}

} // namespace

class TestDemoSlave : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void values_data();
    void values();
    void sequenceAnswered();

private:
    SlaveProcess slave;
};

void TestDemoSlave::initTestCase()
{
    QCOMPARE(loadPollFile(POLLWRIGHT_DEMO_POLLS), QString());
    QVERIFY2(slave.startTcp({"--demo"}), qPrintable(slave.errorString()));
}

void TestDemoSlave::values_data()
{
    QTest::addColumn<int>("number"); // in the demo poll file
    QTest::addColumn<int>("kind");
    QTest::newRow("counter, uInt16") << 1 << int(Counter);
    QTest::newRow("sine, Float32 3210") << 2 << int(Sine);
    QTest::newRow("unix time, uInt32 1032") << 3 << int(Clock);
    QTest::newRow("running light, coils") << 4 << int(Light);
    QTest::newRow("text, String") << 5 << int(Text);
}

void TestDemoSlave::values()
{
    QFETCH(int, number);
    QFETCH(int, kind);
    const Poll &poll = *pollNumber(number);
    Reading first, second;
    readPoll(slave.port(), poll, first);
    if (QTest::currentTestFailed())
        return;
    // Far enough apart for the sine to move and the clock to cross a second
    // now and then.
    QThread::msleep(300);
    readPoll(slave.port(), poll, second);
    if (QTest::currentTestFailed())
        return;
    check(Check(kind), first, second);
}

// What the demo runs: every poll of the file's sequence is answered and fills
// each of its described rows.
void TestDemoSlave::sequenceAnswered()
{
    QVERIFY(!Sequence.isEmpty());
    for (const int number : Sequence) {
        const Poll &poll = *pollNumber(number);
        Reading reading;
        readPoll(slave.port(), poll, reading);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(reading.values.size(), poll.desc.size());
    }
}

QTEST_GUILESS_MAIN(TestDemoSlave)
#include "tst_demoslave.moc"
