// pollwright-slave: a libmodbus slave with known table contents, a request
// log, a table dump after writes and optional misbehaviour, so the master can
// be tested against a real peer and against a broken one.
#include <modbus.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <vector>

namespace {

const char usage[] = R"(Usage: pollwright-slave (--tcp PORT | --rtu DEVICE) [options]

A Modbus slave for tests and demos.

Transport:
  --tcp PORT        listen on 127.0.0.1:PORT (0 lets the system choose); one
                    client at a time, back to accepting when it disconnects
  --rtu DEVICE      serve RTU on a serial device or pty
  --baud N          RTU speed (default 19200)
  --parity N|E|O    RTU parity (default E)
  --data N          RTU data bits (default 8)
  --stop N          RTU stop bits (default 1)
  --slave ID        slave id (default 1). RTU ignores frames for other ids,
                    and, as libmodbus does, also the frame after one (taken as
                    the other slave's reply); id 0 is a broadcast: carried
                    out, never answered. TCP answers every unit id and echoes it.

Tables (addresses 0..N-1, all four the same size):
  --size N          entries per table (default 10000, at most 65536)
                    coil i = (i % 3 == 0), discrete input i = (i % 2 == 1),
                    holding register i = i, input register i = 0x1000 + i
  --holding A=HEX   set holding registers from A on, 4 hex digits per word
  --input A=HEX     the same for input registers
  --coils A=0101    set coils from A on, one character per bit
  --discrete A=0101 the same for discrete inputs
                    (all four can be repeated)

Files:
  --log FILE        one line per request: unix time in ms, then the request
                    as received (MBAP header or CRC included) in hex pairs;
                    frames libmodbus drops (bad CRC, other slave) are not logged
  --dump FILE       the four tables, rewritten atomically at start-up and
                    after every write (functions 5, 6, 15, 16 and 23)

Demo (values that move, for trying the program out):
  --demo            while serving, the slave keeps these up to date on every
                    request (the rest of the tables as above; needs --size 18
                    or more):
                    holding 1      requests so far, this one included, uInt16
                                   (wraps)
                    holding 2-3    sine wave, amplitude 100, period 10 s,
                                   Float32, byte order 3210 (high word first)
                    holding 4-5    unix time in seconds, uInt32, byte order
                                   1032 (low word first)
                    holding 10-17  the text "Pollwright demo", String with
                                   8 addresses per item (first character in
                                   the high byte, zero padded)
                    coils 1-8      a running light: coil 1 + (unix time in
                                   seconds % 8) is on, the others off
                    Addresses are as they travel in the request.

Misbehaviour:
  --delay MS        answer MS milliseconds late
  --split N         send each reply in N pieces ...
  --split-gap MS    ... MS milliseconds apart (default 20)
  --silent          carry requests out but never answer (a lost reply)
  --garbage         answer with random bytes of the normal reply's length
  --close           close the connection on each request without carrying
                    it out (TCP only)
  --extra N         append N zero bytes to each reply
  --chaos PERCENT   misbehave on about PERCENT % of the requests, each time
                    in one way picked at random: late (0.1 to 2.5 s), in 2 to
                    4 pieces, silent, garbage, closed (TCP only) or 1 to 8
                    extra bytes

Prints "ready tcp PORT" or "ready rtu DEVICE" once it serves. Ends cleanly on
SIGTERM or SIGINT.
)";

struct Override
{
    char table; // 'c', 'd', 'h', 'i'
    std::string text;
};

struct Options
{
    bool tcp = false;
    int port = -1;
    std::string device;
    int baud = 19200;
    char parity = 'E';
    int dataBits = 8;
    int stopBits = 1;
    int slave = 1;
    int size = 10000;
    std::vector<Override> overrides;
    std::string logPath;
    std::string dumpPath;
    int delayMs = 0;
    int split = 1;
    int splitGapMs = 20;
    bool silent = false;
    bool garbage = false;
    bool close = false;
    int extra = 0;
    int chaosPercent = 0;
    bool demo = false;
};

// How one request is answered: as the options say, or with one fault drawn
// for it.
struct Behaviour
{
    int delayMs, split, splitGapMs;
    bool silent, garbage, close;
    int extra;
};

// The demo values (see the usage text): where they live and how they move.
constexpr int demoCounter = 1, demoSine = 2, demoClock = 4, demoText = 10, demoFirstCoil = 1;
constexpr int demoTableSize = 18;
constexpr double demoAmplitude = 100.0;
constexpr long long demoPeriodMs = 10000;
const char demoTextValue[] = "Pollwright demo";
static_assert(sizeof demoTextValue == 2 * (demoTableSize - demoText), "the text fills holding 10-17");
constexpr double pi = 3.14159265358979323846;

int stopPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(stopPipe[1], &byte, 1);
}

