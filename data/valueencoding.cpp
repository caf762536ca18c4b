#include "data/valueencoding.h"

#include "data/datatypetable.h"
#include "data/decimaltext.h"

#include <QtEndian>

#include <cstring>

const QString StringOrder = QStringLiteral("STRING");

namespace {

template<typename T>
QByteArray bigEndian(T value)
{
    char bytes[sizeof(T)];
    qToBigEndian(value, bytes);
    return QByteArray(bytes, int(sizeof(T)));
}

quint16 readUInt16(const QString &text)
{
    bool ok = false;
    const quint16 value = text.toUShort(&ok, 10);
    return ok ? value : 0;
}

qint32 readInt32(const QString &text)
{
    bool ok = false;
    const qint32 value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

qint64 readInt64(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? value : 0;
}

template<typename Float, typename Bits>
QByteArray floatBytes(Float value)
{
    Bits bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bigEndian(bits);
}

// A val2 outside the table must not pass for the framing's single-byte type.
int itemType(const Poll &poll)
{
    const int type = decimalValue(poll.val2);
    return type >= 0 && type < DataTypeTable().count() ? type : -1;
}

QString writeValue(const Poll &poll, int index)
{
    // A write list shorter than the count sends empty texts (zeros), so the
    // data always matches the quantity announced.
    return index < poll.write.size() ? poll.write.at(index) : QString();
}

} // namespace

QString encodeValue(const RequestItem &item)
{
    return QString::fromLatin1(encodeBytes(item).toHex().toUpper());
}

QByteArray encodeBytes(const RequestItem &item)
{
    switch (item.type) {
    case DataTypeTable::UInt16:
        return bigEndian(readUInt16(item.text));
    case DataTypeTable::UInt32:
    case DataTypeTable::SpecialInt:
        return bigEndian(readInt32(item.text));
    case DataTypeTable::Int64:
        return bigEndian(readInt64(item.text));
    case DataTypeTable::Float32: {
        // Parsed in double and rounded once, as IEEE single precision rounds:
        // the nine-digit text of the largest float still names it, and a value
        // past the float range becomes an infinity.
        bool ok = false;
        const double parsed = item.text.toDouble(&ok);
        return floatBytes<float, quint32>(ok ? float(parsed) : 0.0f);
    }
    case DataTypeTable::Double64: {
        bool ok = false;
        const double value = item.text.toDouble(&ok);
        return floatBytes<double, quint64>(ok ? value : 0.0);
    }
    case DataTypeTable::String:
        return item.text.toUtf8();
    case SingleByteType:
        return bigEndian(quint8(readUInt16(item.text) & 0xFF));
    default:
        return QByteArray();
    }
}

QList<RequestItem> requestItems(int function, const Poll &poll)
{
    const auto uint16Item = [](qint64 value) {
        return RequestItem{QString::number(value), DataTypeTable::UInt16, QString()};
    };
    const auto byteItem = [](qint64 value) {
        return RequestItem{QString::number(value), SingleByteType, QString()};
    };
    // Computed in 64 bits and clamped, so absurd counts from a hand-edited file
    // cannot overflow; the encoder sends anything outside 0..65535 as 0 either way.
    const qint64 quantity =
        qBound<qint64>(-1, qint64(decimalValue(poll.val1)) * decimalValue(poll.addrperitem), 65536);

    switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
        return {uint16Item(quantity)};
    case 5:
        return {uint16Item(writeValue(poll, 0) == QLatin1String("1") ? 0xFF00 : 0)};
    case 6:
        return {RequestItem{writeValue(poll, 0), itemType(poll), poll.val3}};
    case 15: {
        const int coils = poll.write.size();
        QList<RequestItem> items{uint16Item(coils), byteItem((coils + 7) / 8)};
        for (int first = 0; first < coils; first += 8) {
            int packed = 0;
            for (int bit = 0; bit < 8 && first + bit < coils; ++bit) {
                if (decimalValue(poll.write.at(first + bit)) != 0)
                    packed |= 1 << bit;
            }
            items.append(byteItem(packed));
        }
        return items;
    }
    case 16: {
        const int type = itemType(poll);
        const QString order = type == DataTypeTable::String ? StringOrder : poll.val3;
        QList<RequestItem> items{uint16Item(quantity), byteItem(2 * quantity)};
        const int count = decimalValue(poll.val1);
        for (int i = 0; i < count && i < MaxRequestItems; ++i)
            items.append(RequestItem{writeValue(poll, i), type, order});
        return items;
    }
    default:
        return {};
    }
}
