#pragma once

#include <QByteArray>
#include <QString>

class FunctionTable;

// Gathers the reply to one request tick by tick and judges it complete by its
// length alone: the byte-count byte, when the function has one, says how
// long it must be. CRC, slave, function and exception replies are not
// examined, so an exception reply runs into the time-out.
class ReplyCollector
{
public:
    static constexpr int TimeoutMs = 1500;
    // Expected length while the byte-count byte has not arrived yet.
    static constexpr int CountNotYetKnown = 99999;

    enum class Outcome {
        Waiting,  // keep ticking
        Complete, // the reply is whole: take data()
        Failed,   // time-out or a closed transport: report error()
        Abandoned // a stop was requested: drop the reply silently
    };

    // Before each request: the fixed reply length and the index of the
    // byte-count byte (-1 for fixed-length replies), as the transport frames them.
    void expect(int baseLength, int countIndex, bool serial);
    // The same from the function table: a TCP reply carries the 6 MBAP bytes
    // before the unit id on top.
    void expectReply(const FunctionTable &functions, int function, bool serial);
    // A new request starts with an empty buffer.
    void clear() { rxBuffer.clear(); }

    // One check: channelOpen says whether the transport can still deliver,
    // incoming is what it delivered since the last check, tickMs the time one
    // tick stands for.
    Outcome check(bool channelOpen, const QByteArray &incoming, bool stopRequested, int tickMs = 1);

    // The error text of a Failed outcome.
    QString error() const { return m_error; }
    // What a complete read reply stores for its poll: the bytes after the
    // byte count, CRC dropped on a serial line; extra bytes are kept.
    QByteArray data() const;
    const QByteArray &buffer() const { return rxBuffer; }

    // The time without new bytes after which a reply has failed.
    int timeoutMs = TimeoutMs;
    int expectedLength = 0;
    int replyWaitMs = 0;
    int lastRxSize = 0;
    int replyBaseLength = 0;
    int replyCountIndex = 0;

private:
    Outcome waitTick(const QString &error, bool stopRequested, int tickMs);

    QByteArray rxBuffer;
    bool serial = false;
    QString m_error;
};
