#include "app/pollstore.h"
#include "storage/pollfile.h"
#include "support/files.h"

#include <QtTest>

#include <memory>

// The poll file against reference files written independently of the code,
// hand-made and broken files (saves that cannot complete: tst_pollfilesave).
// Every case runs in its own empty folder, starting from a store that differs
// from anything a file holds, so a record that is not replaced shows.
class TestPollFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void saveAndLoad_data();
    void saveAndLoad();
    void handMade_data();
    void handMade();
    void countsWithoutDescriptions();
    void failures_data();
    void failures();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

using Polls = QVector<Poll>;
using Fill = void (*)();
using Changes = QMap<int, Poll>;
Q_DECLARE_METATYPE(Poll)
Q_DECLARE_METATYPE(Fill)
Q_DECLARE_METATYPE(Changes)

static QByteArray fixture(const QString &name)
{
    return readBytes(QStringLiteral(POLL_FIXTURES "/") + name);
}

// Fields in file order.
static Poll makePoll(const QString &polldesc, const QString &slave, const QString &function,
                     const QString &startaddr, const QString &addrperitem, const QString &val1,
                     const QString &val2, const QString &val3, const QStringList &write,
                     const QStringList &desc)
{
    Poll poll;
    poll.polldesc = polldesc;
    poll.slave = slave;
    poll.function = function;
    poll.startaddr = startaddr;
    poll.addrperitem = addrperitem;
    poll.val1 = val1;
    poll.val2 = val2;
    poll.val3 = val3;
    poll.write = write;
    poll.desc = desc;
    return poll;
}

static QStringList emptyTexts(int count)
{
    return QVector<QString>(count, QString("")).toList();
}

// One line per field, so a mismatch names the record and the field.
static QStringList storeFields(const std::array<Poll, MaxPolls> &store = PollStore)
{
    QStringList lines;
    for (int number = 1; number <= MaxPolls; ++number) {
        const Poll &p = store[number - 1];
        const QString n = "Poll" + QString::number(number) + ".";
        lines << n + "polldesc=" + p.polldesc << n + "slave=" + p.slave << n + "function=" + p.function
              << n + "startaddr=" + p.startaddr << n + "addrperitem=" + p.addrperitem << n + "val1=" + p.val1
              << n + "val2=" + p.val2 << n + "val3=" + p.val3
              << n + "write=" + QString::number(p.write.size()) + ":" + p.write.join('|')
              << n + "desc=" + QString::number(p.desc.size()) + ":" + p.desc.join('|');
    }
    return lines;
}

// What the program held before a load.
static void fillPrevious()
{
    for (int number = 1; number <= MaxPolls; ++number) {
        const QString n = QString::number(number);
        PollStore[number - 1] = makePoll("old " + n, "2" + n, "4", "10" + n, "2", "2", "1", "BA",
                                         {"w" + n, "x" + n}, {"d" + n, "e" + n});
    }
    Sequence = {7, 8, 9};
}

static const QList<int> previousSequence = {7, 8, 9};

// The store that tests/data/pollfiles/full.xml was written from.
static void fillFullStore()
{
    fillPollDefaults();
    PollStore[0] = makePoll("Pumps & valves <hall 2>", "247", "16", "40001", "2", "3", "4", "3412",
                            {"1.5", "-2", "65535"}, {"Flow l/min", "Druck über Soll", "温度 °C"});
    PollStore[1].function = "15";
    PollStore[1].val1 = "0";
    PollStore[1].write.clear();
    PollStore[1].desc.clear();
    PollStore[2] = Poll();
    PollStore[3] = makePoll("", "", "", "", "", "", "", "", {""}, {""});
    const QChar loneSurrogate(0xD800);
    PollStore[4] =
        makePoll("a<b&c>d \"q\" 'a' x]]>y", " 12 ", "tab\there", "cr\rlf\r\nend", "line1\nline2", "   ", "€😀",
                 QString("ctl") + QChar(1) + QChar(0x1F) + " end" + QChar(0xFFFF), {"&amp;", "<Val>", "]]>"},
                 {QString(QChar(0x7F)), QString("a") + loneSurrogate + "b"});
    PollStore[5].val1 = "2000";
    PollStore[5].write.clear();
    PollStore[5].desc.clear();
    for (int i = 0; i < 2000; ++i) {
        PollStore[5].write << QString::number(i * 3 - 1000);
        PollStore[5].desc << QString("Register %1 – Zone %2").arg(i).arg(QString("ÄÖÜ").at(i % 3));
    }
    PollStore[98].polldesc = "last";
    PollStore[98].slave = "300";
    PollStore[98].function = "7";
    Sequence = {1, 2, 99, 2, 50, 3};
}

