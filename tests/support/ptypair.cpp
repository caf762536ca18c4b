#include "support/ptypair.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStandardPaths>

PtyPair::PtyPair() = default;

PtyPair::~PtyPair()
{
    stop();
}

// The folder's unique name goes into the link names because QSerialPort
// takes its lock file by the port's file name.
QString PtyPair::masterSide() const
{
    return dir.filePath(QFileInfo(dir.path()).fileName() + "-master");
}

QString PtyPair::slaveSide() const
{
    return dir.filePath(QFileInfo(dir.path()).fileName() + "-slave");
}

bool PtyPair::start()
{
    stop();
    error = missingSocat();
    if (!error.isEmpty())
        return false;
    if (!dir.isValid()) {
        error = "no temporary folder: " + dir.errorString();
        return false;
    }
    socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    socat.start(QStandardPaths::findExecutable("socat"),
                {"pty,raw,echo=0,link=" + masterSide(), "pty,raw,echo=0,link=" + slaveSide()});
    if (!socat.waitForStarted(5000)) {
        error = "cannot start socat: " + socat.errorString();
        return false;
    }
    // The links appear a moment after socat starts.
    const QDeadlineTimer deadline(5000);
    while (!(QFileInfo::exists(masterSide()) && QFileInfo::exists(slaveSide()))) {
        if (socat.waitForFinished(10)) {
            error = QString("socat exited with status %1").arg(socat.exitCode());
            return false;
        }
        if (deadline.hasExpired()) {
            error = "socat made no pty links within 5 s";
            stop();
            return false;
        }
    }
    return true;
}

void PtyPair::stop()
{
    if (socat.state() == QProcess::NotRunning)
        return;
    socat.terminate();
    if (!socat.waitForFinished(5000)) {
        socat.kill();
        socat.waitForFinished(5000);
    }
}

QString PtyPair::missingSocat()
{
    return QStandardPaths::findExecutable("socat").isEmpty()
               ? QString("socat is not installed (apt-get install socat)")
               : QString();
}
