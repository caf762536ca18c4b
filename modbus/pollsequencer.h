#pragma once

#include <QList>
#include <QStringList>

// The countdown and position of a sequence run: which poll goes next, when,
// and what the NEXT queue shows. The window drives it from its 1 ms timer.
class PollSequencer
{
public:
    enum class Action {
        Stop,  // stop the timer: a stop was requested or nothing is left to send
        Count, // still counting down; progress() is the bar's value
        Send   // send poll(), then call advance()
    };

    // One tick of the poll timer.
    Action tick(const QList<int> &sequence, bool stopRequested, int tickMs = 1);
    int poll() const { return m_poll; }
    int progress() const { return pollIntervalMs - countdownMs; }

    // After a sequence poll has been sent: the next position, and the pause
    // before it (Poll Time, plus Repeat at the end of a pass).
    void advance(int sequenceSize, double pollTime, double repeat);

    void setPollTime(double seconds);
    // STOP: back to the first entry.
    void reset() { sequencePos = 0; }

    // "NEXT:" and the nine queue texts: the polls from the current position
    // on, wrapping round the sequence, each at most once.
    static QStringList nextTexts(const QList<int> &sequence, int position);

    int countdownMs = 0;
    int pollIntervalMs = 0;
    int sequencePos = 0;

private:
    int m_poll = 0;
};