static void fillFreshStore()
{
    fillPollDefaults();
    Sequence.clear();
}

void TestPollFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    fillPrevious();
}

void TestPollFile::saveAndLoad_data()
{
    QTest::addColumn<Fill>("fill");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<Changes>("changes"); // what differs after the load

    QTest::newRow("fresh store") << &fillFreshStore << "fresh.xml" << Changes();

    fillFullStore();
    Changes full;
    Poll emptyLists = PollStore[1];
    emptyLists.write = QStringList{"0"};
    emptyLists.desc = QStringList{""};
    full.insert(2, emptyLists);
    full.insert(3, makePoll("", "1", "1", "", "", "", "", "", {"0"}, {""}));
    full.insert(4, makePoll("", "1", "1", "", "", "", "", "", {""}, {""}));
    Poll escaped = PollStore[4];
    escaped.val1 = ""; // whitespace only
    escaped.val3 = "ctl end";
    escaped.desc = QStringList{QString(QChar(0x7F)), "ab"};
    full.insert(5, escaped);
    QTest::newRow("every field, long lists, escapes, non-ASCII") << &fillFullStore << "full.xml" << full;
}

// The bytes of a save, written over a longer file that must vanish entirely,
// leaving the store as it was. The file loads back as it was saved, except
// for the listed changes, with no null text; and the loaded store saved
// again loads back unchanged.
void TestPollFile::saveAndLoad()
{
    QFETCH(Fill, fill);
    QFETCH(QString, reference);
    QFETCH(Changes, changes);

    const QString path = dir->path() + "/polls.xml";
    writeBytes(path, QByteArray(300000, 'x'));
    fill();
    const QStringList store = storeFields();
    std::array<Poll, MaxPolls> expected = PollStore;
    for (auto change = changes.cbegin(); change != changes.cend(); ++change)
        expected[change.key() - 1] = change.value();
    const QList<int> sequence = Sequence;
    savePollFile(path);
    const QByteArray written = readBytes(path);
    QCOMPARE(QString::fromUtf8(written).split('\n'), QString::fromUtf8(fixture(reference)).split('\n'));
    QCOMPARE(written, fixture(reference));
    QCOMPARE(storeFields(), store);

    for (const QString &file : {path, dir->path() + "/again.xml"}) {
        fillPrevious();
        QCOMPARE(loadPollFile(file), QString());
        QCOMPARE(storeFields(), storeFields(expected));
        QCOMPARE(Sequence, sequence);
        savePollFile(dir->path() + "/again.xml");
    }
    for (const Poll &poll : PollStore) {
        for (const QString *field : {&poll.polldesc, &poll.slave, &poll.function, &poll.startaddr,
                                     &poll.addrperitem, &poll.val1, &poll.val2, &poll.val3})
            QVERIFY(!field->isNull());
        for (const QString &entry : poll.write + poll.desc)
            QVERIFY(!entry.isNull());
    }
}

static QByteArray pollXml(const QByteArray &name, const QByteArray &body)
{
    return "<" + name + ">" + body + "</" + name + ">";
}

static const QByteArray completePoll = pollXml(
    "Poll1", "<polldesc>Tank</polldesc><slave>5</slave><function>3</function><startaddr>100</startaddr>"
             "<addrperitem>1</addrperitem><val1>2</val1><val2>1</val2><val3>AB</val3>"
             "<write><Val>0</Val><Val>0</Val></write><desc><Val>level</Val><Val>temp</Val></desc>");
static const Poll completeRecord =
    makePoll("Tank", "5", "3", "100", "1", "2", "1", "AB", {"0", "0"}, {"level", "temp"});

static const QByteArray minimalPoll = pollXml("p", "<slave>9</slave><function>4</function><write/>");
static const Poll minimalRecord = makePoll("", "9", "4", "", "1", "", "", "", {}, {});

static QByteArray pollsXml(const QByteArray &sequence, const QByteArray &polls)
{
    return "<?xml version='1.0' encoding='UTF-8'?>\n<polls><Sequence>" + sequence + "</Sequence>" + polls
           + "</polls>\n";
}

