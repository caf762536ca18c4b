#pragma once

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

// Two linked pseudo terminals made by socat, standing in for a serial cable:
// the master opens one end, the slave the other. socat ends with the object.
class PtyPair
{
public:
    ~PtyPair();
    // Starts socat and waits for both links; false, with the reason in
    // errorString(), when they do not appear.
    bool start();
    // The folder's unique name goes into the link names because QSerialPort
    // takes its lock file by the port's file name.
    QString masterSide() const { return dir.filePath(QFileInfo(dir.path()).fileName() + "-master"); }
    QString slaveSide() const { return dir.filePath(QFileInfo(dir.path()).fileName() + "-slave"); }
    QString errorString() const { return error; }

    // Empty when socat is installed, else why the pair cannot be made.
    static QString missingSocat();

private:
    QTemporaryDir dir;
    QProcess socat;
    QString error;
};
