#include "fuzzing.h"

#include "app/pollstore.h"
#include "storage/pollfile.h"

#include <QTemporaryDir>

// Arbitrary bytes loaded as a poll file. A file that loads must save, and the
// save must load back to the same Sequence and the same polls, but for what a
// save is known to change: whitespace-only texts load as empty, and empty
// write and desc lists are written as one "0" and one empty entry.

namespace {

using Store = std::array<Poll, MaxPolls>;

QString inputPath;
QString savedPath;

QStringList savedList(const QStringList &list, const QString &whenEmpty)
{
    if (list.isEmpty())
        return {whenEmpty};
    QStringList saved;
    for (const QString &entry : list)
        saved.append(savedText(entry));
    return saved;
}

// The store as loading its own save gives it back.
Store afterSave(Store store)
{
    for (Poll &poll : store) {
        for (QString *field : {&poll.polldesc, &poll.slave, &poll.function, &poll.startaddr,
                               &poll.addrperitem, &poll.val1, &poll.val2, &poll.val3})
            *field = savedText(*field);
        poll.write = savedList(poll.write, QStringLiteral("0"));
        poll.desc = savedList(poll.desc, QString());
    }
    return store;
}

// A store no file gives, so a record the load skips shows.
void fillUnloaded()
{
    Poll marker;
    marker.polldesc = QStringLiteral("not loaded");
    PollStore.fill(marker);
    Sequence = {42};
}

void printPoll(const char *label, const Poll &p)
{
    std::fprintf(
        stderr,
        "%s: desc[%s] slave[%s] fn[%s] start[%s] api[%s] v1[%s] v2[%s] v3[%s] write(%d)[%s] desc(%d)[%s]\n",
        label, qPrintable(p.polldesc), qPrintable(p.slave), qPrintable(p.function), qPrintable(p.startaddr),
        qPrintable(p.addrperitem), qPrintable(p.val1), qPrintable(p.val2), qPrintable(p.val3),
        int(p.write.size()), qPrintable(p.write.join('|')), int(p.desc.size()), qPrintable(p.desc.join('|')));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        broken("no temporary folder");
    inputPath = dir.filePath(QStringLiteral("input.xml"));
    savedPath = dir.filePath(QStringLiteral("saved.xml"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    writeInput(inputPath, data, size);
    fillPollDefaults();
    Sequence.clear();
    if (!loadPollFile(inputPath).isEmpty())
        return 0;

    const Store expected = afterSave(PollStore);
    const QList<int> sequence = Sequence;
    savePollFile(savedPath);
    fillUnloaded();
    if (!loadPollFile(savedPath).isEmpty())
        broken("a saved poll file does not load");
    if (Sequence != sequence)
        broken("the sequence changed through a save and a load");
    for (int i = 0; i < MaxPolls; ++i) {
        if (PollStore[i] != expected[i]) {
            std::fprintf(stderr, "poll %d\n", i + 1);
            printPoll("expected", expected[i]);
            printPoll("loaded  ", PollStore[i]);
            broken("a poll changed through a save and a load");
        }
    }
    return 0;
}
