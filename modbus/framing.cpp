#include "modbus/framing.h"

#include "data/decimaltext.h"
#include "data/valueencoding.h"

namespace {

void appendPairs(HexByteList &list, const QString &hex)
{
    for (int i = 0; i + 1 < hex.size(); i += 2)
        list.append(hex.mid(i, 2));
}

// Places one encoded item into the list as its order says.
void placeItem(HexByteList &list, const RequestItem &item, qint64 stringBytes)
{
    const QString hex = encodeValue(item);
    const int pairs = hex.size() / 2;

    if (item.order.isEmpty()) {
        appendPairs(list, hex);
    } else if (item.order == StringOrder) {
        // Cut or padded with 00 to exactly 2 x addrperitem bytes.
        const qint64 wanted = qBound<qint64>(0, stringBytes, MaxPduBytes - list.size());
        for (qint64 i = 0; i < wanted; ++i)
            list.append(i < pairs ? hex.mid(int(i) * 2, 2) : QStringLiteral("00"));
    } else {
        // Each digit names a byte by significance; a digit that points outside
        // the encoded value (or is no digit at all) sends an empty entry, which
        // travels as 00.
        const int length = item.order.size();
        for (const QChar c : item.order) {
            const int digit = c.isDigit() ? c.digitValue() : -1;
            const int index = length - 1 - digit;
            list.append(digit >= 0 && index >= 0 && index < pairs ? hex.mid(index * 2, 2) : QString());
        }
    }
}

} // namespace

HexByteList buildPduList(const Poll &poll)
{
    const int function = decimalValue(poll.function);
    HexByteList list;
    appendPairs(list, encodeValue({poll.slave, SingleByteType, QString()}));
    appendPairs(list, encodeValue({QString::number(function), SingleByteType, QString()}));
    appendPairs(list, encodeValue({poll.startaddr, 0, QString()}));

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
        bool ok = false;
        const uint value = entry.toUInt(&ok, 16);
        bytes.append(char(ok ? value & 0xFF : 0));
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
    const QString hex = encodeValue({QString::number(crc16(bytes)), 0, QString()});
    const QString low = hex.mid(2, 2);
    const QString high = hex.mid(0, 2);
    list << low << high;
    bytes.append(char(low.toUInt(nullptr, 16)));
    bytes.append(char(high.toUInt(nullptr, 16)));
}

HexByteList mbapHeader(int pduBytes)
{
    HexByteList header{QStringLiteral("00"), QStringLiteral("01"), QStringLiteral("00"),
                       QStringLiteral("00")};
    appendPairs(header, encodeValue({QString::number(pduBytes), 0, QString()}));
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
