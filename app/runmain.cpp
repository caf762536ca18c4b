// pollwright-run: a poll file's polls against a slave, without a window.
// Exit status: 0 every poll valid, 1 any poll failed, 2 bad usage or a file
// that does not load.
#include "app/pollstore.h"
#include "modbus/connectionsettings.h"
#include "modbus/pollsequencer.h"
#include "modbus/runoutput.h"
#include "storage/pollfile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSerialPort>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

struct Usage
{
    QString text;
};

[[noreturn]] void usage(const QString &option, const QString &why)
{
    throw Usage{option + QStringLiteral(": ") + why};
}

// Counts, speeds and milliseconds are whole numbers; seconds may have a fraction.
double number(const QCommandLineParser &parser, const QString &option, double low, double high,
              bool whole = true)
{
    bool ok = false;
    const QString text = parser.value(option);
    const double value = whole ? double(text.toLongLong(&ok)) : text.toDouble(&ok);
    if (!ok || !(value >= low && value <= high))
        usage(QStringLiteral("--") + option,
              QStringLiteral("'%1' is not a %2 from %3 to %4")
                  .arg(text, whole ? QStringLiteral("whole number") : QStringLiteral("number"))
                  .arg(low)
                  .arg(high));
    return value;
}

int choice(const QCommandLineParser &parser, const QString &option, const QStringList &texts,
           const QList<int> &values)
{
    const int index = texts.indexOf(parser.value(option));
    if (index < 0)
        usage(
            QStringLiteral("--") + option,
            QStringLiteral("'%1' is not one of %2").arg(parser.value(option), texts.join(QLatin1Char('|'))));
    return values.at(index);
}

QList<int> pollList(const QString &text)
{
    QList<int> polls;
    for (const QString &entry : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int number = entry.trimmed().toInt(&ok);
        if (!ok || number < 1 || number > MaxPolls)
            usage(QStringLiteral("--polls"),
                  QStringLiteral("'%1' is not a poll number from 1 to 99").arg(entry));
        polls.append(number);
    }
    return polls;
}

// --tcp HOST[:PORT], [v6]:PORT or a bare v6 address.
void tcpTarget(const QString &text)
{
    QString host = text;
    int port = 502;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    const bool bracketed = text.startsWith(QLatin1Char('['));
    if (colon > 0
        && (bracketed ? text.at(colon - 1) == QLatin1Char(']') : text.count(QLatin1Char(':')) == 1)) {
        bool ok = false;
        port = text.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            usage(QStringLiteral("--tcp"),
                  QStringLiteral("'%1' is not a port from 1 to 65535").arg(text.mid(colon + 1)));
        host = text.left(colon);
    }
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty())
        usage(QStringLiteral("--tcp"), QStringLiteral("no host given"));
    Connection.serialMode = false;
    Connection.ipAddress = host;
    Connection.tcpPort = port;
}

struct Options
{
    QString file;
    QList<int> polls;
    int passes = 1;
    double interval = 0;
    double repeat = 0;
    int timeoutMs = 1500;
    RunOutput::Format format = RunOutput::Format::Table;
    bool raw = false;
    bool dryRun = false;
};

