// Saving and loading the largest realistic poll file: 99 polls of 2,000 write
// values and descriptions each. Goal: under a second each way.
#include "app/pollstore.h"
#include "storage/pollfile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void fillLargest()
{
    fillPollDefaults();
    for (int index = 0; index < MaxPolls; ++index) {
        Poll &poll = PollStore[size_t(index)];
        poll.polldesc = QStringLiteral("Pump station %1 – flow and pressure").arg(index + 1);
        poll.function = "16";
        poll.val1 = "2000";
        poll.write.clear();
        poll.desc.clear();
        for (int i = 0; i < 2000; ++i) {
            poll.write << QString::number(index * 100000 - i * 7);
            poll.desc << QStringLiteral("Pump %1 sensor %2 – Durchfluss").arg(index + 1).arg(i);
        }
    }
    Sequence.clear();
    for (int number = 1; number <= MaxPolls; ++number)
        Sequence << number;
}

void savePolls(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/largest.xml";
    fillLargest();
    for (auto _ : state)
        savePollFile(path);
    state.counters["file_bytes"] = double(QFileInfo(path).size());
}
BENCHMARK(savePolls)->Name("save 99 x 2000 values")->Unit(benchmark::kMillisecond)->MinTime(3.0);

void loadPolls(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/largest.xml";
    fillLargest();
    savePollFile(path);
    fillPollDefaults();
    for (auto _ : state) {
        if (!loadPollFile(path).isEmpty())
            state.SkipWithError("the file did not load");
    }
    if (PollStore[MaxPolls - 1].write.size() != 2000)
        state.SkipWithError("the file loaded incompletely");
    state.counters["file_bytes"] = double(QFileInfo(path).size());
}
BENCHMARK(loadPolls)->Name("load 99 x 2000 values")->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The anchor: the same bytes written and read back with QFile and nothing
// else, so the figures above show what the XML costs on top of the disk.
void rawFile(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/largest.xml";
    fillLargest();
    savePollFile(path);
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly))
        return state.SkipWithError("the file was not written");
    const QByteArray bytes = source.readAll();
    const QString copy = dir.path() + "/copy.xml";
    for (auto _ : state) {
        QFile out(copy);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            state.SkipWithError("the copy was not written");
        out.close();
        QFile in(copy);
        if (!in.open(QIODevice::ReadOnly) || in.readAll().size() != bytes.size())
            state.SkipWithError("the copy was not read");
    }
    state.counters["file_bytes"] = double(bytes.size());
}
BENCHMARK(rawFile)->Name("anchor: QFile write + read of the same bytes")->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace

BENCHMARK_MAIN();