void TestPollFile::handMade_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<int>>("sequence");
    QTest::addColumn<Polls>("records"); // records 1 to n; the others keep theirs

    QTest::newRow("three polls, any names")
        << QByteArray("<anything><Sequence><S>3</S><x>1</x><S>3</S></Sequence>"
                      "<Poll7><polldesc>A</polldesc><slave>2</slave><function>4</function>"
                      "<startaddr>10</startaddr><addrperitem>2</addrperitem><val1>2</val1><val2>3</val2>"
                      "<val3>BA</val3><write><Val>5</Val><Val>6</Val></write><desc><Val>x</Val><Val>y</Val>"
                      "</desc></Poll7><q><slave>3</slave><function>1</function><write/></q>"
                      "<Poll1><function>5</function><write><a>1</a></write><desc/></Poll1></anything>")
        << QList<int>{3, 1, 3}
        << Polls{makePoll("A", "2", "4", "10", "2", "2", "3", "BA", {"5", "6"}, {"x", "y"}),
                 makePoll("", "3", "1", "", "1", "", "", "", {}, {}),
                 makePoll("", "1", "5", "", "1", "", "", "", {"1"}, {})};
    QTest::newRow("no desc, val1 4")
        << pollsXml("", pollXml("p", "<slave>1</slave><function>3</function><val1>4</val1><write/>"))
        << QList<int>{} << Polls{makePoll("", "1", "3", "", "1", "4", "", "", {}, emptyTexts(4))};
    QTest::newRow("no desc, val1 int max, capped")
        << pollsXml("", pollXml("p", "<slave>1</slave><function>3</function><val1>2147483647</val1><write/>"))
        << QList<int>{} << Polls{makePoll("", "1", "3", "", "1", "2147483647", "", "", {}, emptyTexts(2000))};
    QTest::newRow("empty slave, function, addrperitem")
        << pollsXml("<S>1</S>", pollXml("p", "<slave></slave><function/><addrperitem></addrperitem><write/>")
                                    + pollXml("p", "<addrperitem/>"))
        << QList<int>{1}
        << Polls{makePoll("", "1", "1", "", "", "", "", "", {}, {}),
                 makePoll("", "1", "1", "", "", "", "", "", {}, {})};
    QTest::newRow("later poll without write")
        << pollsXml("", completePoll + pollXml("Poll2", "<slave>4</slave>")) << QList<int>{}
        << Polls{completeRecord, makePoll("", "4", "1", "", "1", "", "", "", {}, {})};
    QTest::newRow("declared ISO-8859-1")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><polls><Sequence/><p><slave>1</slave>"
                      "<function>3</function><polldesc>Dr\xfc"
                      "ck</polldesc><write/></p></polls>")
        << QList<int>{} << Polls{makePoll("Drück", "1", "3", "", "1", "", "", "", {}, {})};
    QTest::newRow("no desc, val1 beyond int")
        << pollsXml("",
                    pollXml("p", "<slave>1</slave><function>3</function><val1>99999999999</val1><write/>"))
        << QList<int>{} << Polls{makePoll("", "1", "3", "", "1", "99999999999", "", "", {}, {})};
    QTest::newRow("empty Sequence") << pollsXml("", completePoll) << QList<int>{} << Polls{completeRecord};
    QTest::newRow("values out of range stored as they are")
        << pollsXml("<S>99</S><S>1</S><S>099</S>",
                    pollXml("p",
                            "<slave>300</slave><function>7</function><startaddr>-1</startaddr>"
                            "<addrperitem>0</addrperitem><val1>1e9</val1><val2>-5</val2><val3>ZZZZ</val3>"
                            "<write><Val>99999999999999999999</Val></write>"))
        << QList<int>{99, 1, 99}
        << Polls{makePoll("", "300", "7", "-1", "0", "1e9", "-5", "ZZZZ", {"99999999999999999999"}, {})};
    QTest::newRow("record order, duplicates, unknown elements")
        << pollsXml("", pollXml("p", "<desc><Val>d</Val></desc><write><Val>w</Val></write><extra>1</extra>"
                                     "<val3>3</val3><val2>2</val2><val1>1</val1><addrperitem>4</addrperitem>"
                                     "<startaddr>5</startaddr><function>6</function><slave>7</slave>"
                                     "<polldesc>8</polldesc><slave>70</slave><write><Val>x</Val></write>"))
        << QList<int>{} << Polls{makePoll("8", "7", "6", "5", "4", "1", "2", "3", {"w"}, {"d"})};
    QTest::newRow("pretty-printed with tabs and CRLF")
        << QByteArray(
               "<?xml version=\"1.0\"?>\r\n<polls>\r\n\t<Sequence>\r\n\t\t<S> 2 </S>\r\n\t</Sequence>\r\n\t"
               "<p>\r\n\t\t<slave>1</slave>\r\n\t\t<function>3</function>\r\n\t\t<write>\r\n\t\t\t"
               "<Val>a\r\nb</Val>\r\n\t\t</write>\r\n\t</p>\r\n</polls>\r\n")
        << QList<int>{2} << Polls{makePoll("", "1", "3", "", "1", "", "", "", {"a\nb"}, {})};
    QByteArray deep = "<slave>1</slave><function>3</function><write/><polldesc>";
    for (int level = 0; level < 253; ++level) // 256 levels in all
        deep += "<a>" + QByteArray::number(level % 10);
    deep += QByteArray("</a>").repeated(253) + "</polldesc>";
    QString digits;
    for (int level = 0; level < 253; ++level)
        digits += QString::number(level % 10);
    QTest::newRow("256 levels deep") << pollsXml("", pollXml("p", deep)) << QList<int>{}
                                     << Polls{makePoll(digits, "1", "3", "", "1", "", "", "", {}, {})};

    // Node k names its position; only the first 99 have records to go to.
    QByteArray many;
    Polls first99;
    QByteArray longSequence;
    QList<int> longNumbers;
    for (int k = 1; k <= 10000; ++k) {
        const QByteArray n = QByteArray::number(k);
        many += pollXml("Poll" + n, "<slave>" + n + "</slave><function>3</function><write><Val>" + n
                                        + "</Val></write><desc/>");
        if (k <= MaxPolls)
            first99 << makePoll("", QString::number(k), "3", "", "1", "", "", "", {QString::number(k)}, {});
        longSequence += "<S>" + QByteArray::number(k % 99 + 1) + "</S>";
        longNumbers << k % 99 + 1;
    }
    QTest::newRow("10000 poll nodes, 10000 entries")
        << pollsXml(longSequence, many) << longNumbers << first99;
}

