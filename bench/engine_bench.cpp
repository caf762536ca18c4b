// Drives the real main window against a running slave the way a user does:
// answers the connection dialog, starts a sequence, and reports the polling
// rate, the CPU time taken, or the resident size as the polls add up. The
// counters read are the window's own labels; the slave's request log gives
// engine.sh a second count for the same window of time.
#include "app/mainwindow.h"
#include "app/pollstore.h"
#include "modbus/connectionsettings.h"
#include "windows/serialinfo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPointer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

MainWindow *window = nullptr;
QElapsedTimer wallClock;

struct Sample
{
    qint64 unixMs = 0; // matches the slave's log
    qint64 wallNs = 0;
    qint64 cpuUs = 0; // user + system, whole process
    qint64 valid = 0;
    qint64 errors = 0;
};

qint64 cpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec
           + usage.ru_stime.tv_usec;
}

qint64 rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

qint64 counter(const char *label)
{
    return window->findChild<QLabel *>(QLatin1String(label))->text().toLongLong();
}

Sample take()
{
    Sample s;
    s.unixMs = QDateTime::currentMSecsSinceEpoch();
    s.wallNs = wallClock.nsecsElapsed();
    s.cpuUs = cpuMicroseconds();
    s.valid = counter("numofvalid");
    s.errors = counter("numoferror");
    return s;
}

// Runs the event loop and takes a sample after ms. The sample is taken in the
// timer's slot, so it is on time even when the window is inside a nested
// event loop of its own (the connect wait) at that moment.
Sample sampleAfter(int ms)
{
    QEventLoop loop;
    Sample s;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, [&] {
        s = take();
        loop.quit();
    });
    loop.exec();
    return s;
}

// Runs the event loop until done() answers true, asking every stepMs; false
// after timeoutMs.
bool runUntil(const std::function<bool()> &done, int timeoutMs, int stepMs = 5)
{
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    bool reached = false;
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, &loop, [&] {
        if (!reached && done())
            reached = true;
        if (reached || elapsed.elapsed() > timeoutMs)
            loop.quit();
    });
    step.start(stepMs);
    loop.exec();
    return reached;
}

serialinfo *openDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<serialinfo *>(w); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// Answers the start-up connection dialog on its TCP tab.
bool connectTcp(quint16 port, bool connectOnce)
{
    if (!runUntil([] { return openDialog() != nullptr; }, 5000))
        return false;
    serialinfo *dialog = openDialog();
    dialog->findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentIndex(1);
    dialog->findChild<QLineEdit *>(QStringLiteral("ipaddress"))->setText(QStringLiteral("127.0.0.1"));
    dialog->findChild<QLineEdit *>(QStringLiteral("portnum"))->setText(QString::number(port));
    auto *once = dialog->findChild<QAbstractButton *>(QStringLiteral("connectonce"));
    if (once->isChecked() != connectOnce)
        once->click();
    QPointer<serialinfo> guard(dialog);
    dialog->findChild<QAbstractButton *>(QStringLiteral("connectbutton"))->click();
    const QString status = window->findChild<QLabel *>(QStringLiteral("footer2"))->text();
    return guard.isNull()
           && status.endsWith(connectOnce ? QStringLiteral(" Connected") : QStringLiteral(" Ready"));
}

// Answers the start-up connection dialog with serial settings for a pty (it
// lists no ptys, and a pty refuses parity) and closes it.
bool connectSerial(const QString &device)
{
    if (!runUntil([] { return openDialog() != nullptr; }, 5000))
        return false;
    QPointer<serialinfo> dialog(openDialog());
    Connection.serialMode = true;
    Connection.portName = device;
    Connection.baudRate = 19200;
    Connection.dataBits = 8;
    Connection.parity = 0;
    Connection.stopBits = 1;
    Connection.flowControl = 0;
    Connection.connectOnce = true;
    dialog->close();
    const QString status = QStringLiteral("Connected to ") + device;
    return runUntil([&] { return dialog.isNull() && window->findChild<QLabel *>("footer2")->text() == status; },
                    5000);
}

// Eight polls, one of each function, with several data types, run in turn.
void mixedPolls()
{
    fillPollDefaults();
    const struct
    {
        const char *function, *start, *count, *type, *order, *addressesPerItem;
        QStringList write;
    } polls[] = {
        {"3", "1", "4", "0", "10", "1", {}},
        {"4", "10", "2", "3", "3210", "2", {}},
        {"1", "1", "20", "0", "10", "1", {}},
        {"2", "1", "16", "0", "10", "1", {}},
        {"6", "100", "1", "0", "10", "1", {"1234"}},
        {"16", "200", "2", "3", "1032", "2", {"1.5", "-2.25"}},
        {"5", "50", "1", "0", "10", "1", {"1"}},
        {"15", "60", "10", "0", "10", "1", {"1", "0", "1", "1", "0", "0", "1", "0", "1", "1"}},
    };
    Sequence.clear();
    for (int i = 0; i < 8; ++i) {
        Poll &poll = PollStore[size_t(i)];
        poll.function = polls[i].function;
        poll.startaddr = polls[i].start;
        poll.val1 = polls[i].count;
        poll.val2 = polls[i].type;
        poll.val3 = polls[i].order;
        poll.addrperitem = polls[i].addressesPerItem;
        if (!polls[i].write.isEmpty())
            poll.write = polls[i].write;
        Sequence << i + 1;
    }
}

