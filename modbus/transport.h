#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QIODevice;
class QSerialPort;
class QTcpSocket;

// The serial port and the TCP socket of the master, opened, used and closed
// as the connection settings say. The window owns one Transport; each
// connect creates fresh port and socket objects as children of it.
class Transport : public QObject
{
    Q_OBJECT

public:
    explicit Transport(QObject *parent = nullptr);

    // Opens the transport the settings choose. On success answers true and the
    // status line text; on failure false and the text for the connection dialog.
    bool connectPort(QString *text);

    // Closes and deletes the transport in use; answers the message the
    // connection dialog shows next.
    QString disconnectPort();

    // The serial port failed: it goes, and the dialog shows the answer.
    QString dropSerialPort();

    // Makes the transport ready for a request, waiting up to 1000 ms in 5 ms
    // steps of wait; false when it never becomes ready.
    bool readySerial(const std::function<void(int)> &wait);
    bool readyTcp(const std::function<void(int)> &wait);

    void writeSerial(const QByteArray &bytes);
    void writeTcp(const QByteArray &bytes);

    // Whether a reply can still arrive, and what has arrived since the last call.
    bool replyChannelOpen(bool serial) const;
    QByteArray readAvailable(bool serial);

    // After a reply or an error: without connect-once the TCP socket lives
    // for one request, and a serial port that failed is drained and closed.
    void endRequest(bool serial, bool failed);

    // After an error without connect-once: drain and close the transport.
    void closeAfterError(bool serial);
    // TCP without connect-once: the socket lives only for one request.
    void closeTcpSocket();
    bool tcpSocketOpen() const;
    // Closes the serial port if it was opened here (on shutdown).
    void closeSerialPort();

    QSerialPort *serialPort = nullptr;
    QTcpSocket *tcpSocket = nullptr;
    int serialOpen = 0;

signals:
    // Bytes arrived on the port or socket in use.
    void bytesArrived();
    // The socket's state changed or the port reported an error: a wait for
    // the line may be over.
    void lineChanged();

private:
    void connectTcp();
    void watch(QIODevice *device);
};