void TestPollFile::handMade()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<int>, sequence);
    QFETCH(Polls, records);

    const QString path = dir->path() + "/hand.xml";
    writeBytes(path, content);
    std::array<Poll, MaxPolls> expected = PollStore;
    std::copy(records.cbegin(), records.cend(), expected.begin());

    QCOMPARE(loadPollFile(path), QString());
    QCOMPARE(Sequence, sequence);
    QCOMPARE(storeFields(), storeFields(expected));
}

// A count no editor sets, without descriptions, in every poll of a 7 kB file
// once filled 65536 descriptions each: the save took seconds and gigabytes and
// was too large to load again.
void TestPollFile::countsWithoutDescriptions()
{
    const QString path = dir->path() + "/counts.xml";
    const QByteArray poll = pollXml("p", "<slave>1</slave><function>1</function><val1>65536</val1><write/>");
    writeBytes(path, pollsXml("", poll.repeated(MaxPolls)));
    QCOMPARE(loadPollFile(path), QString());
    QCOMPARE(PollStore[MaxPolls - 1].desc, emptyTexts(2000));

    savePollFile(path);
    QVERIFY(QFileInfo(path).size() < 10 * 1000 * 1000);
    fillPrevious();
    QCOMPARE(loadPollFile(path), QString());
    QCOMPARE(PollStore[MaxPolls - 1].val1, QString("65536"));
    QCOMPARE(PollStore[MaxPolls - 1].desc, emptyTexts(2000));
}

// Little-endian UTF-16 with a byte order mark, lone surrogates and all.
static QByteArray utf16(const QString &text)
{
    QByteArray bytes("\xff\xfe");
    for (const QChar c : text)
        bytes += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
    return bytes;
}

