#pragma once

#include <QByteArray>
#include <QString>

// Raw exchanges with a slave: send the request bytes as they are, then read
// until expectedLength bytes have come or timeoutMs has passed, and return
// whatever arrived (empty when nothing did, or when the line could not be
// opened; that reason goes to the test log as a warning).

// Over a fresh TCP connection to 127.0.0.1:port, closed afterwards.
QByteArray exchangeTcp(quint16 port, const QByteArray &request, int expectedLength, int timeoutMs = 2000);

// Over a serial device opened by path, 19200 baud 8E1 like the slave's
// default (a pty ignores the speed anyway).
QByteArray exchangeSerial(const QString &device, const QByteArray &request, int expectedLength,
                          int timeoutMs = 2000);
