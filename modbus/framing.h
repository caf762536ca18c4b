#pragma once

#include "app/pollstore.h"

#include <QByteArray>
#include <QStringList>

// A request is built as a list of two-digit upper-case hex texts, one per
// byte; the same list is sent (as bytes) and shown in the message log, so the
// log always shows exactly what was framed.
using HexByteList = QStringList;

// A frame never grows past this many PDU bytes (the MBAP length field is 16
// bits). Only hand-edited polls could reach it; their data is cut there.
constexpr int MaxPduBytes = 65535;

// Slave, function, start address and the data part of a poll.
HexByteList buildPduList(const Poll &poll);

// Each entry parsed as base 16, low 8 bits kept; an entry that does not parse
// gives 00.
QByteArray hexListToBytes(const HexByteList &list);

// Modbus CRC-16, computed bit by bit (FFFF for no bytes).
quint16 crc16(const QByteArray &bytes);

// Appends the CRC, low byte first, to both the bytes and the list.
void appendCrc(QByteArray &bytes, HexByteList &list);

// The transaction identifier, protocol identifier and length that precede a
// PDU of the given number of bytes in a Modbus TCP request.
HexByteList mbapHeader(int pduBytes);

struct Request
{
    HexByteList hex;  // what the message log shows
    QByteArray bytes; // what goes on the wire
};

// The serial request: PDU followed by its CRC.
Request rtuRequest(const Poll &poll);
// The TCP request: MBAP header followed by the PDU.
Request tcpRequest(const Poll &poll);