void TestPollFile::failures_data()
{
    // null: no file; "/": a folder in its place; "@large": 100 MB made at run
    // time; "@device": /dev/zero
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QList<int>>("sequence");

    const QString couldNotLoad = "Couldn't Load File";
    const QString invalid = "Invalid file";
    const QByteArray polls = completePoll + minimalPoll + minimalPoll;

    QTest::newRow("missing") << QByteArray() << couldNotLoad << previousSequence;
    QTest::newRow("a folder") << QByteArray("/") << couldNotLoad << previousSequence;
    QTest::newRow("not well-formed") << pollsXml("<S>1</S>", polls).replace("</Poll1>", "</Poll2>")
                                     << couldNotLoad << previousSequence;
    // Entities declared in the DTD, each ten of the one before.
    QByteArray laughs = "<!DOCTYPE polls [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 9; ++i)
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \""
                  + ("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
    laughs += "]>"
              + pollsXml("<S>1</S>", pollXml("p", "<slave>1</slave><function>3</function><write/>"
                                                  "<polldesc>&l9;</polldesc>"))
                    .mid(39);
    const QByteArray valid = pollsXml("<S>1</S>", completePoll);
    const QList<QPair<const char *, QByteArray>> refused = {
        {"empty", ""},
        {"truncated", fixture("full.xml").left(5000)},
        {"binary", garbageBytes()},
        {"text after the root", valid + "x"},
        {"not UTF-8", QByteArray(valid).replace("Tank", "T\xe4nk")},
        {"257 levels", pollsXml("", completePoll + nestedXml(256))},
        {"100000 levels", pollsXml("", completePoll + nestedXml(100000))},
        {"billion laughs", laughs},
        {"DTD without entities", "<!DOCTYPE polls>" + valid.mid(39)},
        {"100 MB", "@large"},
        {"character device", "@device"}};
    for (const auto &file : refused)
        QTest::newRow(file.first) << file.second << couldNotLoad << previousSequence;
    // The stream reader takes these from UTF-16; no save could write them back.
    const QString lone(QChar(0xDC00));
    const QString text = QString(valid.mid(39));
    QTest::newRow("UTF-16, lone surrogate in a text")
        << utf16(QString(text).replace("Tank", "T" + lone)) << couldNotLoad << previousSequence;
    QTest::newRow("UTF-16, lone surrogate in a comment")
        << utf16(QString(text).replace("Tank", "<!--" + lone + "-->")) << couldNotLoad << previousSequence;
    QTest::newRow("UTF-16, lone surrogate in a PI")
        << utf16(QString(text).replace("Tank", "<?x " + lone + "?>")) << couldNotLoad << previousSequence;

    QTest::newRow("sequence in lower case")
        << QByteArray("<polls><sequence><S>1</S></sequence>" + polls + "</polls>") << invalid << QList<int>{};
    QTest::newRow("root without children") << QByteArray("<polls/>") << invalid << QList<int>{};
    QTest::newRow("comment before Sequence")
        << QByteArray("<polls><!-- c --><Sequence><S>1</S></Sequence>" + polls + "</polls>") << invalid
        << QList<int>{};
    for (const char *bad : {"0", "100", "abc", "-1", "", "2147483648", "1.0", "0x10"})
        QTest::addRow("sequence entry \"%s\" third", bad)
            << pollsXml("<S>5</S><S>6</S><S>" + QByteArray(bad) + "</S><S>7</S>", polls) << invalid
            << QList<int>{5, 6};
    QTest::newRow("sequence entry a comment")
        << pollsXml("<S>5</S><!--note--><S>7</S>", polls) << invalid << QList<int>{5};
    QTest::newRow("no second node") << pollsXml("<S>4</S>", "") << invalid << QList<int>{4};
    QTest::newRow("second node text") << pollsXml("<S>4</S>", "text" + polls) << invalid << QList<int>{4};
    for (const char *missing : {"slave", "function", "write"}) {
        QByteArray poll = completePoll;
        const QByteArray open = "<" + QByteArray(missing) + ">";
        const QByteArray close = "</" + QByteArray(missing) + ">";
        const int from = poll.indexOf(open);
        poll.remove(from, poll.indexOf(close) + close.size() - from);
        QTest::addRow("second node without %s", missing)
            << pollsXml("<S>4</S>", poll + polls) << invalid << QList<int>{4};
    }
    QTest::newRow("second node's slave nested deeper")
        << pollsXml("<S>4</S>", pollXml("p", "<a><slave>1</slave></a><function>3</function><write/>") + polls)
        << invalid << QList<int>{4};
}

// The message, PollStore untouched, Sequence as the failure leaves it; no
// refusal takes long.
void TestPollFile::failures()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<int>, sequence);

    QString path = dir->path() + "/polls.xml";
    if (content == "/") {
        QVERIFY(QDir().mkpath(path));
    } else if (content == "@device") {
        path = "/dev/zero";
    } else if (content == "@large") {
        // A well-formed file, so only its size can refuse it.
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<polls><Sequence><S>1</S></Sequence><p><slave>1</slave><function>3</function><write>\n");
        const QByteArray values = QByteArray("<Val>-1234567</Val>\n").repeated(50000);
        while (file.size() < 100 * 1000 * 1000)
            QCOMPARE(file.write(values), qint64(values.size()));
        file.write("</write></p></polls>\n");
    } else if (!content.isNull()) {
        writeBytes(path, content);
    }
    const QStringList store = storeFields();

    QTEST(loadPollFile(path), "message");
    QCOMPARE(Sequence, sequence);
    QCOMPARE(storeFields(), store);
}

QTEST_GUILESS_MAIN(TestPollFile)
#include "tst_pollfile.moc"
