#include "support/exchange.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QSerialPort>
#include <QTcpSocket>
#include <QtDebug>

namespace {

// Writes the request, then collects reads until enough bytes or the deadline.
QByteArray talk(QIODevice &line, const QByteArray &request, int expectedLength, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const auto remaining = [&deadline] { return int(qMax<qint64>(0, deadline.remainingTime())); };
    line.write(request);
    while (line.bytesToWrite() > 0 && line.waitForBytesWritten(remaining())) {
    }
    QByteArray reply;
    // waitForReadyRead is false on the deadline, on an error or when the peer has closed.
    while (reply.size() < expectedLength && (line.bytesAvailable() || line.waitForReadyRead(remaining())))
        reply += line.readAll();
    return reply;
}

} // namespace

QByteArray exchangeTcp(quint16 port, const QByteArray &request, int expectedLength, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (socket.waitForConnected(timeoutMs))
        return talk(socket, request, expectedLength, timeoutMs);
    qWarning() << "cannot connect to port" << port << ":" << socket.errorString();
    return {};
}

QByteArray exchangeSerial(const QString &device, const QByteArray &request, int expectedLength, int timeoutMs)
{
    QSerialPort port(device);
    if (!port.open(QIODevice::ReadWrite)) {
        qWarning() << "cannot open" << device << ":" << port.errorString();
        return {};
    }
    port.setBaudRate(QSerialPort::Baud19200);
    port.setParity(QSerialPort::EvenParity);
    port.clear(); // nothing left over from an earlier exchange
    return talk(port, request, expectedLength, timeoutMs);
}
