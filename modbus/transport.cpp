#include "modbus/transport.h"

#include "modbus/connectionsettings.h"

#include <QSerialPort>
#include <QTcpSocket>

namespace {

constexpr int WaitStepMs = 5;
constexpr int WaitSteps = 200; // 1000 ms in all

bool waitFor(const std::function<bool()> &ready, const std::function<void(int)> &wait)
{
    for (int step = 0; step < WaitSteps && !ready(); ++step)
        wait(WaitStepMs);
    return ready();
}

} // namespace

Transport::Transport(QObject *parent)
    : QObject(parent)
{}

bool Transport::connectPort(QString *text)
{
    const ConnectionSettings &s = Connection;
    if (!s.serialMode) {
        connectTcp();
        if (!tcpSocket->isOpen()) {
            *text = QStringLiteral("Couldn't connect to ethernet port ") + s.ipAddress;
            return false;
        }
        *text = s.ipAddress + QLatin1Char('/') + QString::number(s.tcpPort)
                + (s.connectOnce ? QStringLiteral(" Connected") : QStringLiteral(" Ready"));
        if (!s.connectOnce)
            tcpSocket->close();
        return true;
    }

    // A port left from an earlier failed attempt is replaced, not piled up.
    delete serialPort;
    serialPort = new QSerialPort(this);
    watch(serialPort);
    serialPort->setPortName(s.portName);
    if (!serialPort->open(QIODevice::ReadWrite)) {
        *text = QStringLiteral("Couldn't connect to port ") + s.portName + QStringLiteral(" - ")
                + serialPort->errorString();
        return false;
    }
    const bool configured = serialPort->setBaudRate(s.baudRate, QSerialPort::AllDirections)
                            && serialPort->setDataBits(QSerialPort::DataBits(s.dataBits))
                            && serialPort->setParity(QSerialPort::Parity(s.parity))
                            && serialPort->setStopBits(QSerialPort::StopBits(s.stopBits))
                            && serialPort->setFlowControl(QSerialPort::FlowControl(s.flowControl));
    if (!configured) {
        *text =
            QStringLiteral("Couldn't connect to port ") + s.portName + QStringLiteral(" - settings failure");
        serialPort->close();
        return false;
    }
    serialOpen = 1;
    serialPort->readAll();
    *text = QStringLiteral("Connected to ") + s.portName;
    return true;
}

void Transport::watch(QIODevice *device)
{
    connect(device, &QIODevice::readyRead, this, &Transport::bytesArrived);
    if (auto *socket = qobject_cast<QAbstractSocket *>(device))
        connect(socket, &QAbstractSocket::stateChanged, this, &Transport::lineChanged);
    else if (auto *port = qobject_cast<QSerialPort *>(device))
        connect(port, &QSerialPort::errorOccurred, this, &Transport::lineChanged);
}

void Transport::connectTcp()
{
    delete tcpSocket;
    tcpSocket = new QTcpSocket(this);
    watch(tcpSocket);
    tcpSocket->connectToHost(Connection.ipAddress, quint16(Connection.tcpPort), QIODevice::ReadWrite,
                             QAbstractSocket::AnyIPProtocol);
}

QString Transport::disconnectPort()
{
    if (Connection.serialMode) {
        if (serialPort)
            serialPort->close();
        delete serialPort;
        serialPort = nullptr;
        return QStringLiteral("Disconnected from Serial Port ") + Connection.portName;
    }
    if (tcpSocket && tcpSocket->isOpen())
        tcpSocket->close();
    delete tcpSocket;
    tcpSocket = nullptr;
    return QStringLiteral("Disconnected from Ethernet Port ") + Connection.ipAddress;
}

QString Transport::dropSerialPort()
{
    delete serialPort;
    serialPort = nullptr;
    return QStringLiteral("Disconnected from serial port: ") + Connection.portName;
}

bool Transport::readySerial(const std::function<void(int)> &wait)
{
    if (serialPort && serialPort->isOpen())
        return true;
    if (serialPort)
        serialPort->open(QIODevice::ReadWrite);
    return waitFor([this] { return serialPort && serialPort->isOpen(); }, wait);
}

bool Transport::readyTcp(const std::function<void(int)> &wait)
{
    if (!tcpSocket) {
        tcpSocket = new QTcpSocket(this);
        watch(tcpSocket);
    }
    if (tcpSocket->state() == QAbstractSocket::ConnectedState)
        return true;
    // A connect still under way is waited for rather than restarted; a socket
    // closed while connecting may still say so, but is no longer open.
    const bool underWay = tcpSocket->isOpen()
                          && (tcpSocket->state() == QAbstractSocket::HostLookupState
                              || tcpSocket->state() == QAbstractSocket::ConnectingState);
    if (!underWay) {
        tcpSocket->abort();
        tcpSocket->connectToHost(Connection.ipAddress, quint16(Connection.tcpPort), QIODevice::ReadWrite,
                                 QAbstractSocket::AnyIPProtocol);
    }
    return waitFor([this] { return tcpSocket && tcpSocket->state() == QAbstractSocket::ConnectedState; },
                   wait);
}

void Transport::writeSerial(const QByteArray &bytes)
{
    serialPort->readAll();
    serialPort->write(bytes);
}

void Transport::writeTcp(const QByteArray &bytes)
{
    // Stale bytes (a reply STOP dropped) would pass for this request's answer and shift every later one.
    tcpSocket->readAll();
    tcpSocket->flush();
    tcpSocket->write(bytes);
}

bool Transport::replyChannelOpen(bool serial) const
{
    if (serial)
        return serialPort && serialPort->isOpen();
    return tcpSocket && tcpSocket->state() == QAbstractSocket::ConnectedState;
}

QByteArray Transport::readAvailable(bool serial)
{
    if (!replyChannelOpen(serial))
        return QByteArray();
    return serial ? serialPort->readAll() : tcpSocket->readAll();
}

void Transport::closeAfterError(bool serial)
{
    if (serial && serialPort && serialPort->isOpen()) {
        serialPort->readAll();
        serialPort->close();
    } else if (!serial && tcpSocket && tcpSocket->state() == QAbstractSocket::ConnectedState) {
        tcpSocket->readAll();
        tcpSocket->close();
    }
}

void Transport::endRequest(bool serial, bool failed)
{
    if (Connection.connectOnce)
        return;
    if (!serial)
        closeTcpSocket();
    else if (failed)
        closeAfterError(true);
}

void Transport::closeTcpSocket()
{
    if (tcpSocket && tcpSocket->isOpen())
        tcpSocket->close();
}

bool Transport::tcpSocketOpen() const
{
    return tcpSocket && tcpSocket->isOpen();
}

void Transport::closeSerialPort()
{
    if (serialOpen == 1 && serialPort && serialPort->isOpen())
        serialPort->close();
}
