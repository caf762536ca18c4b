#pragma once

#include "data/datatypetable.h"
#include "data/functiontable.h"
#include "data/valuedecoding.h"
#include "modbus/framing.h"
#include "modbus/replycollector.h"

#include <QDateTime>
#include <QList>
#include <QObject>

class QEventLoop;
class Transport;

// What became of one poll sent by PollRunner.
struct PollResult
{
    int poll = 0;
    QDateTime sent;     // when it was framed
    QDateTime answered; // when the reply was whole or the poll failed
    bool ok = false;
    bool abandoned = false; // cut short by an interrupt: neither valid nor an error
    QString error;          // the window's text for a failed poll
    Request request;
    QByteArray reply; // every byte received, CRC and MBAP header included
    QList<PollItem> items;
};

// Sends polls of PollStore over the line Connection describes, one at a time
// and with the window's framing, reply collection and decoding, without a
// window. It waits on the transport's signals, not on a tick.
class PollRunner : public QObject
{
    Q_OBJECT

public:
    explicit PollRunner(QObject *parent = nullptr);
    ~PollRunner() override;

    // Opens the line; false with the window's text when it cannot.
    bool open(QString *error);
    void setTimeout(int ms) { replies.timeoutMs = ms; }

    // Sends poll 1..99 and waits for its reply, its time-out or an interrupt.
    PollResult run(int number);
    // Waits ms milliseconds, or until an interrupt.
    void pause(int ms);

    // The first interrupt lets the poll in flight finish and ends the run;
    // the second one drops that poll at once.
    void interrupt();
    bool stopping() const { return stopAsked; }

private:
    bool waitForLine(bool serial);
    void waitForEvent(int ms);
    void wake();

    Transport *transport;
    ReplyCollector replies;
    FunctionTable functions;
    DataTypeTable types;
    QEventLoop *loop = nullptr;
    bool stopAsked = false;
    bool abandon = false;
};
