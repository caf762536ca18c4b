#include "app/pollstore.h"

std::array<Poll, MaxPolls> PollStore;
QList<int> Sequence;

bool Poll::operator==(const Poll &other) const
{
    return polldesc == other.polldesc && slave == other.slave && addrperitem == other.addrperitem
           && function == other.function && startaddr == other.startaddr && val1 == other.val1
           && val2 == other.val2 && val3 == other.val3 && write == other.write && desc == other.desc;
}

// The lists are set rather than appended to, so that building the window again
// (as the tests do) still leaves exactly one write value and one description.
void fillPollDefaults()
{
    Poll defaults;
    defaults.slave = QStringLiteral("1");
    defaults.addrperitem = QStringLiteral("1");
    defaults.function = QStringLiteral("3");
    defaults.startaddr = QStringLiteral("1");
    defaults.val1 = QStringLiteral("1");
    defaults.write.append(QStringLiteral("0"));
    // Empty but not null: saved as start and end tag, as after a load.
    defaults.desc.append(QStringLiteral(""));
    PollStore.fill(defaults);
}

Poll *pollNumber(int number)
{
    return number >= 1 && number <= MaxPolls ? &PollStore[number - 1] : nullptr;
}
