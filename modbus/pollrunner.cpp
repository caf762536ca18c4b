#include "modbus/pollrunner.h"

#include "modbus/connectionsettings.h"
#include "modbus/messagelog.h"
#include "modbus/transport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

PollRunner::PollRunner(QObject *parent)
    : QObject(parent)
    , transport(new Transport(this))
{
    connect(transport, &Transport::bytesArrived, this, &PollRunner::wake);
    connect(transport, &Transport::lineChanged, this, &PollRunner::wake);
}

PollRunner::~PollRunner()
{
    transport->closeSerialPort();
}

bool PollRunner::open(QString *error)
{
    QString text;
    if (!transport->connectPort(&text)) {
        *error = text;
        return false;
    }
    // A device that went away keeps reporting errors: closed, it fails the
    // poll in flight at its time-out and is opened again for the next one.
    if (QSerialPort *port = transport->serialPort)
        connect(port, &QSerialPort::errorOccurred, this, [port](QSerialPort::SerialPortError error) {
            if (error == QSerialPort::ResourceError)
                port->close();
        });
    return true;
}

PollResult PollRunner::run(int number)
{
    PollResult result;
    result.poll = number;
    result.sent = QDateTime::currentDateTime();
    const Poll *poll = pollNumber(number);
    if (!poll)
        return result;
    const bool serial = Connection.serialMode;
    result.request = serial ? rtuRequest(*poll) : tcpRequest(*poll);
    const int function = poll->function.toInt(nullptr, 10);

    const auto finish = [&](const QString &error) {
        result.answered = QDateTime::currentDateTime();
        result.reply = replies.buffer();
        result.error = error;
        result.ok = error.isNull();
        transport->endRequest(serial, !result.ok);
        replies.replyWaitMs = 0;
        replies.lastRxSize = 0;
        return result;
    };

    if (!waitForLine(serial)) {
        if (abandon) {
            result.abandoned = true;
            return result;
        }
        return finish(MessageLog::lineError(serial));
    }
    replies.clear();
    if (serial)
        transport->writeSerial(result.request.bytes);
    else
        transport->writeTcp(result.request.bytes);
    replies.expectReply(functions, function, serial);

    // Each check counts the time since the one before, on one clock so that
    // no fraction of a millisecond is lost; new bytes reset the wait.
    QElapsedTimer clock;
    clock.start();
    qint64 checked = 0;
    for (;;) {
        const bool open = transport->replyChannelOpen(serial);
        const QByteArray incoming = open ? transport->readAvailable(serial) : QByteArray();
        const qint64 now = clock.elapsed();
        const int tickMs = int(now - checked);
        checked = now;
        switch (replies.check(open, incoming, abandon, tickMs)) {
        case ReplyCollector::Outcome::Waiting:
            waitForEvent(replies.timeoutMs - replies.replyWaitMs);
            break;
        case ReplyCollector::Outcome::Abandoned:
            result.abandoned = true;
            result.reply = replies.buffer();
            transport->endRequest(serial, true);
            return result;
        case ReplyCollector::Outcome::Failed:
            return finish(replies.error());
        case ReplyCollector::Outcome::Complete:
            finish(QString());
            result.items = pollItems(*poll, functions.write(function) ? QByteArray() : replies.data(), types);
            return result;
        }
    }
}

bool PollRunner::waitForLine(bool serial)
{
    const auto wait = [this](int ms) {
        if (!abandon)
            waitForEvent(ms);
    };
    const bool ready = serial ? transport->readySerial(wait) : transport->readyTcp(wait);
    return ready && !abandon;
}

void PollRunner::pause(int ms)
{
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = ms; left > 0 && !stopAsked; left = ms - clock.elapsed())
        waitForEvent(int(left));
}

void PollRunner::interrupt()
{
    if (stopAsked)
        abandon = true;
    stopAsked = true;
    wake();
}

void PollRunner::wake()
{
    if (loop)
        loop->quit();
}

void PollRunner::waitForEvent(int ms)
{
    if (ms <= 0)
        return;
    QEventLoop local;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &local, &QEventLoop::quit);
    timer.start(ms);
    loop = &local;
    local.exec();
    loop = nullptr;
}
