#ifndef POLLWRIGHT_TESTS_PTYPAIR_H
#define POLLWRIGHT_TESTS_PTYPAIR_H

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Two linked pseudo terminals made by socat, standing in for a serial cable:
// the master opens one end, the slave the other. socat ends with the object.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    // Starts socat and waits for both links; false, with the reason in
    // errorString(), when they do not appear.
    bool start();
    QString masterSide() const;
    QString slaveSide() const;
    QString errorString() const { return error; }

    // Empty when socat is installed, else why the pair cannot be made.
    static QString missingSocat();

private:
    void stop();

    QTemporaryDir dir;
    QProcess socat;
    QString error;
};

#endif