[[noreturn]] void die(const std::string &message)
{
    std::fprintf(stderr, "pollwright-slave: %s\n", message.c_str());
    std::exit(2);
}

int toInt(const char *text, long min, long max, const char *what)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < min || value > max)
        die(std::string("bad ") + what + ": " + text);
    return static_cast<int>(value);
}

Options parseOptions(int argc, char **argv)
{
    Options o;
    bool rtu = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            std::exit(0);
        }
        if (arg == "--demo") {
            o.demo = true;
            continue;
        }
        const bool flag = arg == "--silent" || arg == "--garbage" || arg == "--close";
        if (flag) {
            (arg == "--silent" ? o.silent : arg == "--garbage" ? o.garbage : o.close) = true;
            continue;
        }
        static const char *const withValue[] = {"--tcp",   "--rtu",       "--baud", "--parity",  "--data",
                                                "--stop",  "--slave",     "--size", "--holding", "--input",
                                                "--coils", "--discrete",  "--log",  "--dump",    "--delay",
                                                "--split", "--split-gap", "--extra",
                                                "--chaos"};
        if (std::find(std::begin(withValue), std::end(withValue), arg) == std::end(withValue))
            die("unknown option " + arg + " (see --help)");
        if (i + 1 >= argc)
            die(arg + " needs a value (see --help)");
        const char *value = argv[++i];
        if (arg == "--tcp") {
            o.tcp = true;
            o.port = toInt(value, 0, 65535, "port");
        } else if (arg == "--rtu") {
            rtu = true;
            o.device = value;
        } else if (arg == "--baud") {
            o.baud = toInt(value, 1, 4000000, "baud rate");
        } else if (arg == "--parity") {
            if (std::strlen(value) != 1 || !std::strchr("NEO", value[0]))
                die(std::string("parity must be N, E or O: ") + value);
            o.parity = value[0];
        } else if (arg == "--data") {
            o.dataBits = toInt(value, 5, 8, "data bits");
        } else if (arg == "--stop") {
            o.stopBits = toInt(value, 1, 2, "stop bits");
        } else if (arg == "--slave") {
            o.slave = toInt(value, 0, 255, "slave id");
        } else if (arg == "--size") {
            o.size = toInt(value, 1, 65536, "size");
        } else if (arg == "--holding" || arg == "--input" || arg == "--coils" || arg == "--discrete") {
            o.overrides.push_back({arg[2], value}); // h, i, c or d
        } else if (arg == "--log") {
            o.logPath = value;
        } else if (arg == "--dump") {
            o.dumpPath = value;
        } else if (arg == "--delay") {
            o.delayMs = toInt(value, 0, 600000, "delay");
        } else if (arg == "--split") {
            o.split = toInt(value, 1, 260, "piece count");
        } else if (arg == "--split-gap") {
            o.splitGapMs = toInt(value, 0, 600000, "split gap");
        } else if (arg == "--chaos") {
            o.chaosPercent = toInt(value, 0, 100, "chaos percentage");
        } else {
            o.extra = toInt(value, 0, 100000, "extra byte count");
        }
    }
    if (o.tcp == rtu)
        die("give exactly one of --tcp PORT and --rtu DEVICE (see --help)");
    if (o.close && !o.tcp)
        die("--close needs --tcp");
    if (o.demo && o.size < demoTableSize)
        die("--demo needs --size " + std::to_string(demoTableSize) + " or more");
    return o;
}

