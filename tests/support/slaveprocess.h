#ifndef POLLWRIGHT_TESTS_SLAVEPROCESS_H
#define POLLWRIGHT_TESTS_SLAVEPROCESS_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

// One request as the slave logged it.
struct LoggedRequest
{
    qint64 timeMs = 0; // unix time
    QByteArray bytes;  // the whole ADU as received
};

// A slave's four tables as its dump file shows them. Addresses outside the
// tables answer false or 0.
class SlaveTables
{
public:
    bool isValid() const { return valid; }
    int size() const { return holdings.size(); }
    bool coil(int i) const { return i >= 0 && i < coils.size() && coils.at(i) == '1'; }
    bool discrete(int i) const { return i >= 0 && i < discretes.size() && discretes.at(i) == '1'; }
    quint16 holding(int i) const { return holdings.value(i); }
    quint16 input(int i) const { return inputs.value(i); }

private:
    friend class SlaveProcess;
    bool valid = false;
    QByteArray coils, discretes;
    QVector<quint16> holdings, inputs;
};

// A slave for tests: pollwright-slave over TCP or RTU, or the pymodbus slave
// over TCP, with its request log and table dump in a private temporary folder.
// Stopped (SIGTERM, then SIGKILL) when destroyed.
class SlaveProcess
{
public:
    SlaveProcess();
    ~SlaveProcess();
    SlaveProcess(const SlaveProcess &) = delete;
    SlaveProcess &operator=(const SlaveProcess &) = delete;

    // Each waits for the slave's ready line and answers false, with the
    // reason in errorString(), when it does not come. A later --tcp in
    // extraArgs replaces the default port 0.
    bool startTcp(const QStringList &extraArgs = {});
    bool startRtu(const QString &device, const QStringList &extraArgs = {});
    bool startPymodbus(const QStringList &extraArgs = {});

    // Sends SIGTERM and waits; true when the slave then exited normally with
    // status 0 (a SIGKILL after a timeout counts as false).
    bool stop();

    QString errorString() const { return error; }
    quint16 port() const { return tcpPort; }
    QString logPath() const;
    QString dumpPath() const;

    // Read fresh from the files on each call. The pymodbus slave keeps no
    // request log.
    QStringList requestLog() const;
    QVector<LoggedRequest> requests() const;
    SlaveTables dump() const;

    // Empty when the pymodbus slave can run here, else why not.
    static QString missingPymodbus();

private:
    bool start(const QString &program, const QStringList &arguments);

    QTemporaryDir dir;
    QProcess process;
    QString error;
    quint16 tcpPort = 0;
};

#endif
