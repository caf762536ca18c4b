// Reply collection, the sequence countdown and the message log, against the
// rows in tests/data/rows: checks tick by tick, and texts character for character.
#include "data/functiontable.h"
#include "modbus/messagelog.h"
#include "modbus/messagelogdocument.h"
#include "modbus/pollsequencer.h"
#include "modbus/replycollector.h"
#include "support/files.h"
#include "support/rows.h"

#include <QTextDocument>

using Outcome = ReplyCollector::Outcome;

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void collector_data() { addRows("rows/collector.tsv"); }
    void collector()
    {
        ReplyCollector collector;
        collector.expectReply(FunctionTable(), cell("function").toInt(), cell("serial") == "1");
        int at = 0;
        Outcome outcome = Outcome::Waiting;
        for (QString token : cell("checks").split(' ', Qt::SkipEmptyParts)) {
            const bool stop = token.startsWith('!');
            const int times = token.contains('*') ? token.section('*', 1).toInt() : 1;
            token = token.section('*', 0, 0).remove('!');
            for (int i = 0; i < times && outcome == Outcome::Waiting; ++i, ++at)
                outcome = collector.check(token != "x", QByteArray::fromHex(token.toLatin1()), stop,
                                          token == "~" ? 0 : 1);
        }
        const QString outcomes[] = {"Waiting", "Complete", "Failed", "Abandoned"};
        QCOMPARE(texts(outcomes[int(outcome)], at, outcome == Outcome::Failed ? collector.error() : "",
                       outcome == Outcome::Complete ? collector.data().toHex().toUpper() : ""),
                 expected());
    }

    void sequencer_data() { addRows("rows/sequencer.tsv"); }
    void sequencer()
    {
        const QList<int> sequence = numbersOf(cell("sequence"));
        PollSequencer sequencer;
        sequencer.setPollTime(cell("pollTime").toDouble());
        sequencer.sequencePos = cell("start").toInt();
        sequencer.countdownMs =
            cell("countdown").isEmpty() ? sequencer.pollIntervalMs : cell("countdown").toInt();
        QStringList events;
        for (int tick = 1; events.size() < cell("events").toInt() && tick < 100000; ++tick) {
            const PollSequencer::Action action = sequencer.tick(sequence, tick == cell("stop").toInt());
            if (action == PollSequencer::Action::Stop)
                events << QString("stop@%1:%2").arg(tick).arg(sequencer.countdownMs);
            if (action == PollSequencer::Action::Send) {
                events << QString("P%1@%2").arg(sequencer.poll()).arg(tick);
                sequencer.advance(sequence.size(), cell("pollTime").toDouble(), cell("repeat").toDouble());
                tick = 0;
            }
        }
        QCOMPARE(
            texts(events.join(' '), PollSequencer::nextTexts(sequence, cell("position").toInt()).join(',')),
            expected());
    }

    void messages_data() { addRows("rows/messages.tsv"); }
    void messages()
    {
        const QString kind = cell("kind"), arg = cell("arg");
        const int poll = cell("poll").toInt();
        const QTime time = QTime::fromString(cell("time"), "hh:mm:ss.zzz");
        QTemporaryDir logs;
        Connection = {arg == "1", false, "/dev/ttyUSB0", 0, 0, 0, 0, 0, "127.0.0.1", 1502, true, logs.path()};
        PollStore[98] = pollOf("|17|3|100||||||1:0|1:");
        const QString error = " error, 0 bytes have been recieved";
        const QString text =
            kind == "sent"       ? MessageLog::sentEntry(time, listOf(arg))
            : kind == "response" ? MessageLog::responseEntry(poll, time, QByteArray::fromHex(arg.toLatin1()))
            : kind == "error"    ? MessageLog::errorEntry(poll, cell("time"), arg)
            : kind == "line"     ? MessageLog::lineError(arg == "1")
            : kind == "report"
                ? MessageLog::reportRecord(poll, cell("time"), error, PollStore[98], Connection)
                : MessageLog::reportFileName(arg, QDate::fromString(cell("time"), Qt::ISODate));
        QCOMPARE(text, cell("=text"));
        if (kind == "report") {
            MessageLog::appendReport(poll, cell("time"), error);
            MessageLog::appendReport(poll, cell("time"), error);
            const QStringList files = QDir(logs.path()).entryList(QDir::Files);
            QCOMPARE(readBytes(logs.path() + '/' + files.value(0)), (text + text).toUtf8());
        }
    }

    // The log as text and as the window's document, edited in place.
    void trimming_data() { addRows("rows/trimming.tsv"); }
    void trimming()
    {
        const int length = cell("old").toInt();
        const QString old = QString("abcdefghijklmnopqrstuvwxyz\n").repeated(length / 27 + 1).left(length);
        const QString entry(cell("entry").toInt(), '#');
        const QString expected = entry + old.left(cell("=head").toInt()) + old.mid(cell("=tail").toInt());
        QTextDocument document(old);
        MessageLog::insertEntry(&document, entry, true);
        QCOMPARE(MessageLog::withEntry(old, entry), expected);
        QCOMPARE(document.toPlainText(), expected);
    }
};

QTEST_MAIN(TestWire)
#include "tst_wire.moc"
