#pragma once

#include <QString>

// How the master reaches its slave. One process-wide record, zero and empty
// until the settings file is read; the connection dialog edits it.
struct ConnectionSettings
{
    bool serialMode = false;  // true: serial RTU, false: TCP
    bool connectOnce = false; // keep the connection open between polls
    QString portName;
    int baudRate = 0;
    int dataBits = 0;    // QSerialPort::DataBits
    int parity = 0;      // QSerialPort::Parity
    int stopBits = 0;    // QSerialPort::StopBits
    int flowControl = 0; // QSerialPort::FlowControl
    QString ipAddress;
    int tcpPort = 0;
    bool loggingOn = false; // daily report file of failed polls
    QString logFolder;
};

extern ConnectionSettings Connection;
