#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <QVector>

// One request as the slave logged it: the whole ADU as received.
struct LoggedRequest
{
    QByteArray bytes;
};

// A slave for tests: pollwright-slave over TCP or RTU, or the pymodbus slave
// over TCP, with its request log and table dump in a private temporary folder.
// Stopped (SIGTERM, then SIGKILL) when destroyed.
class SlaveProcess
{
public:
    ~SlaveProcess() { stop(); }

    // Each waits for the slave's ready line and answers false, with the
    // reason in errorString(), when it does not come. A later --tcp in
    // args replaces the default port 0.
    bool startTcp(const QStringList &args = {});
    bool startRtu(const QString &device, const QStringList &args = {});
    bool startPymodbus(const QStringList &args = {});
    // True when the slave then exited normally with status 0.
    bool stop();

    QString errorString() const { return error; }
    quint16 port() const { return tcpPort; }
    // Read fresh from the files on each call; the pymodbus slave keeps no request log.
    QVector<LoggedRequest> requests() const;
    // The dump's holding registers from address 0, two bytes each, high byte first.
    QByteArray holdings() const;

    // Empty when the pymodbus slave can run here, else why not.
    static QString missingPymodbus();

private:
    bool start(const QString &program, const QStringList &arguments);

    QTemporaryDir dir;
    QProcess process;
    QString error;
    quint16 tcpPort = 0;
};
