#include "data/valuedecoding.h"

#include "data/datatypetable.h"
#include "data/decimaltext.h"

#include <QtEndian>

#include <cstring>

namespace {

QStringList decodeCoils(const Poll &poll, const QByteArray &data)
{
    const int count = qMin(decimalValue(poll.val1), MaxCoilValues);
    QStringList values;
    values.reserve(qMax(count, 0));
    for (int i = 0; i < count; ++i) {
        const bool on = i / 8 < data.size() && (quint8(data.at(i / 8)) >> (i % 8)) & 1;
        values.append(on ? QStringLiteral("1") : QStringLiteral("0"));
    }
    return values;
}

QString numberText(int type, const uchar *bigEndian)
{
    switch (type) {
    case DataTypeTable::UInt16:
        return QString::number(qFromBigEndian<quint16>(bigEndian));
    case DataTypeTable::UInt32:
        return QString::number(qFromBigEndian<quint32>(bigEndian));
    case DataTypeTable::Int64:
        return QString::number(qFromBigEndian<qint64>(bigEndian));
    case DataTypeTable::Float32: {
        const quint32 bits = qFromBigEndian<quint32>(bigEndian);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return formatFloat(value);
    }
    case DataTypeTable::Double64: {
        const quint64 bits = qFromBigEndian<quint64>(bigEndian);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return formatFloat(value);
    }
    case DataTypeTable::SpecialInt:
        // Written as a signed 32-bit integer, so it reads back as one.
        return QString::number(qFromBigEndian<qint32>(bigEndian));
    default:
        return QString();
    }
}

QStringList decodeRegisters(const Poll &poll, const QByteArray &data, const DataTypeTable &types)
{
    const int type = decimalValue(poll.val2);
    const qint64 size =
        type == DataTypeTable::String ? 2 * qint64(decimalValue(poll.addrperitem)) : types.byteSize(type);
    // A type outside the table has no size: there is nothing to decode.
    if (size <= 0)
        return {};

    // The editor keeps val3 one of the type's orders. Any other text (from a
    // hand-edited file) decodes in the type's default, most significant first,
    // instead of picking bytes outside the item.
    const QStringList orders = types.orders(type);
    const QString order = orders.contains(poll.val3) ? poll.val3 : orders.value(0);

    QStringList values;
    const uchar *bytes = reinterpret_cast<const uchar *>(data.constData());
    for (qint64 offset = 0; offset + size <= data.size(); offset += size) {
        const uchar *chunk = bytes + offset;
        if (type == DataTypeTable::String) {
            const int length = int(qstrnlen(reinterpret_cast<const char *>(chunk), uint(size)));
            values.append(QString::fromUtf8(reinterpret_cast<const char *>(chunk), length));
            continue;
        }
        // Most significant byte first: significance k sits where digit k stands in the order.
        uchar ordered[8];
        for (int k = int(size) - 1; k >= 0; --k)
            ordered[size - 1 - k] = chunk[order.indexOf(QChar('0' + k))];
        const QString text = numberText(type, ordered);
        if (!text.isNull())
            values.append(text);
    }
    return values;
}

} // namespace

QList<PollItem> pollItems(const Poll &poll, const QByteArray &data, const DataTypeTable &types)
{
    const int function = decimalValue(poll.function);
    const int count = function == 5 || function == 6 ? 1 : qBound(0, decimalValue(poll.val1), MaxCoilValues);
    const QStringList values = pollValues(poll, data, types);
    const qint64 start = decimalValue(poll.startaddr);
    const qint64 step = decimalValue(poll.addrperitem);
    QList<PollItem> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i)
        items.append(
            {start + i * step, i < values.size() ? values.at(i) : QStringLiteral("0"), poll.desc.value(i)});
    return items;
}

QString formatFloat(double value)
{
    return QString::number(value, 'g', 6);
}

QStringList pollValues(const Poll &poll, const QByteArray &data, const DataTypeTable &types)
{
    switch (decimalValue(poll.function)) {
    case 1:
    case 2:
        return decodeCoils(poll, data);
    case 3:
    case 4:
        return decodeRegisters(poll, data, types);
    case 5:
    case 6:
        return poll.write.mid(0, 1);
    case 15:
    case 16:
        return poll.write;
    default:
        return {};
    }
}