// Computed from the wall clock at each request, so the values move without a
// thread of their own and a client can check them against its own clock.
void updateDemo(modbus_mapping_t *map, uint16_t requests)
{
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    const auto seconds = static_cast<uint32_t>(ms / 1000);
    uint16_t *reg = map->tab_registers;

    reg[demoCounter] = requests;

    const double phase = 2 * pi * static_cast<double>(ms % demoPeriodMs) / demoPeriodMs;
    const auto sine = static_cast<float>(demoAmplitude * std::sin(phase));
    uint32_t bits;
    std::memcpy(&bits, &sine, sizeof bits);
    reg[demoSine] = static_cast<uint16_t>(bits >> 16);
    reg[demoSine + 1] = static_cast<uint16_t>(bits & 0xFFFF);

    reg[demoClock] = static_cast<uint16_t>(seconds & 0xFFFF);
    reg[demoClock + 1] = static_cast<uint16_t>(seconds >> 16);

    // The terminating zero pads the last register.
    for (std::size_t k = 0; 2 * k < sizeof demoTextValue; ++k)
        reg[demoText + k] = static_cast<uint16_t>(static_cast<uint8_t>(demoTextValue[2 * k]) << 8
                                                  | static_cast<uint8_t>(demoTextValue[2 * k + 1]));

    for (int i = 0; i < 8; ++i)
        map->tab_bits[demoFirstCoil + i] = static_cast<uint32_t>(i) == seconds % 8;
}

// Known contents first, then the overrides in the order given.
void fillTables(modbus_mapping_t *map, const Options &o)
{
    for (int i = 0; i < o.size; ++i) {
        map->tab_bits[i] = i % 3 == 0;
        map->tab_input_bits[i] = i % 2 == 1;
        map->tab_registers[i] = static_cast<uint16_t>(i);
        map->tab_input_registers[i] = static_cast<uint16_t>((0x1000 + i) & 0xFFFF);
    }
    for (const Override &ov : o.overrides) {
        const std::size_t eq = ov.text.find('=');
        if (eq == std::string::npos)
            die("override needs ADDR=VALUE: " + ov.text);
        const int addr = toInt(ov.text.substr(0, eq).c_str(), 0, o.size - 1, "override address");
        const std::string v = ov.text.substr(eq + 1);
        const bool words = ov.table == 'h' || ov.table == 'i';
        const std::size_t count = words ? v.size() / 4 : v.size();
        if (v.empty() || (words && v.size() % 4 != 0)
            || v.find_first_not_of(words ? "0123456789abcdefABCDEF" : "01") != std::string::npos)
            die(std::string("bad override value: ") + ov.text);
        if (addr + count > static_cast<std::size_t>(o.size))
            die("override runs past the end of the table: " + ov.text);
        for (std::size_t k = 0; k < count; ++k) {
            if (words) {
                const auto word = static_cast<uint16_t>(std::stoul(v.substr(k * 4, 4), nullptr, 16));
                (ov.table == 'h' ? map->tab_registers : map->tab_input_registers)[addr + k] = word;
            } else {
                (ov.table == 'c' ? map->tab_bits : map->tab_input_bits)[addr + k] = v[k] == '1';
            }
        }
    }
}

void writeDump(const std::string &path, const modbus_mapping_t *map, int size)
{
    if (path.empty())
        return;
    // Written aside and renamed, so a reader never sees half a file.
    const std::string tmp = path + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "w");
    if (!f)
        die("cannot write " + tmp + ": " + std::strerror(errno));
    const auto bits = [&](const char *name, const uint8_t *tab) {
        std::fprintf(f, "%s ", name);
        for (int i = 0; i < size; ++i)
            std::fputc(tab[i] ? '1' : '0', f);
        std::fputc('\n', f);
    };
    const auto words = [&](const char *name, const uint16_t *tab) {
        std::fputs(name, f);
        for (int i = 0; i < size; ++i)
            std::fprintf(f, " %04X", tab[i]);
        std::fputc('\n', f);
    };
    bits("coils", map->tab_bits);
    bits("discrete", map->tab_input_bits);
    words("holding", map->tab_registers);
    words("input", map->tab_input_registers);
    if (std::fclose(f) != 0 || std::rename(tmp.c_str(), path.c_str()) != 0)
        die("cannot write " + path + ": " + std::strerror(errno));
}

