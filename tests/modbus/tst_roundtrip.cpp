#include "data/datatypetable.h"
#include "data/valuedecoding.h"
#include "modbus/framing.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

// Values written by a function 16 request, taken from the frame and decoded
// as a function 3 reply of the same type and byte order, come back unchanged:
// every numeric type, every order, extremes and a few thousand random values.
class TestRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
};

namespace {

constexpr int ItemsPerFrame = 10;
constexpr int RandomValues = 2000;

struct Sample
{
    QString written; // the text the user types
    QString shown;   // the text the value column must show
};

template<typename T>
T fromBits(quint64 bits)
{
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

Sample floatSample(float value)
{
    // Nine significant digits name every float exactly.
    return {QString::number(double(value), 'g', 9), formatFloat(double(value))};
}

Sample doubleSample(double value)
{
    return {QString::number(value, 'g', 17), formatFloat(value)};
}

QVector<Sample> samples(int type, QRandomGenerator &random)
{
    QVector<Sample> list;
    auto integer = [&list](qint64 value, QString shown = QString()) {
        list.append({QString::number(value), shown.isNull() ? QString::number(value) : shown});
    };
    using F = std::numeric_limits<float>;
    using D = std::numeric_limits<double>;
    switch (type) {
    case DataTypeTable::UInt16:
        for (qint64 v : {0, 1, 255, 256, 32767, 32768, 65535})
            integer(v);
        for (int i = 0; i < RandomValues; ++i)
            integer(random.bounded(65536));
        break;
    case DataTypeTable::UInt32:
        // Written as signed 32 bits, shown unsigned.
        for (qint32 v :
             {0, 1, -1, 1000000, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()})
            integer(v, QString::number(quint32(v)));
        for (int i = 0; i < RandomValues; ++i) {
            const qint32 v = qint32(random.generate());
            integer(v, QString::number(quint32(v)));
        }
        break;
    case DataTypeTable::SpecialInt:
        for (qint32 v : {0, 1, -1, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()})
            integer(v);
        for (int i = 0; i < RandomValues; ++i)
            integer(qint32(random.generate()));
        break;
    case DataTypeTable::Int64:
        for (qint64 v : {qint64(0), qint64(1), qint64(-1), std::numeric_limits<qint64>::min(),
                         std::numeric_limits<qint64>::max()})
            integer(v);
        for (int i = 0; i < RandomValues; ++i)
            integer(qint64(random.generate64()));
        break;
    case DataTypeTable::Float32:
        for (float v : {0.0f, -0.0f, -1.0f, 1.5f, F::min(), F::lowest(), F::max(), F::denorm_min(),
                        F::infinity(), -F::infinity()})
            list.append(floatSample(v));
        list.append(Sample{"nan", "nan"});
        for (int i = 0; i < RandomValues; ++i) {
            const float v = fromBits<float>(random.generate());
            if (!std::isnan(v))
                list.append(floatSample(v));
        }
        break;
    case DataTypeTable::Double64:
        for (double v : {0.0, -0.0, -1.0, 1.5, D::min(), D::lowest(), D::max(), D::denorm_min(),
                         D::infinity(), -D::infinity()})
            list.append(doubleSample(v));
        list.append(Sample{"nan", "nan"});
        for (int i = 0; i < RandomValues; ++i) {
            const double v = fromBits<double>(random.generate64());
            if (!std::isnan(v))
                list.append(doubleSample(v));
        }
        break;
    }
    return list;
}

} // namespace

void TestRoundTrip::roundTrip_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("order");
    const DataTypeTable types;
    for (int type = 0; type < types.count(); ++type) {
        if (type == DataTypeTable::String)
            continue;
        for (const QString &order : types.orders(type))
            QTest::addRow("%s %s", qPrintable(types.name(type)), qPrintable(order)) << type << order;
    }
}

void TestRoundTrip::roundTrip()
{
    QFETCH(int, type);
    QFETCH(QString, order);

    const DataTypeTable types;
    QRandomGenerator random(0x5EED0000u + quint32(type * 16 + order.size()));
    const QVector<Sample> all = samples(type, random);
    QVERIFY(all.size() > RandomValues / 2);
    const int itemBytes = types.byteSize(type);

    Poll write;
    write.slave = "1";
    write.function = "16";
    write.startaddr = "0";
    write.addrperitem = QString::number(itemBytes / 2);
    write.val2 = QString::number(type);
    write.val3 = order;
    Poll read = write;
    read.function = "3";

    for (int first = 0; first < all.size(); first += ItemsPerFrame) {
        const QVector<Sample> batch = all.mid(first, ItemsPerFrame);
        write.val1 = read.val1 = QString::number(batch.size());
        write.write.clear();
        QStringList expected;
        for (const Sample &sample : batch) {
            write.write << sample.written;
            expected << sample.shown;
        }
        // MBAP (6), slave, function, address (2), quantity (2), byte count: then the data.
        const QByteArray frame = tcpRequest(write).bytes;
        QCOMPARE(frame.size(), 13 + batch.size() * itemBytes);
        QCOMPARE(int(quint8(frame.at(12))), (batch.size() * itemBytes) & 0xFF);
        QCOMPARE(pollValues(read, frame.mid(13), types), expected);
    }
}

QTEST_GUILESS_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