void startSequence(double pollTime)
{
    window->findChild<QAbstractButton *>(QStringLiteral("sequencetoggle"))->click();
    window->findChild<QDoubleSpinBox *>(QStringLiteral("timebetweenpolls"))->setValue(pollTime);
    window->findChild<QDoubleSpinBox *>(QStringLiteral("repeatspin"))->setValue(0);
    window->findChild<QAbstractButton *>(QStringLiteral("gobutton"))->click();
}

bool checked(const char *name)
{
    return window->findChild<QAbstractButton *>(QLatin1String(name))->isChecked();
}

// Counts paint events per widget while installed on the application: what
// redraws, and how often, while the engine runs.
class PaintCounter : public QObject
{
public:
    QMap<QString, qint64> counts;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            // Unnamed parts (a view's viewport, a header) go by their nearest named owner.
            auto unnamed = [](const QObject *o) {
                return o->objectName().isEmpty() || o->objectName().startsWith("qt_");
            };
            const QObject *owner = watched;
            while (owner->parent() && unnamed(owner))
                owner = owner->parent();
            QString name = owner->objectName();
            if (owner != watched)
                name += QLatin1Char('/') + QLatin1String(watched->metaObject()->className());
            ++counts[name];
        }
        return false;
    }

    QString perSecond(double seconds) const
    {
        QStringList parts;
        for (auto it = counts.begin(); it != counts.end(); ++it)
            parts << it.key() + QLatin1Char(':') + QString::number(qRound64(double(it.value()) / seconds));
        return parts.isEmpty() ? QStringLiteral("-") : parts.join(QLatin1Char(','));
    }
};

