#include "modbus/framing.h"

#include "data/decimaltext.h"
#include "data/valueencoding.h"

namespace {

// The 256 byte texts, built once and shared: a list entry then costs a
// reference count instead of an allocation.
const QString &byteText(quint8 byte)
{
    static const QVector<QString> texts = [] {
        QVector<QString> list;
        for (int b = 0; b < 256; ++b)
            list.append(QString::asprintf("%02X", b));
        return list;
    }();
    return texts.at(byte);
}

void appendBytes(HexByteList &list, const QByteArray &bytes)
{
    for (const char byte : bytes)
        list.append(byteText(quint8(byte)));
}

// Places one encoded item into the list as its order says.
void placeItem(HexByteList &list, const RequestItem &item, qint64 stringBytes)
{
    const QByteArray bytes = encodeBytes(item);
    const int size = bytes.size();

    if (item.order.isEmpty()) {
        appendBytes(list, bytes);
    } else if (item.order == StringOrder) {
        // Cut or padded with 00 to exactly 2 x addrperitem bytes.
        const qint64 wanted = qBound<qint64>(0, stringBytes, MaxPduBytes - list.size());
        for (qint64 i = 0; i < wanted; ++i)
            list.append(byteText(i < size ? quint8(bytes.at(int(i))) : 0));
    } else {
        // Each digit names a byte by significance; a digit that points outside
        // the encoded value (or is no digit at all) sends an empty entry, which
        // travels as 00.
        const int length = item.order.size();
        for (const QChar c : item.order) {
            const int digit = c.isDigit() ? c.digitValue() : -1;
            const int index = length - 1 - digit;
            list.append(digit >= 0 && index >= 0 && index < size ? byteText(quint8(bytes.at(index)))
                                                                 : QString());
        }
    }
}

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

} // namespace

HexByteList buildPduList(const Poll &poll)
{
    const int function = decimalValue(poll.function);
    HexByteList list;
    appendBytes(list, encodeBytes({poll.slave, SingleByteType, QString()}));
    appendBytes(list, encodeBytes({QString::number(function), SingleByteType, QString()}));
    appendBytes(list, encodeBytes({poll.startaddr, 0, QString()}));

    const qint64 stringBytes = 2 * qint64(decimalValue(poll.addrperitem));
    for (const RequestItem &item : requestItems(function, poll)) {
        if (list.size() >= MaxPduBytes)
            break;
        placeItem(list, item, stringBytes);
    }
    if (list.size() > MaxPduBytes)
        list.erase(list.begin() + MaxPduBytes, list.end());
    return list;
}

QByteArray hexListToBytes(const HexByteList &list)
{
    QByteArray bytes;
    bytes.reserve(list.size());
    for (const QString &entry : list) {
        // The usual entry is two hex digits; anything else takes the general parse.
        const int high = entry.size() == 2 ? hexDigit(entry.at(0)) : -1;
        const int low = entry.size() == 2 ? hexDigit(entry.at(1)) : -1;
        if (high >= 0 && low >= 0) {
            bytes.append(char(high << 4 | low));
        } else {
            bool ok = false;
            const uint value = entry.toUInt(&ok, 16);
            bytes.append(char(ok ? value & 0xFF : 0));
        }
    }
    return bytes;
}

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

void appendCrc(QByteArray &bytes, HexByteList &list)
{
    const quint16 crc = crc16(bytes);
    const quint8 low = crc & 0xFF;
    const quint8 high = crc >> 8;
    list << byteText(low) << byteText(high);
    bytes.append(char(low));
    bytes.append(char(high));
}

HexByteList mbapHeader(int pduBytes)
{
    HexByteList header{QStringLiteral("00"), QStringLiteral("01"), QStringLiteral("00"),
                       QStringLiteral("00")};
    appendBytes(header, encodeBytes({QString::number(pduBytes), 0, QString()}));
    return header;
}

Request rtuRequest(const Poll &poll)
{
    Request request;
    request.hex = buildPduList(poll);
    request.bytes = hexListToBytes(request.hex);
    appendCrc(request.bytes, request.hex);
    return request;
}

Request tcpRequest(const Poll &poll)
{
    const HexByteList pdu = buildPduList(poll);
    Request request;
    request.hex = mbapHeader(pdu.size()) + pdu;
    request.bytes = hexListToBytes(request.hex);
    return request;
}
