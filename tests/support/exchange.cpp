#include "support/exchange.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QSerialPort>
#include <QTcpSocket>
#include <QtDebug>

namespace {

int remaining(const QDeadlineTimer &deadline)
{
    return static_cast<int>(qMax<qint64>(0, deadline.remainingTime()));
}

// Writes the request, then collects reads until enough bytes or the deadline.
QVector<QByteArray> talk(QIODevice &line, const QByteArray &request, int expectedLength, int timeoutMs)
{
    QVector<QByteArray> pieces;
    const QDeadlineTimer deadline(timeoutMs);
    line.write(request);
    while (line.bytesToWrite() > 0 && line.waitForBytesWritten(remaining(deadline))) {
    }

    int total = 0;
    while (total < expectedLength) {
        // False on the deadline, on an error or when the peer has closed.
        if (line.bytesAvailable() == 0 && !line.waitForReadyRead(remaining(deadline)))
            break;
        const QByteArray piece = line.readAll();
        if (!piece.isEmpty()) {
            pieces.append(piece);
            total += piece.size();
        }
    }
    return pieces;
}

QByteArray joined(const QVector<QByteArray> &pieces)
{
    QByteArray all;
    for (const QByteArray &piece : pieces)
        all += piece;
    return all;
}

} // namespace

QVector<QByteArray> exchangeTcpPieces(quint16 port, const QByteArray &request, int expectedLength,
                                      int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs)) {
        qWarning() << "cannot connect to port" << port << ":" << socket.errorString();
        return {};
    }
    return talk(socket, request, expectedLength, timeoutMs);
}

QVector<QByteArray> exchangeSerialPieces(const QString &device, const QByteArray &request, int expectedLength,
                                         int timeoutMs)
{
    QSerialPort port;
    port.setPortName(device);
    if (!port.open(QIODevice::ReadWrite)) {
        qWarning() << "cannot open" << device << ":" << port.errorString();
        return {};
    }
    port.setBaudRate(QSerialPort::Baud19200);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::EvenParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    port.clear(); // nothing left over from an earlier exchange
    return talk(port, request, expectedLength, timeoutMs);
}

QByteArray exchangeTcp(quint16 port, const QByteArray &request, int expectedLength, int timeoutMs)
{
    return joined(exchangeTcpPieces(port, request, expectedLength, timeoutMs));
}

QByteArray exchangeSerial(const QString &device, const QByteArray &request, int expectedLength, int timeoutMs)
{
    return joined(exchangeSerialPieces(device, request, expectedLength, timeoutMs));
}
