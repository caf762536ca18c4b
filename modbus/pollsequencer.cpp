#include "modbus/pollsequencer.h"

PollSequencer::Action PollSequencer::tick(const QList<int> &sequence, bool stopRequested, int tickMs)
{
    countdownMs -= tickMs;
    if (stopRequested) {
        countdownMs = pollIntervalMs;
        return Action::Stop;
    }
    if (countdownMs >= 0)
        return Action::Count;

    // The sequence editor may have shortened the list during the pause: the
    // run restarts from its first entry, and ends when nothing is left.
    if (sequence.isEmpty()) {
        countdownMs = pollIntervalMs;
        return Action::Stop;
    }
    if (sequencePos < 0 || sequencePos >= sequence.size())
        sequencePos = 0;
    m_poll = sequence.at(sequencePos);
    return Action::Send;
}

void PollSequencer::advance(int sequenceSize, double pollTime, double repeat)
{
    if (sequenceSize > 1) {
        if (++sequencePos >= sequenceSize) {
            sequencePos = 0;
            pollIntervalMs = int(pollTime * 1000 + repeat * 1000);
        } else {
            pollIntervalMs = int(pollTime * 1000);
        }
    }
    countdownMs = pollIntervalMs;
}

void PollSequencer::setPollTime(double seconds)
{
    pollIntervalMs = int(seconds * 1000);
}

QStringList PollSequencer::nextTexts(const QList<int> &sequence, int position)
{
    const int size = sequence.size();
    QStringList texts;
    int index = position - 1;
    int remaining = size;
    for (int i = 0; i < 10; ++i) {
        if (remaining > 0) {
            if (++index >= size || index < 0)
                index = 0;
            texts.append(QLatin1Char('P') + QString::number(sequence.at(index)));
            --remaining;
        } else {
            texts.append(QString());
        }
    }
    return texts;
}
