#include "modbus/replycollector.h"

#include "data/functiontable.h"

void ReplyCollector::expect(int baseLength, int countIndex, bool serialLine)
{
    replyBaseLength = baseLength;
    replyCountIndex = countIndex;
    serial = serialLine;
}

void ReplyCollector::expectReply(const FunctionTable &functions, int function, bool serialLine)
{
    const int header = serialLine ? 0 : 6;
    const int countIndex = functions.byteCountIndex(function);
    expect(functions.replyBaseLength(function) + header, countIndex == -1 ? -1 : countIndex + header,
           serialLine);
}

ReplyCollector::Outcome ReplyCollector::check(bool channelOpen, const QByteArray &incoming,
                                              bool stopRequested, int tickMs)
{
    if (!channelOpen)
        return waitTick(QStringLiteral("Failed to connect to port"), stopRequested, tickMs);
    rxBuffer += incoming;

    const int size = rxBuffer.size();
    if (lastRxSize >= size) {
        return waitTick(QStringLiteral(" error, ") + QString::number(size)
                            + QStringLiteral(" bytes have been recieved"),
                        stopRequested, tickMs);
    }
    lastRxSize = size;
    if (replyCountIndex == -1)
        expectedLength = replyBaseLength;
    else if (replyCountIndex >= 0 && replyCountIndex < size)
        expectedLength = quint8(rxBuffer.at(replyCountIndex)) + replyBaseLength + (serial ? 2 : 0);
    else
        expectedLength = CountNotYetKnown;
    replyWaitMs = 0;

    if (size >= expectedLength) {
        lastRxSize = 0;
        return Outcome::Complete;
    }
    // The wait was just reset, so this only matters when a stop is pending.
    return waitTick(QString(), stopRequested, tickMs);
}

ReplyCollector::Outcome ReplyCollector::waitTick(const QString &error, bool stopRequested, int tickMs)
{
    if (stopRequested) {
        replyWaitMs = 0;
        lastRxSize = 0;
        return Outcome::Abandoned;
    }
    replyWaitMs += tickMs;
    if (replyWaitMs > timeoutMs - 1) {
        m_error = error;
        replyWaitMs = 0;
        lastRxSize = 0;
        return Outcome::Failed;
    }
    return Outcome::Waiting;
}

QByteArray ReplyCollector::data() const
{
    QByteArray bytes = rxBuffer;
    if (serial && bytes.size() > 2)
        bytes.chop(2);
    // A fixed-length reply (index -1) keeps everything; the start never
    // passes the end of what arrived.
    const int start = qBound(0, replyCountIndex + 1, bytes.size());
    return bytes.mid(start);
}
