#pragma once

#include "modbus/connectionsettings.h"

#include <QDebug>

Q_DECLARE_METATYPE(ConnectionSettings)

// The record as one text, so a failed comparison shows every field.
inline QString connectionFields(const ConnectionSettings &s)
{
    QString text;
    QDebug(&text) << "serial" << s.serialMode << "once" << s.connectOnce << "port" << s.portName << "baud"
                  << s.baudRate << "data" << s.dataBits << "parity" << s.parity << "stop" << s.stopBits
                  << "flow" << s.flowControl << "ip" << s.ipAddress << "tcp" << s.tcpPort << "log"
                  << s.loggingOn << s.logFolder;
    return text;
}
