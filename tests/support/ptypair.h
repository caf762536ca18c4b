#pragma once

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

// Two linked pseudo terminals made by socat, standing in for a serial cable:
// the master opens one end, the slave the other. socat ends with the object.
class PtyPair
{
public:
    ~PtyPair()
    {
        socat.terminate();
        socat.waitForFinished(5000); // else QProcess kills it
    }

    // Starts socat and waits for both links; false, with the reason in
    // errorString(), when they do not appear.
    bool start()
    {
        if (QStandardPaths::findExecutable("socat").isEmpty()) {
            error = "socat is not installed (apt-get install socat)";
            return false;
        }
        socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        socat.start("socat", {"pty,raw,echo=0,link=" + masterSide(), "pty,raw,echo=0,link=" + slaveSide()});
        // The links appear a moment after socat starts.
        const QDeadlineTimer deadline(5000);
        while (!(QFileInfo::exists(masterSide()) && QFileInfo::exists(slaveSide())))
            if (socat.waitForFinished(10) || deadline.hasExpired())
                return error = "socat made no pty links within 5 s: " + socat.errorString(), false;
        return true;
    }

    // The folder's unique name goes into the link names because QSerialPort
    // takes its lock file by the port's file name.
    QString masterSide() const { return dir.filePath(QFileInfo(dir.path()).fileName() + "-master"); }
    QString slaveSide() const { return dir.filePath(QFileInfo(dir.path()).fileName() + "-slave"); }
    QString errorString() const { return error; }

private:
    QTemporaryDir dir;
    QProcess socat;
    QString error;
};
