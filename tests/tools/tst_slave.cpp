// The program's requests against real slaves: pollwright-slave over TCP and
// over RTU through a pty pair (libmodbus checks our CRC), and the pymodbus
// slave; what the slaves answer is what the other tests rely on. Then the demo
// poll file against pollwright-slave --demo.
#include "data/datatypetable.h"
#include "data/valuedecoding.h"
#include "modbus/framing.h"
#include "storage/pollfile.h"
#include "support/ptypair.h"
#include "support/rows.h"
#include "support/slaveprocess.h"

#include <QSerialPort>
#include <QTcpSocket>

namespace {

// Sends the request's bytes as they are over a fresh connection to the port
// or the serial device, and reads until length bytes have come or ms passed.
QByteArray exchange(const QString &device, quint16 port, const QByteArray &request, int length, int ms = 2000)
{
    QSerialPort serial(device);
    QTcpSocket socket;
    QIODevice &line = device.isEmpty() ? static_cast<QIODevice &>(socket) : serial;
    if (device.isEmpty())
        socket.connectToHost("127.0.0.1", port);
    if (device.isEmpty() ? !socket.waitForConnected(ms) : !serial.open(QIODevice::ReadWrite))
        return "cannot open: " + line.errorString().toUtf8();
    const QDeadlineTimer deadline(ms);
    line.write(request);
    line.waitForBytesWritten(ms); // waiting to read sends what is left
    QByteArray reply;
    // false on the deadline, on an error or when the peer has closed
    while (reply.size() < length
           && (line.bytesAvailable() || line.waitForReadyRead(int(deadline.remainingTime()))))
        reply += line.readAll();
    return reply;
}

} // namespace

class TestSlave : public QObject
{
    Q_OBJECT

private slots:
    void answers_data() { addRows("rows/slaves.tsv"); }
    void answers()
    {
        const QString kind = cell("kind");
        if (kind == "pymodbus" && !SlaveProcess::missingPymodbus().isEmpty())
            QSKIP(qPrintable(SlaveProcess::missingPymodbus()));
        PtyPair pty; // outlives the slave that has its other end open
        SlaveProcess slave;
        const QStringList args = cell("args").split(' ', Qt::SkipEmptyParts);
        QVERIFY2(kind == "tcp"   ? slave.startTcp(args)
                 : kind == "rtu" ? pty.start() && slave.startRtu(pty.slaveSide(), args)
                                 : slave.startPymodbus(args),
                 qPrintable(slave.errorString() + pty.errorString()));

        const Request request = kind == "rtu" ? rtuRequest(pollOfColumns()) : tcpRequest(pollOfColumns());
        const QByteArray reply = QByteArray::fromHex(cell("=reply").toLatin1());
        const QByteArray answer =
            exchange(kind == "rtu" ? pty.masterSide() : QString(), slave.port(), request.bytes,
                     qMax(reply.size(), 5), reply.isEmpty() ? 500 : 2000);
        QCOMPARE(answer.toHex(' '), reply.toHex(' '));

        // Logged as it arrived (the pymodbus slave keeps no log), and in the dump after a write.
        if (kind != "pymodbus" && !reply.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(slave.requests().value(0).bytes.toHex(), request.bytes.toHex(), 1000);
        const QByteArray dump = QByteArray::fromHex(cell("dump").section('=', 1).toLatin1());
        const int from = 2 * cell("dump").section('=', 0, 0).toInt();
        QTRY_COMPARE_WITH_TIMEOUT(slave.holdings().mid(from, dump.size()).toHex(), dump.toHex(), 1000);
        QVERIFY(slave.stop()); // ends by itself with status 0
    }

    void demo_data() { addRows("rows/demo.tsv"); }
    void demo()
    {
        QCOMPARE(loadPollFile(POLLWRIGHT_DEMO_POLLS), QString());
        SlaveProcess slave;
        QVERIFY2(slave.startTcp({"--demo"}), qPrintable(slave.errorString()));
        const Poll &poll = *pollNumber(cell("number").toInt());
        QVERIFY(Sequence.contains(cell("number").toInt()));
        const qint64 from = QDateTime::currentSecsSinceEpoch();
        const QByteArray reply = exchange({}, slave.port(), tcpRequest(poll).bytes, cell("length").toInt());
        const qint64 to = QDateTime::currentSecsSinceEpoch();
        QCOMPARE(QString::number(reply.size()), cell("length"));
        // Every described row is filled.
        QStringList values;
        for (const PollItem &item : pollItems(poll, reply.mid(9), {}))
            values << item.value;
        QCOMPARE(values.size(), poll.desc.size());
        const QString pattern = cell("=values").replace("$now", QString("(%1|%2)").arg(from).arg(to));
        QVERIFY2(QRegularExpression(pattern).match(values.join(',')).hasMatch(),
                 qPrintable(values.join(',')));
    }
};

QTEST_GUILESS_MAIN(TestSlave)
#include "tst_slave.moc"
