#include "support/slaveprocess.h"
#include "support/files.h"

static const char pythonPath[] = "/usr/bin/python3"; // Debian's pymodbus is visible only to it

bool SlaveProcess::startTcp(const QStringList &args)
{
    return start(POLLWRIGHT_SLAVE_PROGRAM, QStringList{"--tcp", "0", "--log", dir.filePath("log")} + args);
}

bool SlaveProcess::startRtu(const QString &device, const QStringList &args)
{
    return start(POLLWRIGHT_SLAVE_PROGRAM, QStringList{"--rtu", device, "--log", dir.filePath("log")} + args);
}

bool SlaveProcess::startPymodbus(const QStringList &args)
{
    return start(pythonPath, QStringList{POLLWRIGHT_PYMODBUS_SLAVE, "--port", "0"} + args);
}

bool SlaveProcess::start(const QString &program, const QStringList &arguments)
{
    stop();
    process.start(program, arguments + QStringList{"--dump", dir.filePath("dump")});
    QByteArray out;
    const QDeadlineTimer deadline(5000);
    while (!out.contains('\n') && process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
        out += process.readAllStandardOutput();
    // "ready tcp PORT" or "ready rtu DEVICE"
    const QList<QByteArray> words = out.left(out.indexOf('\n')).split(' ');
    tcpPort = words.value(1) == "tcp" ? quint16(words.value(2).toUInt()) : 0;
    if (words.size() == 3 && words.at(0) == "ready" && (words.at(1) == "rtu" || tcpPort))
        return true;
    error = program + " gave no ready line but \"" + out.trimmed() + "\": " + process.errorString() + ' '
            + process.readAllStandardError();
    stop();
    return false;
}

bool SlaveProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return false;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(5000);
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QVector<LoggedRequest> SlaveProcess::requests() const
{
    // A line is "unix-time-ms hex-bytes".
    QVector<LoggedRequest> logged;
    for (const QByteArray &line : readBytes(dir.filePath("log")).split('\n'))
        if (!line.isEmpty())
            logged.append(LoggedRequest{QByteArray::fromHex(line.mid(line.indexOf(' ') + 1))});
    return logged;
}

QByteArray SlaveProcess::holdings() const
{
    // Lines "coils 0110...", "discrete ...", "holding 0000 0001 ...", "input ...".
    return QByteArray::fromHex(readBytes(dir.filePath("dump")).split('\n').value(2).mid(8));
}

QString SlaveProcess::missingPymodbus()
{
    static const bool found =
        QProcess::execute(pythonPath, {"-c", "import pymodbus.server, pymodbus.datastore"}) == 0;
    return found ? "" : "pymodbus is missing (apt-get install python3-pymodbus python3-serial-asyncio)";
}