Options parse(QCommandLineParser &parser)
{
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 1)
        usage(QStringLiteral("FILE"),
              arguments.isEmpty() ? QStringLiteral("no poll file given")
                                  : QStringLiteral("give one poll file, not %1").arg(arguments.size()));
    Options o;
    o.file = arguments.first();
    if (parser.isSet(QStringLiteral("tcp")) == parser.isSet(QStringLiteral("rtu")))
        usage(QStringLiteral("--tcp/--rtu"), QStringLiteral("give exactly one transport"));
    if (parser.isSet(QStringLiteral("tcp"))) {
        tcpTarget(parser.value(QStringLiteral("tcp")));
    } else {
        Connection.serialMode = true;
        Connection.portName = parser.value(QStringLiteral("rtu"));
        if (Connection.portName.isEmpty())
            usage(QStringLiteral("--rtu"), QStringLiteral("no device given"));
        Connection.baudRate = int(number(parser, QStringLiteral("baud"), 1, 4000000));
        Connection.parity = choice(parser, QStringLiteral("parity"), {"none", "even", "odd"},
                                   {QSerialPort::NoParity, QSerialPort::EvenParity, QSerialPort::OddParity});
        Connection.dataBits = choice(parser, QStringLiteral("data"), {"7", "8"}, {7, 8});
        Connection.stopBits = choice(parser, QStringLiteral("stop"), {"1", "2"}, {1, 2});
        Connection.flowControl = QSerialPort::NoFlowControl;
    }
    Connection.connectOnce = !parser.isSet(QStringLiteral("per-poll"));
    Connection.loggingOn = false;
    if (parser.isSet(QStringLiteral("polls")))
        o.polls = pollList(parser.value(QStringLiteral("polls")));
    o.passes = int(number(parser, QStringLiteral("passes"), 0, 2147483647));
    o.interval = number(parser, QStringLiteral("interval"), 0, 86400, false);
    o.repeat = number(parser, QStringLiteral("repeat"), 0, 86400, false);
    o.timeoutMs = int(number(parser, QStringLiteral("timeout"), 1, 3600000));
    if (parser.isSet(QStringLiteral("csv")) && parser.isSet(QStringLiteral("json")))
        usage(QStringLiteral("--csv/--json"), QStringLiteral("give one output format"));
    if (parser.isSet(QStringLiteral("csv")))
        o.format = RunOutput::Format::Csv;
    if (parser.isSet(QStringLiteral("json")))
        o.format = RunOutput::Format::Json;
    o.raw = parser.isSet(QStringLiteral("raw"));
    o.dryRun = parser.isSet(QStringLiteral("dry-run"));
    return o;
}

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Runs the polls of a Pollwright poll file against a Modbus slave and prints the decoded values.\n"
        "Exit status: 0 every poll valid, 1 any poll failed, 2 bad usage or a file that does not load."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The poll file."));
    parser.addOptions({
        {QStringLiteral("tcp"), QStringLiteral("Modbus TCP to HOST, port 502 unless given."),
         QStringLiteral("HOST[:PORT]")},
        {QStringLiteral("rtu"), QStringLiteral("Modbus RTU on a serial device (a pty too)."),
         QStringLiteral("DEVICE")},
        {QStringLiteral("baud"), QStringLiteral("RTU speed (9600)."), QStringLiteral("N"),
         QStringLiteral("9600")},
        {QStringLiteral("parity"), QStringLiteral("RTU parity: none, even or odd (none)."),
         QStringLiteral("P"), QStringLiteral("none")},
        {QStringLiteral("data"), QStringLiteral("RTU data bits: 7 or 8 (8)."), QStringLiteral("N"),
         QStringLiteral("8")},
        {QStringLiteral("stop"), QStringLiteral("RTU stop bits: 1 or 2 (1)."), QStringLiteral("N"),
         QStringLiteral("1")},
        {QStringLiteral("polls"), QStringLiteral("Run these polls instead of the file's sequence."),
         QStringLiteral("LIST")},
        {QStringLiteral("passes"), QStringLiteral("Passes over the polls; 0 runs until interrupted (1)."),
         QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("interval"), QStringLiteral("Pause before each poll, as the window's Poll Time (0)."),
         QStringLiteral("SECONDS"), QStringLiteral("0")},
        {QStringLiteral("repeat"),
         QStringLiteral("Extra pause after a pass of two or more polls, as the window's Repeat (0)."),
         QStringLiteral("SECONDS"), QStringLiteral("0")},
        {QStringLiteral("timeout"), QStringLiteral("Time without new bytes after which a poll fails (1500)."),
         QStringLiteral("MS"), QStringLiteral("1500")},
        {QStringLiteral("per-poll"),
         QStringLiteral("A new connection for each poll, as the window with Connect Once off.")},
        {QStringLiteral("csv"), QStringLiteral("CSV rows instead of the table.")},
        {QStringLiteral("json"), QStringLiteral("One JSON object per poll instead of the table.")},
        {QStringLiteral("raw"),
         QStringLiteral(
             "Also the message log's Sent and Response lines (on stderr beside --csv or --json).")},
        {QStringLiteral("dry-run"), QStringLiteral("Print the frame each poll would send; open nothing.")},
    });
}

void catchSignals(PollRunner &runner)
{
    if (::pipe(signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &runner);
    QObject::connect(notifier, &QSocketNotifier::activated, &runner, [&runner] {
        char byte;
        (void)!::read(signalPipe[0], &byte, 1);
        runner.interrupt();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int run(const Options &o, const QList<int> &polls)
{
    RunOutput output(o.format, o.raw);
    if (o.dryRun) {
        for (int number : polls) {
            const Poll &poll = *pollNumber(number);
            output.frame(number, Connection.serialMode ? rtuRequest(poll) : tcpRequest(poll));
        }
        return 0;
    }
    PollRunner runner;
    runner.setTimeout(o.timeoutMs);
    catchSignals(runner);
    QString error;
    if (!runner.open(&error)) {
        std::fprintf(stderr, "pollwright-run: %s\n", qPrintable(error));
        return 1;
    }
    output.header();
    // The window's pacing: Poll Time before every poll, Repeat on top after a pass.
    PollSequencer pacing;
    pacing.setPollTime(o.interval);
    int sent = 0, valid = 0, errors = 0, pass = 0;
    for (int wait = pacing.pollIntervalMs; !runner.stopping(); wait = pacing.countdownMs) {
        runner.pause(wait);
        if (runner.stopping())
            break;
        const int number = polls.at(pacing.sequencePos);
        pacing.advance(polls.size(), o.interval, o.repeat);
        const PollResult result = runner.run(number);
        if (result.abandoned)
            break;
        ++sent;
        (result.ok ? valid : errors)++;
        output.result(result);
        if (pacing.sequencePos == 0 && ++pass == o.passes)
            break;
    }
    output.summary(sent, valid, errors);
    return errors ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // With TZ unset, glibc looks at /etc/localtime again for every time
    // stamp; named once, the zone is read once. The zone itself is the same.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    // Qt's own event dispatcher costs less per wait than GLib's, and nothing
    // here needs GLib.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pollwright-run"));
    QCoreApplication::setApplicationVersion(QStringLiteral(POLLWRIGHT_VERSION));
    QCommandLineParser parser;
    addOptions(parser);
    Options options;
    try {
        if (!parser.parse(QCoreApplication::arguments()))
            throw Usage{parser.errorText()};
        if (parser.isSet(QStringLiteral("help")))
            parser.showHelp(0);
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
        options = parse(parser);
    } catch (const Usage &bad) {
        std::fprintf(stderr, "pollwright-run: %s\n", qPrintable(bad.text));
        return 2;
    }

    fillPollDefaults();
    const QString loadError = loadPollFile(options.file);
    if (!loadError.isEmpty()) {
        std::fprintf(stderr, "pollwright-run: %s: %s\n", qPrintable(options.file), qPrintable(loadError));
        return 2;
    }
    const QList<int> polls = options.polls.isEmpty() ? Sequence : options.polls;
    if (polls.isEmpty()) {
        std::fprintf(stderr, "pollwright-run: %s: the sequence is empty; name the polls with --polls\n",
                     qPrintable(options.file));
        return 2;
    }
    return run(options, polls);
}
