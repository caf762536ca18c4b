#include "modbus/pollsequencer.h"

#include <QtTest>

using Action = PollSequencer::Action;

// Sequence runs counted in ticks of the 1 ms poll timer.
class TestPollSequencer : public QObject
{
    Q_OBJECT

private slots:
    void pauses_data();
    void pauses();
    void stopRequest();
    void shortenedSequence_data();
    void shortenedSequence();
    void nextTexts_data();
    void nextTexts();
};

void TestPollSequencer::pauses_data()
{
    QTest::addColumn<QList<int>>("sequence");
    QTest::addColumn<double>("pollTime");
    QTest::addColumn<double>("repeat");
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<QList<int>>("ticks");

    // The poll goes out on the first tick below zero: one tick past the pause.
    QTest::newRow("3 5 7") << QList<int>{3, 5, 7} << 0.5 << 2.0 << QList<int>{3, 5, 7, 3, 5}
                           << QList<int>{501, 501, 501, 2501, 501};
    QTest::newRow("one entry ignores repeat")
        << QList<int>{9} << 0.25 << 3.0 << QList<int>{9, 9, 9} << QList<int>{251, 251, 251};
    QTest::newRow("no pause") << QList<int>{1, 2} << 0.0 << 0.0 << QList<int>{1, 2, 1} << QList<int>{1, 1, 1};
    QTest::newRow("truncated times") << QList<int>{4, 4} << 0.019 << 0.0011 << QList<int>{4, 4, 4}
                                     << QList<int>{20, 20, 21};
}

void TestPollSequencer::pauses()
{
    QFETCH(QList<int>, sequence);
    QFETCH(double, pollTime);
    QFETCH(double, repeat);
    QFETCH(QList<int>, sent);
    QFETCH(QList<int>, ticks);

    PollSequencer sequencer;
    sequencer.setPollTime(pollTime);
    sequencer.countdownMs = sequencer.pollIntervalMs; // GO
    QList<int> polls, counted;
    while (polls.size() < sent.size()) {
        int tick = 0;
        Action action;
        do {
            action = sequencer.tick(sequence, false);
            ++tick;
            if (action == Action::Count)
                QCOMPARE(sequencer.progress(), sequencer.pollIntervalMs - sequencer.countdownMs);
        } while (action == Action::Count && tick < 100000);
        QCOMPARE(action, Action::Send);
        polls << sequencer.poll();
        counted << tick;
        sequencer.advance(sequence.size(), pollTime, repeat);
    }
    QCOMPARE(polls, sent);
    QCOMPARE(counted, ticks);
}

void TestPollSequencer::stopRequest()
{
    PollSequencer sequencer;
    sequencer.setPollTime(0.5);
    sequencer.countdownMs = 100;
    QCOMPARE(sequencer.tick({1, 2}, true), Action::Stop);
    QCOMPARE(sequencer.countdownMs, 500);
    sequencer.sequencePos = 1;
    sequencer.reset();
    QCOMPARE(sequencer.sequencePos, 0);
}

// The list was shortened or emptied in the editor while the run paused.
void TestPollSequencer::shortenedSequence_data()
{
    QTest::addColumn<QList<int>>("sequence");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("poll");
    QTest::newRow("position past the end") << QList<int>{8, 9} << 5 << int(Action::Send) << 8;
    QTest::newRow("position at the end") << QList<int>{8, 9} << 2 << int(Action::Send) << 8;
    QTest::newRow("negative position") << QList<int>{8, 9} << -1 << int(Action::Send) << 8;
    QTest::newRow("emptied") << QList<int>{} << 3 << int(Action::Stop) << 0;
}

void TestPollSequencer::shortenedSequence()
{
    QFETCH(QList<int>, sequence);
    QFETCH(int, position);
    QFETCH(int, action);
    QFETCH(int, poll);
    PollSequencer sequencer;
    sequencer.sequencePos = position;
    sequencer.countdownMs = 0;
    QCOMPARE(int(sequencer.tick(sequence, false)), action);
    if (action == int(Action::Send)) {
        QCOMPARE(sequencer.poll(), poll);
        sequencer.advance(sequence.size(), 0, 0);
        QVERIFY(sequencer.sequencePos >= 0 && sequencer.sequencePos < sequence.size());
    }
}

void TestPollSequencer::nextTexts_data()
{
    QTest::addColumn<QList<int>>("sequence");
    QTest::addColumn<int>("position");
    QTest::addColumn<QStringList>("texts");
    const QString e;
    QTest::newRow("wraps round") << QList<int>{3, 5, 7} << 2
                                 << QStringList{"P7", "P3", "P5", e, e, e, e, e, e, e};
    QTest::newRow("empty") << QList<int>{} << 0 << QStringList{e, e, e, e, e, e, e, e, e, e};
    QTest::newRow("long") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12} << 11
                          << QStringList{"P12", "P1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "P9"};
    QTest::newRow("position past a shortened list")
        << QList<int>{6, 7} << 9 << QStringList{"P6", "P7", e, e, e, e, e, e, e, e};
}

void TestPollSequencer::nextTexts()
{
    QFETCH(QList<int>, sequence);
    QFETCH(int, position);
    QTEST(PollSequencer::nextTexts(sequence, position), "texts");
}

QTEST_GUILESS_MAIN(TestPollSequencer)
#include "tst_pollsequencer.moc"
