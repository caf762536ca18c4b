#include "support/slaveprocess.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

const char pythonPath[] = "/usr/bin/python3"; // Debian's pymodbus is visible only to it
const int readyTimeoutMs = 5000;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QVector<quint16> parseWords(const QByteArray &text, bool *ok)
{
    QVector<quint16> words;
    for (const QByteArray &word : text.split(' ')) {
        const uint value = word.toUInt(ok, 16);
        if (!*ok || word.size() != 4)
            return *ok = false, QVector<quint16>();
        words.append(static_cast<quint16>(value));
    }
    return words;
}

} // namespace

SlaveProcess::SlaveProcess() = default;

SlaveProcess::~SlaveProcess()
{
    stop();
}

QString SlaveProcess::logPath() const
{
    return dir.filePath("requests.log");
}

QString SlaveProcess::dumpPath() const
{
    return dir.filePath("tables.dump");
}

bool SlaveProcess::startTcp(const QStringList &extraArgs)
{
    return start(POLLWRIGHT_SLAVE_PROGRAM,
                 QStringList{"--tcp", "0", "--log", logPath(), "--dump", dumpPath()} + extraArgs);
}

bool SlaveProcess::startRtu(const QString &device, const QStringList &extraArgs)
{
    return start(POLLWRIGHT_SLAVE_PROGRAM,
                 QStringList{"--rtu", device, "--log", logPath(), "--dump", dumpPath()} + extraArgs);
}

bool SlaveProcess::startPymodbus(const QStringList &extraArgs)
{
    return start(pythonPath,
                 QStringList{POLLWRIGHT_PYMODBUS_SLAVE, "--port", "0", "--dump", dumpPath()} + extraArgs);
}

bool SlaveProcess::start(const QString &program, const QStringList &arguments)
{
    stop();
    error.clear();
    tcpPort = 0;
    if (!dir.isValid()) {
        error = "no temporary folder: " + dir.errorString();
        return false;
    }
    process.start(program, arguments);
    if (!process.waitForStarted(readyTimeoutMs)) {
        error = QString("cannot start %1: %2").arg(program, process.errorString());
        return false;
    }

    QByteArray out;
    const QDeadlineTimer deadline(readyTimeoutMs);
    while (!out.contains('\n') && process.state() == QProcess::Running && !deadline.hasExpired()) {
        process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        out += process.readAllStandardOutput();
    }
    out += process.readAllStandardOutput();

    const QList<QByteArray> words = out.left(out.indexOf('\n')).split(' ');
    if (out.contains('\n') && words.size() == 3 && words.at(0) == "ready") {
        if (words.at(1) == "tcp")
            tcpPort = static_cast<quint16>(words.at(2).toUInt());
        if (words.at(1) == "rtu" || tcpPort != 0)
            return true;
    }
    if (process.state() == QProcess::Running)
        error = out.isEmpty() ? QString("no ready line within %1 ms").arg(readyTimeoutMs)
                              : "unexpected first line: " + QString::fromUtf8(out.trimmed());
    else
        error = QString("exited with status %1: %2")
                    .arg(process.exitCode())
                    .arg(QString::fromUtf8(process.readAllStandardError().trimmed()));
    stop();
    return false;
}

bool SlaveProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return false;
    process.terminate();
    if (process.waitForFinished(5000))
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    process.kill();
    process.waitForFinished(5000);
    return false;
}

QStringList SlaveProcess::requestLog() const
{
    QStringList lines = QString::fromLatin1(readFile(logPath())).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QVector<LoggedRequest> SlaveProcess::requests() const
{
    QVector<LoggedRequest> parsed;
    for (const QString &line : requestLog()) {
        const int space = line.indexOf(' ');
        LoggedRequest request;
        request.timeMs = line.left(space).toLongLong();
        request.bytes = QByteArray::fromHex(line.mid(space + 1).toLatin1());
        parsed.append(request);
    }
    return parsed;
}

SlaveTables SlaveProcess::dump() const
{
    SlaveTables tables;
    const QList<QByteArray> lines = readFile(dumpPath()).split('\n');
    if (lines.size() < 4)
        return tables;
    const auto field = [&](int i, const char *name) {
        const QByteArray prefix = QByteArray(name) + ' ';
        return lines.at(i).startsWith(prefix) ? lines.at(i).mid(prefix.size()) : QByteArray();
    };
    bool holdingOk = false, inputOk = false;
    tables.coils = field(0, "coils");
    tables.discretes = field(1, "discrete");
    tables.holdings = parseWords(field(2, "holding"), &holdingOk);
    tables.inputs = parseWords(field(3, "input"), &inputOk);
    const int size = tables.holdings.size();
    tables.valid = holdingOk && inputOk && size > 0 && tables.inputs.size() == size
                   && tables.coils.size() == size && tables.discretes.size() == size;
    return tables;
}

QString SlaveProcess::missingPymodbus()
{
    static const QString reason = [] {
        QProcess python;
        python.start(pythonPath, {"-c", "import pymodbus.server, pymodbus.datastore"});
        if (!python.waitForStarted(5000))
            return QString("%1 cannot run: %2").arg(pythonPath, python.errorString());
        if (!python.waitForFinished(30000) || python.exitStatus() != QProcess::NormalExit
            || python.exitCode() != 0)
            return QString("pymodbus is missing for %1 (apt-get install python3-pymodbus "
                           "python3-serial-asyncio): %2")
                .arg(pythonPath, QString::fromUtf8(python.readAllStandardError().trimmed()));
        return QString();
    }();
    return reason;
}
