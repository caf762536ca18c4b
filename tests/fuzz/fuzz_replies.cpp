#include "fuzzing.h"

#include "app/pollstore.h"
#include "data/datatypetable.h"
#include "data/functiontable.h"
#include "data/valuedecoding.h"
#include "modbus/messagelog.h"
#include "modbus/replycollector.h"
#include "modbus/runoutput.h"

#include <QTime>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Arbitrary bytes as replies, collected and decoded the way the main window
// does. Each reply starts with six bytes choosing the poll:
//   0: function (table entry, or a code outside the table), serial or TCP
//      (bit 7), the window's 1 ms ticks or pollwright-run's path (bit 6:
//      100 ms a check against a 300 ms time-out, every reply printed)
//   1: data type index, -1 to 7 (the table has 0 to 6)
//   2: byte order (one of the type's, or any other text)
//   3-4: count of items or coils, 5: addresses per item (signed)
// then control bytes, each followed by its piece of the reply:
//   bits 0-5: piece length (63: the line is closed instead),
//   bit 6: a bytes-arrived check that counts no tick, bit 7: stop requested.
// One collector serves the replies of an input in turn, as in the window.

namespace {

struct Input
{
    const uint8_t *data;
    size_t size;

    bool atEnd() const { return size == 0; }
    uint8_t byte()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
};

void check(bool ok, const char *what)
{
    if (!ok)
        broken(what);
}

// What a complete reply goes through: the message log entry, the data part
// and the poll table's decoding.
void takeReply(const ReplyCollector &replies, const Poll &poll, bool serial, const DataTypeTable &types)
{
    const QByteArray &buffer = replies.buffer();
    check(buffer.size() >= replies.expectedLength, "complete before the expected length arrived");
    const int index = replies.replyCountIndex;
    const int expectedLength = index == -1
                                   ? replies.replyBaseLength
                                   : quint8(buffer.at(index)) + replies.replyBaseLength + (serial ? 2 : 0);
    check(replies.expectedLength == expectedLength, "expected length is not what the byte count says");

    const QTime time = QTime::currentTime();
    const int prefix = MessageLog::responseEntry(1, time, QByteArray()).size() - 1;
    check(MessageLog::responseEntry(1, time, buffer).size() == prefix + 3 * buffer.size() + 1,
          "the response entry does not show every byte");

    const QByteArray data = replies.data();
    check(data.size() <= buffer.size(), "the data part is longer than the reply");
    const QStringList values = pollValues(poll, data, types);
    const int type = poll.val2.toInt();
    const int count = poll.val1.toInt();
    switch (poll.function.toInt()) {
    case 1:
    case 2:
        check(values.size() == qMin(count, MaxCoilValues), "not one value per coil");
        break;
    case 3:
    case 4: {
        const int size = type == DataTypeTable::String ? 2 * poll.addrperitem.toInt() : types.byteSize(type);
        check(values.size() == (size > 0 ? data.size() / size : 0), "not one value per item in the data");
        break;
    }
    default:
        check(values.size() <= poll.write.size(), "more values than the poll writes");
    }
}

// pollwright-run prints every result, in all three formats here.
void printResult(const ReplyCollector &replies, const Poll &poll, bool ok, const DataTypeTable &types)
{
    static FILE *devNull = std::fopen("/dev/null", "w");
    // Every row is made and printed the same way: the tens of thousands of
    // a hand-edited count would only slow the search.
    if (poll.val1.toInt() > 64)
        return;
    PollStore[0] = poll;
    PollResult result;
    result.poll = 1;
    result.ok = ok;
    result.error = replies.error();
    result.reply = replies.buffer();
    if (ok)
        result.items = pollItems(poll, replies.data(), types);
    const int function = poll.function.toInt();
    check(!ok
              || result.items.size()
                     == (function == 5 || function == 6 ? 1 : qMin(poll.val1.toInt(), MaxCoilValues)),
          "not one item row per item");
    for (const auto format : {RunOutput::Format::Table, RunOutput::Format::Csv, RunOutput::Format::Json})
        RunOutput(format, true, devNull, devNull).result(result);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    static const FunctionTable functions;
    static const DataTypeTable types;
    ReplyCollector replies;

    Input input{bytes, size};
    while (!input.atEnd()) {
        const uint8_t choice = input.byte();
        const int code = functions.codeAt(choice % (functions.count() + 1));
        const bool serial = choice & 0x80;
        Poll poll;
        poll.function = QString::number(code);
        const int type = input.byte() % 9 - 1;
        poll.val2 = QString::number(type);
        const int order = input.byte();
        poll.val3 = types.orders(type).value(order, QString::number(order));
        const int high = input.byte();
        poll.val1 = QString::number(high << 8 | input.byte());
        poll.addrperitem = QString::number(int8_t(input.byte()));
        poll.write = QStringList{QStringLiteral("7")};

        const bool runner = choice & 0x40;
        replies.clear();
        replies.expectReply(functions, code, serial);
        replies.timeoutMs = runner ? 300 : ReplyCollector::TimeoutMs;

        ReplyCollector::Outcome outcome = ReplyCollector::Outcome::Waiting;
        while (outcome == ReplyCollector::Outcome::Waiting && !input.atEnd()) {
            const uint8_t control = input.byte();
            const int length = control & 0x3F;
            const bool open = length != 0x3F;
            const size_t taken = open ? qMin(size_t(length), input.size) : 0;
            const QByteArray piece(reinterpret_cast<const char *>(input.data), int(taken));
            input.data += taken;
            input.size -= taken;
            outcome = replies.check(open, piece, control & 0x80, control & 0x40 ? 0 : runner ? 100 : 1);
        }
        if (outcome == ReplyCollector::Outcome::Complete)
            takeReply(replies, poll, serial, types);
        else if (outcome == ReplyCollector::Outcome::Failed)
            check(!replies.error().isEmpty(), "a failure without an error text");
        if (runner && outcome != ReplyCollector::Outcome::Waiting
            && outcome != ReplyCollector::Outcome::Abandoned)
            printResult(replies, poll, outcome == ReplyCollector::Outcome::Complete, types);
    }
    return 0;
}
