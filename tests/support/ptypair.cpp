#include "support/ptypair.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStandardPaths>

PtyPair::~PtyPair()
{
    socat.terminate();
    if (!socat.waitForFinished(5000))
        socat.kill();
    socat.waitForFinished(5000);
}

bool PtyPair::start()
{
    error = missingSocat();
    if (!error.isEmpty())
        return false;
    socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    socat.start(QStandardPaths::findExecutable("socat"),
                {"pty,raw,echo=0,link=" + masterSide(), "pty,raw,echo=0,link=" + slaveSide()});
    // The links appear a moment after socat starts.
    const QDeadlineTimer deadline(5000);
    while (!(QFileInfo::exists(masterSide()) && QFileInfo::exists(slaveSide()))) {
        if (socat.waitForFinished(10) || deadline.hasExpired())
            return error = "socat made no pty links within 5 s: " + socat.errorString(), false;
    }
    return true;
}

QString PtyPair::missingSocat()
{
    return QStandardPaths::findExecutable("socat").isEmpty()
               ? "socat is not installed (apt-get install socat)"
               : QString();
}
