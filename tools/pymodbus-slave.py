#!/usr/bin/python3
"""A pymodbus TCP slave for Pollwright's tests: a second, independent peer.

Serves 127.0.0.1 only, the same known tables as pollwright-slave (10000
entries each; coil i = i % 3 == 0, discrete input i = i % 2 == 1, holding
register i = i, input register i = 0x1000 + i) with the same overrides, and
prints "ready tcp PORT" once it accepts connections. Only the given slave id
is served: pymodbus leaves requests for other unit ids unanswered.

Needs Debian's pymodbus 3.0, visible only to /usr/bin/python3.
"""
import argparse
import asyncio
import logging
import os
import re
import signal
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server.async_io import ModbusTcpServer

SIZE = 10000


class Block(ModbusSequentialDataBlock):
    """A table that reports every write, so the dump follows the writes."""

    def __init__(self, values, on_write):
        super().__init__(0, values)
        self.on_write = on_write

    def setValues(self, address, values):  # noqa: N802 (pymodbus' name)
        super().setValues(address, values)
        self.on_write()


class Tables:
    def __init__(self, dump_path):
        self.dump_path = dump_path
        self.coils = Block([i % 3 == 0 for i in range(SIZE)], self.dump)
        self.discrete = Block([i % 2 == 1 for i in range(SIZE)], self.dump)
        self.holding = Block(list(range(SIZE)), self.dump)
        self.input = Block([(0x1000 + i) & 0xFFFF for i in range(SIZE)], self.dump)

    def dump(self):
        if not self.dump_path:
            return

        def bits(block):
            return "".join("1" if v else "0" for v in block.values)

        def words(block):
            return " ".join(f"{v:04X}" for v in block.values)

        # Written aside and renamed, so a reader never sees half a file.
        tmp = self.dump_path + ".tmp"
        with open(tmp, "w", encoding="ascii") as out:
            out.write(f"coils {bits(self.coils)}\ndiscrete {bits(self.discrete)}\n")
            out.write(f"holding {words(self.holding)}\ninput {words(self.input)}\n")
        os.replace(tmp, self.dump_path)


def override(kind):
    """Parses ADDR=VALUE: 4 hex digits per register, or one 0/1 per bit."""
    words = kind in ("holding", "input")

    def parse(text):
        match = re.fullmatch(r"(\d+)=((?:[0-9A-Fa-f]{4})+)" if words else r"(\d+)=([01]+)", text)
        if not match:
            raise argparse.ArgumentTypeError(f"bad --{kind} value: {text}")
        address, value = int(match.group(1)), match.group(2)
        values = [int(value[k : k + 4], 16) for k in range(0, len(value), 4)] if words else [c == "1" for c in value]
        if address + len(values) > SIZE:
            raise argparse.ArgumentTypeError(f"--{kind} runs past the end of the table: {text}")
        return address, values

    return parse


def arguments():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=0, help="TCP port; 0 lets the system choose (default)")
    parser.add_argument("--slave", type=int, default=1, help="the unit id served (default 1)")
    parser.add_argument("--dump", help="tables file, rewritten at start-up and after every write")
    for kind in ("holding", "input", "coils", "discrete"):
        parser.add_argument(f"--{kind}", type=override(kind), action="append", default=[], metavar="ADDR=VALUE")
    return parser.parse_args()


class QuietCancel(logging.Filter):
    """Every client disconnect logs a harmless 'Handler ... has been canceled'."""

    def filter(self, record):
        return "has been canceled" not in record.getMessage()


async def serve(args):
    tables = Tables(args.dump)
    for kind in ("holding", "input", "coils", "discrete"):
        block = getattr(tables, kind)
        for address, values in getattr(args, kind):
            block.values[address : address + len(values)] = values
    tables.dump()

    slave = ModbusSlaveContext(
        co=tables.coils, di=tables.discrete, hr=tables.holding, ir=tables.input, zero_mode=True
    )
    context = ModbusServerContext(slaves={args.slave: slave}, single=False)
    server = ModbusTcpServer(context, address=("127.0.0.1", args.port), allow_reuse_address=True)

    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for number in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(number, stop.set)

    task = asyncio.create_task(server.serve_forever())
    # serving completes once the socket listens; with port 0 the system's
    # choice is read back from it.
    done, _ = await asyncio.wait({server.serving, task}, return_when=asyncio.FIRST_COMPLETED)
    if task in done:
        task.result()  # raises why it could not listen
        sys.exit("pymodbus-slave: the server stopped before serving")
    port = server.server.sockets[0].getsockname()[1]
    print(f"ready tcp {port}", flush=True)

    await stop.wait()
    await server.server_close()
    task.cancel()


def main():
    args = arguments()
    # pymodbus configures the root logger when it is imported.
    for handler in logging.getLogger().handlers:
        handler.addFilter(QuietCancel())
    try:
        asyncio.run(serve(args))
    except OSError as error:
        sys.exit(f"pymodbus-slave: cannot listen on 127.0.0.1:{args.port}: {error}")


if __name__ == "__main__":
    main()
