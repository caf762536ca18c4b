// Framing the largest request and decoding the largest reply, against the
// 1 ms tick the polling engine runs on.
#include "data/datatypetable.h"
#include "data/valuedecoding.h"
#include "modbus/framing.h"

#include <benchmark/benchmark.h>

namespace {

Poll largestWrite()
{
    Poll poll;
    poll.slave = "1";
    poll.function = "16";
    poll.startaddr = "0";
    poll.val1 = "60";
    poll.addrperitem = "4";
    poll.val2 = QString::number(DataTypeTable::Double64);
    poll.val3 = "01234567";
    for (int i = 0; i < 60; ++i)
        poll.write << QString::number(i * 1234.5678 - 9999.25, 'g', 17);
    return poll;
}

void frameRtu(benchmark::State &state)
{
    const Poll poll = largestWrite();
    for (auto _ : state)
        benchmark::DoNotOptimize(rtuRequest(poll));
}
BENCHMARK(frameRtu)->Name("frame f16 60 x Double64 RTU")->Unit(benchmark::kMicrosecond);

void frameTcp(benchmark::State &state)
{
    const Poll poll = largestWrite();
    for (auto _ : state)
        benchmark::DoNotOptimize(tcpRequest(poll));
}
BENCHMARK(frameTcp)->Name("frame f16 60 x Double64 TCP")->Unit(benchmark::kMicrosecond);

// A full reply of 125 registers (250 data bytes), decoded as each type.
void decodeRegisters(benchmark::State &state)
{
    const DataTypeTable types;
    const int type = int(state.range(0));
    Poll poll;
    poll.function = "3";
    poll.val1 = "125";
    poll.val2 = QString::number(type);
    poll.val3 = types.orders(type).value(1);
    poll.addrperitem = type == DataTypeTable::String ? "2" : QString::number(types.byteSize(type) / 2);
    QByteArray data(250, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 37 + 11);
    for (auto _ : state)
        benchmark::DoNotOptimize(pollValues(poll, data, types));
    state.SetLabel(types.name(type).toStdString());
}
BENCHMARK(decodeRegisters)->DenseRange(0, 6)->Name("decode 125 registers")->Unit(benchmark::kMicrosecond);

// A full reply of 2000 coils.
void decodeCoils(benchmark::State &state)
{
    const DataTypeTable types;
    Poll poll;
    poll.function = "1";
    poll.val1 = "2000";
    const QByteArray data(250, '\x5A');
    for (auto _ : state)
        benchmark::DoNotOptimize(pollValues(poll, data, types));
}
BENCHMARK(decodeCoils)->Name("decode 2000 coils")->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
