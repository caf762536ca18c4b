#pragma once

#include "app/pollstore.h"

#include <QList>
#include <QString>

// One field of a request after the start address: a value text, the type it
// is encoded with and the order its bytes are placed in.
struct RequestItem
{
    QString text;
    int type = 0;  // a DataTypeTable index, or SingleByteType
    QString order; // empty, a byte-order string, or StringOrder

    bool operator==(const RequestItem &other) const
    {
        return text == other.text && type == other.type && order == other.order;
    }
};

// Framing's own type for one-byte fields: the low 8 bits of a uInt16 value.
constexpr int SingleByteType = 99;

// No Modbus quantity exceeds 16 bits; a hand-edited count beyond that stops
// here rather than building millions of items.
constexpr int MaxRequestItems = 65535;

// The order keyword for text: 2 x addrperitem bytes, cut or padded with 00.
extern const QString StringOrder;

// The bytes of a value as upper-case hex pairs, most significant byte first
// for numbers. A text that cannot be read, or does not fit the type, gives 0;
// a type outside the table gives no bytes.
QString encodeValue(const RequestItem &item);

// The same bytes, unconverted; framing places them without the text round trip.
QByteArray encodeBytes(const RequestItem &item);

// The fields of a request after its start address, for the given function
// code (not necessarily the poll's own).
QList<RequestItem> requestItems(int function, const Poll &poll);
