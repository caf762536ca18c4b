// Drawing the poll table: redrawing one block after a reply, and the whole
// sequence view, for the largest register read (125 items) and a large coil
// read (2000 coils), on a shown tree as in the main window.
#include "app/pollstore.h"
#include "data/polltable.h"

#include <QApplication>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

namespace {

enum Shape { Registers125, Coils2000 };

// Every poll full: a reply of 250 data bytes, write and description lists of
// the count's length.
void fillPolls(Shape shape, std::array<QByteArray, MaxPolls> &responses)
{
    const int count = shape == Registers125 ? 125 : 2000;
    QStringList write;
    QStringList desc;
    for (int i = 0; i < count; ++i) {
        write << QString::number(i % 2);
        desc << QStringLiteral("item %1").arg(i);
    }
    QByteArray reply(250, '\0');
    for (int i = 0; i < reply.size(); ++i)
        reply[i] = char(i * 37 + 11);
    for (int index = 0; index < MaxPolls; ++index) {
        Poll &poll = PollStore[size_t(index)];
        poll.slave = "1";
        poll.function = shape == Registers125 ? "3" : "1";
        poll.startaddr = "0";
        poll.addrperitem = "1";
        poll.val1 = QString::number(count);
        poll.val2 = "0";
        poll.val3 = "10";
        poll.write = write;
        poll.desc = desc;
        responses[size_t(index)] = reply;
    }
}

struct Table
{
    explicit Table(Shape shape)
        : table(&tree, responses)
    {
        fillPolls(shape, responses);
        tree.setColumnCount(4);
        tree.resize(491, 611);
        tree.show();
    }

    std::array<QByteArray, MaxPolls> responses;
    QTreeWidget tree;
    PollTable table;
};

QList<int> allPolls()
{
    QList<int> numbers;
    for (int number = 1; number <= MaxPolls; ++number)
        numbers << number;
    return numbers;
}

const char *shapeLabel(Shape shape)
{
    return shape == Registers125 ? "125 registers" : "2000 coils";
}

// Edit mode: the one poll shown, expanded. Range 1: with the layout and
// painting that follow in the event loop.
void refreshSingle(benchmark::State &state)
{
    const auto shape = Shape(state.range(0));
    const bool paint = state.range(1) != 0;
    Table t(shape);
    t.table.showSinglePoll(41);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        t.table.refreshPoll(41);
        if (paint)
            QCoreApplication::processEvents();
    }
    state.SetLabel(std::string(shapeLabel(shape)) + (paint ? ", painted" : ""));
}
BENCHMARK(refreshSingle)
    ->Name("refreshPoll, edit mode")
    ->Args({Registers125, 0})
    ->Args({Coils2000, 0})
    ->Args({Registers125, 1})
    ->Args({Coils2000, 1})
    ->Unit(benchmark::kMillisecond);

// Sequence mode: the last of 99 collapsed blocks, found after 98 others.
void refreshInSequence(benchmark::State &state)
{
    const auto shape = Shape(state.range(0));
    Table t(shape);
    t.table.showSequence(allPolls());
    QCoreApplication::processEvents();
    for (auto _ : state)
        t.table.refreshPoll(98);
    state.SetLabel(shapeLabel(shape));
}
BENCHMARK(refreshInSequence)
    ->Name("refreshPoll, sequence of 99")
    ->Arg(Registers125)
    ->Arg(Coils2000)
    ->Unit(benchmark::kMillisecond);

// Each round replaces the 99 blocks of the round before.
void showSequence(benchmark::State &state)
{
    const auto shape = Shape(state.range(0));
    const bool paint = state.range(1) != 0;
    Table t(shape);
    const QList<int> numbers = allPolls();
    t.table.showSequence(numbers);
    for (auto _ : state) {
        t.table.showSequence(numbers);
        if (paint)
            QCoreApplication::processEvents();
    }
    state.SetLabel(std::string(shapeLabel(shape)) + (paint ? ", painted" : ""));
}
BENCHMARK(showSequence)
    ->Name("showSequence of 99 polls")
    ->Args({Registers125, 0})
    ->Args({Coils2000, 0})
    ->Args({Registers125, 1})
    ->Args({Coils2000, 1})
    ->Unit(benchmark::kMillisecond);

// Anchor: what Qt alone costs for the same tree, the 99 blocks of header and
// item rows with four texts each, built and replaced the same way.
void plainTree(benchmark::State &state)
{
    const auto shape = Shape(state.range(0));
    const int count = shape == Registers125 ? 125 : 2000;
    QTreeWidget tree;
    tree.setColumnCount(4);
    tree.resize(491, 611);
    tree.show();
    for (auto _ : state) {
        tree.clear();
        QList<QTreeWidgetItem *> blocks;
        for (int index = 0; index < MaxPolls; ++index) {
            auto *header = new QTreeWidgetItem(QStringList{QString::number(index + 1), QStringLiteral("1"),
                                                           QString(), QStringLiteral("F=01")});
            for (int i = 0; i < count; ++i)
                header->addChild(
                    new QTreeWidgetItem(QStringList{QString(), QString::number(i), QString::number(i % 2),
                                                    QStringLiteral("item %1").arg(i)}));
            blocks.append(header);
        }
        tree.addTopLevelItems(blocks);
    }
    state.SetLabel(shapeLabel(shape));
}
BENCHMARK(plainTree)
    ->Name("anchor: plain QTreeWidget, same rows")
    ->Arg(Registers125)
    ->Arg(Coils2000)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
