// The tables, the value codec and request framing, against the rows in
// tests/data/rows: hand-computed bytes and the texts the table shows.
#include "app/framecounter.h"
#include "data/datatypetable.h"
#include "data/functiontable.h"
#include "data/valuedecoding.h"
#include "data/valueencoding.h"
#include "modbus/framing.h"
#include "support/rows.h"

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    void functions_data() { addRows("rows/functions.tsv"); }
    void functions()
    {
        const FunctionTable table;
        const int code = cell("code").toInt();
        QCOMPARE(texts(table.text(code), table.index(code), table.coil(code), table.write(code),
                       table.replyBaseLength(code), table.byteCountIndex(code), table.codeAt(code)),
                 expected());
    }

    void dataTypes_data() { addRows("rows/datatypes.tsv"); }
    void dataTypes()
    {
        const DataTypeTable table;
        const int type = cell("type").toInt();
        QCOMPARE(texts(table.name(type), table.byteSize(type), table.orders(type).join(' ')), expected());
    }

    void encode_data() { addRows("rows/encode.tsv"); }
    void encode() { QCOMPARE(encodeValue({cell("text"), cell("type").toInt(), QString()}), cell("=hex")); }

    void framing_data() { addRows("rows/framing.tsv"); }
    void framing()
    {
        QCOMPARE(texts(rtuRequest(pollOfColumns()).bytes.toHex().toUpper(),
                       tcpRequest(pollOfColumns()).bytes.toHex().toUpper()),
                 expected());
    }

    void sizes_data() { addRows("rows/sizes.tsv"); }
    void sizes() { QCOMPARE(QString::number(tcpRequest(pollOfColumns()).bytes.size()), cell("=tcp")); }

    void hexLists_data() { addRows("rows/hexlists.tsv"); }
    void hexLists() { QCOMPARE(hexListToBytes(listOf(cell("list"))).toHex(), cell("=bytes").toLatin1()); }

    void decoding_data() { addRows("rows/decoding.tsv"); }
    void decoding()
    {
        QStringList items;
        for (const PollItem &item :
             pollItems(pollOfColumns(), QByteArray::fromHex(cell("data").toLatin1()), {}))
            items << QString::number(item.address) + '=' + item.value
                         + (item.description.isEmpty() ? QString() : '/' + item.description);
        QCOMPARE(textOf(items), cell("=items"));
    }

    void roundTrip_data() { addRows("rows/roundtrip.tsv"); }
    void roundTrip()
    {
        Poll poll = pollOfColumns();
        // MBAP (6), slave, function, address (2), quantity (2), byte count: then the data.
        const QByteArray data = tcpRequest(poll).bytes.mid(13);
        poll.function = "3";
        QStringList values;
        for (const PollItem &item : pollItems(poll, data, {}))
            values << item.value;
        QCOMPARE(textOf(values), cell("=values"));
    }

    void counts_data() { addRows("rows/counts.tsv"); }
    void counts() { QCOMPARE(incrementedCount(cell("text")), cell("=next")); }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