int fail(const char *message)
{
    std::fprintf(stderr, "engine_bench: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    // A private home (the settings file lands there) and runtime folder, set
    // before Qt first reads them.
    QTemporaryDir home;
    QTemporaryDir runtime;
    if (!home.isValid() || !runtime.isValid())
        return fail("cannot make temporary folders");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));

    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Modes: rate (Poll Time 0 for --seconds), cpu (Poll Time --poll-time, or --idle: "
        "connected, no sequence), memory (resident size at --early and --polls valid polls), "
        "soak (eight mixed polls at --poll-time for --seconds, report file on, over TCP or --serial)."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("mode"), QStringLiteral("rate, cpu, memory or soak"));
    const struct
    {
        const char *name, *help, *value, *byDefault;
    } options[] = {
        {"port", "the slave's TCP port", "n", ""},
        {"per-poll", "a new TCP connection per poll (default: connect once)", nullptr, nullptr},
        {"seconds", "measured time", "s", "10"},
        {"warmup", "time before the measured time", "s", "1"},
        {"poll-time", "cpu: Poll Time", "s", "0.5"},
        {"idle", "cpu: connected, no sequence running", nullptr, nullptr},
        {"early", "memory: first size after this many valid polls", "n", "1000"},
        {"polls", "memory: last size after this many valid polls", "n", "100000"},
        {"hide", "to compare: any of log (message log off), table (off), progress (bar hidden)", "list", ""},
        {"paints", "count paint events per widget", nullptr, nullptr},
        {"serial", "soak: the serial device (a pty) instead of --port", "device", ""},
        {"report-folder", "soak: the folder of the report file", "dir", ""},
    };
    for (const auto &o : options) {
        parser.addOption(o.value ? QCommandLineOption(o.name, o.help, o.value, o.byDefault)
                                 : QCommandLineOption(o.name, o.help));
    }
    parser.process(app);
    const QString mode = parser.positionalArguments().value(0);
    const quint16 port = quint16(parser.value("port").toUInt());
    const int measureMs = int(parser.value("seconds").toDouble() * 1000);
    const int warmupMs = int(parser.value("warmup").toDouble() * 1000);
    const QString device = parser.value("serial");
    if ((port == 0 && device.isEmpty()) || (mode != "rate" && mode != "cpu" && mode != "memory" && mode != "soak")
        || (mode == "soak" && parser.value("report-folder").isEmpty()))
        parser.showHelp(2);

    // The window copies the stored sequence when it is made.
    Sequence = {1, 2};
    if (mode == "soak")
        mixedPolls();
    Connection = ConnectionSettings();
    wallClock.start();
    auto owned = std::make_unique<MainWindow>();
    window = owned.get();
    // The window gives every poll its defaults when it is made.
    if (mode == "soak")
        mixedPolls();
    window->show();
    if (!runUntil([] { return window->windowHandle() && window->windowHandle()->isExposed(); }, 5000))
        return fail("the window was never shown");
    if (device.isEmpty() ? !connectTcp(port, !parser.isSet("per-poll")) : !connectSerial(device))
        return fail("the connection dialog did not connect");
    if (!checked("messagelogcheck") || !checked("displaycheck"))
        return fail("message log or table is off");
    const QStringList hide = parser.value("hide").split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (hide.contains("log"))
        window->findChild<QAbstractButton *>(QStringLiteral("messagelogcheck"))->click();
    if (hide.contains("table"))
        window->findChild<QAbstractButton *>(QStringLiteral("displaycheck"))->click();
    if (hide.contains("progress"))
        window->findChild<QWidget *>(QStringLiteral("progressBar"))->hide();
    std::printf("platform=%s log=%s table=%s progress=%s ", qPrintable(QGuiApplication::platformName()),
                checked("messagelogcheck") ? "on" : "off", checked("displaycheck") ? "on" : "off",
                hide.contains("progress") ? "hidden" : "shown");

    PaintCounter paints;
    if (parser.isSet("paints"))
        app.installEventFilter(&paints);

    if (mode == "soak") {
        Connection.loggingOn = true;
        Connection.logFolder = parser.value("report-folder");
        startSequence(parser.value("poll-time").toDouble());
        const Sample a = sampleAfter(warmupMs);
        const qint64 rssStart = rssKb();
        const Sample b = sampleAfter(measureMs);
        const qint64 rssEnd = rssKb();
        window->findChild<QAbstractButton *>(QStringLiteral("stopbutton"))->click();
        // STOP drops an awaited reply without counting it; let a late one land.
        sampleAfter(2000);
        const qint64 polls = counter("numofpolls");
        std::printf("seconds=%.0f polls=%lld valid=%lld errors=%lld outstanding=%lld rss_kb_start=%lld "
                    "rss_kb_end=%lld per_s=%.1f\n",
                    double(b.wallNs - a.wallNs) / 1e9, polls, counter("numofvalid"), counter("numoferror"),
                    polls - counter("numofvalid") - counter("numoferror"), rssStart, rssEnd,
                    double(b.valid + b.errors - a.valid - a.errors) / (double(b.wallNs - a.wallNs) / 1e9));
    } else if (mode != "memory") {
        if (mode == "rate")
            startSequence(0);
        else if (!parser.isSet("idle"))
            startSequence(parser.value("poll-time").toDouble());
        const Sample a = sampleAfter(warmupMs);
        paints.counts.clear();
        const Sample b = sampleAfter(measureMs);
        const double s = double(b.wallNs - a.wallNs) / 1e9;
        std::printf("valid=%lld errors=%lld seconds=%.3f per_s=%.1f cpu_percent=%.2f cpu_s=%.3f from_ms=%lld "
                    "to_ms=%lld paints_per_s=%s\n",
                    b.valid - a.valid, b.errors - a.errors, s, double(b.valid - a.valid) / s,
                    double(b.cpuUs - a.cpuUs) / 1e4 / s, double(b.cpuUs - a.cpuUs) / 1e6, a.unixMs, b.unixMs,
                    qPrintable(paints.perSecond(s)));
    } else {
        startSequence(0);
        const qint64 early = parser.value("early").toLongLong();
        const qint64 last = parser.value("polls").toLongLong();
        // Sizes along the way show a trend, not only the two ends.
        const qint64 marks[] = {early, last / 10, last / 4, last / 2, last * 3 / 4, last};
        qint64 earlyRss = -1, lastRss = -1;
        QStringList trend;
        for (const qint64 mark : marks) {
            // Ten minutes without reaching a mark means the run has stalled.
            if (mark < early || !runUntil([mark] { return counter("numofvalid") >= mark; }, 600 * 1000, 20))
                continue;
            const qint64 rss = rssKb();
            trend << QString::number(counter("numofvalid")) + QLatin1Char(':') + QString::number(rss);
            if (mark == early)
                earlyRss = rss;
            lastRss = rss;
        }
        if (counter("numofvalid") < last)
            return fail("the sequence stopped before the last mark");
        std::printf("rss_kb_early=%lld rss_kb_last=%lld growth_percent=%.2f errors=%lld trend=%s\n", earlyRss,
                    lastRss, 100.0 * double(lastRss - earlyRss) / double(earlyRss), counter("numoferror"),
                    qPrintable(trend.join(QLatin1Char(','))));
    }
    std::fflush(stdout);
    return 0;
}