void logRequest(FILE *log, const uint8_t *req, int length)
{
    if (!log)
        return;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    std::fprintf(log, "%lld",
                 static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
    for (int i = 0; i < length; ++i)
        std::fprintf(log, " %02X", req[i]);
    std::fputc('\n', log);
    std::fflush(log);
}

// Waits for fd (or only for the timeout when fd is -1). Answers the fd's
// revents, 0 on timeout, or -1 once a stop signal has arrived.
int waitFor(int fd, int timeoutMs)
{
    pollfd fds[2] = {{stopPipe[0], POLLIN, 0}, {fd, POLLIN, 0}};
    for (;;) {
        const int rc = poll(fds, 2, timeoutMs);
        if (rc < 0 && errno == EINTR)
            continue; // the pipe reports the signal on the next round
        if (rc < 0)
            die(std::string("poll: ") + std::strerror(errno));
        if (fds[0].revents)
            return -1;
        return rc == 0 ? 0 : fds[1].revents;
    }
}

bool writeAll(int fd, const uint8_t *data, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

class Slave
{
public:
    Slave(modbus_t *ctx, modbus_mapping_t *map, const Options &o, FILE *log)
        : ctx(ctx)
        , map(map)
        , o(o)
        , log(log)
        , random(std::random_device{}())
    {
        // libmodbus builds the normal reply into this pair; what is then sent
        // on the real line is up to the misbehaviour options.
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
            die(std::string("socketpair: ") + std::strerror(errno));
        fcntl(pair[1], F_SETFL, O_NONBLOCK);
    }

    // Serves requests on the current line until it closes (false) or a stop
    // signal arrives (true).
    bool serve()
    {
        const int fd = modbus_get_socket(ctx);
        uint8_t req[MODBUS_MAX_ADU_LENGTH];
        for (;;) {
            const int events = waitFor(fd, -1);
            if (events < 0)
                return true;
            if (!o.tcp && (events & (POLLHUP | POLLERR)))
                die("device " + o.device + " hung up");
            const int length = modbus_receive(ctx, req);
            if (length < 0) {
                // Bad CRC, a bad frame or a frame cut short: wait for the next
                // one. Anything else means the line is gone.
                if (errno == ETIMEDOUT || errno >= MODBUS_ENOBASE)
                    continue;
                if (o.tcp)
                    return false;
                die(std::string("receive: ") + modbus_strerror(errno));
            }
            if (length == 0)
                continue; // RTU: another slave's frame
            logRequest(log, req, length);
            if (o.demo)
                updateDemo(map, ++demoRequests);
            const Behaviour b = behaviour();
            if (b.close)
                return false;
            const std::vector<uint8_t> reply = carryOut(req, length);
            if (!b.silent && !send(fd, reply, b))
                return false;
        }
    }

private:
    std::vector<uint8_t> carryOut(const uint8_t *req, int length)
    {
        const int line = modbus_get_socket(ctx);
        modbus_set_socket(ctx, pair[0]);
        modbus_reply(ctx, req, length, map);
        modbus_set_socket(ctx, line);
        std::vector<uint8_t> reply;
        uint8_t buffer[512];
        ssize_t n;
        while ((n = read(pair[1], buffer, sizeof buffer)) > 0)
            reply.insert(reply.end(), buffer, buffer + n);

        // libmodbus drops what is left on the line after these two exceptions;
        // it flushed the pair instead, so do it for the real line.
        const std::size_t header = static_cast<std::size_t>(modbus_get_header_length(ctx));
        if (reply.size() > header + 1 && (reply[header] & 0x80)
            && (reply[header + 1] == 1 || reply[header + 1] == 3))
            modbus_flush(ctx);

        const int function = req[header];
        if (function == 5 || function == 6 || function == 15 || function == 16 || function == 23)
            writeDump(o.dumpPath, map, o.size);
        return reply;
    }

    Behaviour behaviour()
    {
        Behaviour b{o.delayMs, o.split, o.splitGapMs, o.silent, o.garbage, o.close, o.extra};
        if (o.chaosPercent == 0 || std::uniform_int_distribution<int>(1, 100)(random) > o.chaosPercent)
            return b;
        const auto pick = [this](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        switch (pick(0, o.tcp ? 5 : 4)) {
        case 0: b.delayMs = pick(100, 2500); break;
        case 1: b.split = pick(2, 4); break;
        case 2: b.silent = true; break;
        case 3: b.garbage = true; break;
        case 4: b.extra = pick(1, 8); break;
        default: b.close = true; break;
        }
        return b;
    }

    bool send(int fd, const std::vector<uint8_t> &normal, const Behaviour &b)
    {
        if (normal.empty())
            return true; // a broadcast
        std::vector<uint8_t> reply(normal.size() + static_cast<std::size_t>(b.extra), 0);
        std::copy(normal.begin(), normal.end(), reply.begin());
        if (b.garbage) {
            std::uniform_int_distribution<int> byte(0, 255);
            for (std::size_t i = 0; i < normal.size(); ++i)
                reply[i] = static_cast<uint8_t>(byte(random));
            if (std::equal(normal.begin(), normal.end(), reply.begin()))
                reply[0] ^= 0xFF;
        }
        if (b.delayMs > 0 && waitFor(-1, b.delayMs) < 0)
            return true;
        const std::size_t pieces = std::min<std::size_t>(static_cast<std::size_t>(b.split), reply.size());
        for (std::size_t p = 0; p < pieces; ++p) {
            const std::size_t from = p * reply.size() / pieces, to = (p + 1) * reply.size() / pieces;
            if (p > 0 && waitFor(-1, b.splitGapMs) < 0)
                return true;
            if (!writeAll(fd, reply.data() + from, to - from))
                return false;
        }
        return true;
    }

    modbus_t *ctx;
    modbus_mapping_t *map;
    const Options &o;
    FILE *log;
    std::mt19937 random;
    int pair[2] = {-1, -1};
    uint16_t demoRequests = 0;
};

void announce(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void serveTcp(modbus_t *ctx, Slave &slave, const Options &o, const modbus_mapping_t *map)
{
    const int listener = modbus_tcp_listen(ctx, 1);
    if (listener < 0)
        die("cannot listen on 127.0.0.1:" + std::to_string(o.port) + ": " + modbus_strerror(errno));
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        die(std::string("getsockname: ") + std::strerror(errno));
    writeDump(o.dumpPath, map, o.size);
    announce("ready tcp " + std::to_string(ntohs(address.sin_port)));

    for (;;) {
        if (waitFor(listener, -1) < 0)
            break;
        const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        // Split replies must leave in separate segments.
        const int one = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        modbus_set_socket(ctx, client);
        const bool stop = slave.serve();
        modbus_set_socket(ctx, -1);
        close(client);
        if (stop)
            break;
    }
    close(listener);
}

} // namespace

int main(int argc, char **argv)
{
    const Options o = parseOptions(argc, argv);

    if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        die(std::string("pipe: ") + std::strerror(errno));
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    modbus_t *ctx = o.tcp ? modbus_new_tcp("127.0.0.1", o.port)
                          : modbus_new_rtu(o.device.c_str(), o.baud, o.parity, o.dataBits, o.stopBits);
    if (!ctx)
        die(std::string("cannot create the context: ") + modbus_strerror(errno));
    if (modbus_set_slave(ctx, o.slave) != 0)
        die("bad slave id " + std::to_string(o.slave));
    modbus_mapping_t *map = modbus_mapping_new(o.size, o.size, o.size, o.size);
    if (!map)
        die(std::string("cannot allocate the tables: ") + modbus_strerror(errno));
    fillTables(map, o);
    if (o.demo)
        updateDemo(map, 0);

    FILE *log = nullptr;
    if (!o.logPath.empty() && !(log = std::fopen(o.logPath.c_str(), "w")))
        die("cannot write " + o.logPath + ": " + std::strerror(errno));

    Slave slave(ctx, map, o, log);
    if (o.tcp) {
        serveTcp(ctx, slave, o, map);
    } else {
        if (modbus_connect(ctx) != 0)
            die("cannot open " + o.device + ": " + modbus_strerror(errno));
        writeDump(o.dumpPath, map, o.size);
        announce("ready rtu " + o.device);
        slave.serve();
        modbus_close(ctx);
    }

    if (log)
        std::fclose(log);
    modbus_mapping_free(map);
    modbus_free(ctx);
    return 0;
}
