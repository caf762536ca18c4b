#include "modbus/connectionsettings.h"
#include "storage/settingsfile.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(ConnectionSettings)

// The settings file against hand-written reference files, hand-edited and
// broken files, and a home folder that cannot be written. Every case runs in
// its own empty home folder.
class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void referenceFiles_data();
    void referenceFiles();
    void firstSaveCreatesFolder();
    void handEditedFileSavedBack();
    void loadValues_data();
    void loadValues();
    void numbersAndFlags_data();
    void numbersAndFlags();
    void olderFileUntilNewerExists();
    void unusableNewerFile_data();
    void unusableNewerFile();
    void unwritableHome_data();
    void unwritableHome();
    void readXmlFile_data();
    void readXmlFile();
    void writeTextFile_data();
    void writeTextFile();
    void appendTextElement_data();
    void appendTextElement();

private:
    std::unique_ptr<QTemporaryDir> home;
};

static QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

static QByteArray fixture(const QString &name)
{
    return readBytes(QStringLiteral(SETTINGS_FIXTURES "/") + name);
}

static QByteArray settingsXml(const QByteArray &body)
{
    return "<?xml version='1.0' encoding='UTF-8'?>\n<settings>" + body + "</settings>\n";
}

// One line per field, so a mismatch names the field.
static QStringList fields(const ConnectionSettings &c)
{
    return {"serialMode=" + QString::number(c.serialMode),
            "connectOnce=" + QString::number(c.connectOnce),
            "portName=" + c.portName,
            "baudRate=" + QString::number(c.baudRate),
            "dataBits=" + QString::number(c.dataBits),
            "parity=" + QString::number(c.parity),
            "stopBits=" + QString::number(c.stopBits),
            "flowControl=" + QString::number(c.flowControl),
            "ipAddress=" + c.ipAddress,
            "tcpPort=" + QString::number(c.tcpPort),
            "loggingOn=" + QString::number(c.loggingOn),
            "logFolder=" + c.logFolder};
}

static QStringList padded(QStringList list)
{
    while (list.size() < 5)
        list.append(QString(""));
    return list;
}

static ConnectionSettings tcpSettings()
{
    return {false, true, "/dev/ttyS0",    115200, 8,    2,
            1,     1,    "192.168.10.20", 502,    true, "/home/jörg/Logs & <x>"};
}

static const QStringList tcpRecent = {"/home/jörg/polls/pumps & valves.xml", "/srv/\"quoted\" 'name'.xml", "",
                                      "/tmp/<tag>/x]]>y.xml", "/data/計測/poll.xml"};

static ConnectionSettings serialSettings()
{
    return {true, true, "/dev/ttyUSB1", 9600, 7, 3, 2, 2, QString(""), 0, false, "/var/log/pollwright"};
}

static const QStringList sevenRecent = {"/polls/one.xml",  "/polls/two.xml", "/polls/three.xml", "",
                                        "/polls/five.xml", "/polls/six.xml", "/polls/seven.xml"};

// What the program held before a load; a load must overwrite all of it.
static ConnectionSettings previous()
{
    return {true, true, "COM9", 57600, 8, 2, 1, 1, "10.0.0.1", 1502, true, "/old/logs"};
}

void TestSettingsFile::init()
{
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
    qputenv("HOME", QFile::encodeName(home->path()));
    Connection = ConnectionSettings();
    recentFiles = QStringList{"stale"};
}

void TestSettingsFile::referenceFiles_data()
{
    QTest::addColumn<ConnectionSettings>("settings");
    QTest::addColumn<QStringList>("recent");
    QTest::addColumn<QString>("reference");

    QTest::newRow("fresh defaults") << ConnectionSettings() << padded({}) << "fresh-defaults.xml";
    QTest::newRow("tcp, escapes, non-ASCII") << tcpSettings() << tcpRecent << "tcp-full.xml";
    QTest::newRow("serial, seven recent") << serialSettings() << sevenRecent << "seven-recent.xml";
}

void TestSettingsFile::referenceFiles()
{
    QFETCH(ConnectionSettings, settings);
    QFETCH(QStringList, recent);
    QFETCH(QString, reference);

    Connection = settings;
    recentFiles = recent;
    saveSettings();
    const QByteArray written = readBytes(settingsFilePath());
    QCOMPARE(QString::fromUtf8(written).split('\n'), QString::fromUtf8(fixture(reference)).split('\n'));
    QCOMPARE(written, fixture(reference));

    Connection = previous();
    recentFiles.clear();
    loadSettings();
    QCOMPARE(fields(Connection), fields(settings));
    QCOMPARE(recentFiles, recent);
}

void TestSettingsFile::firstSaveCreatesFolder()
{
    QCOMPARE(settingsFilePath(), home->path() + "/.quarvel/pollwright-settings.xml");
    QCOMPARE(olderSettingsFilePath(), home->path() + "/.quarvel/veltrane-settings.xml");
    QVERIFY(!QFileInfo::exists(settingsFolder()));

    loadSettings();
    QCOMPARE(recentFiles, padded({}));
    saveSettings();
    QVERIFY(QFileInfo(settingsFolder()).isDir());
    QCOMPARE(readBytes(settingsFilePath()), fixture("fresh-defaults.xml"));
    QVERIFY(!QFileInfo::exists(olderSettingsFilePath()));
}

// Another root name, flags of "2", leading zeros, a doubled element, a missing
// one and seven recent children under any names; the save normalises it all.
void TestSettingsFile::handEditedFileSavedBack()
{
    writeBytes(settingsFilePath(), fixture("hand-edited.xml"));
    Connection = previous();
    loadSettings();
    QCOMPARE(fields(Connection), fields(serialSettings()));
    QCOMPARE(recentFiles, sevenRecent);

    saveSettings();
    QCOMPARE(readBytes(settingsFilePath()), fixture("seven-recent.xml"));
}

void TestSettingsFile::loadValues_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<ConnectionSettings>("expected");
    QTest::addColumn<QStringList>("recent");

    ConnectionSettings baud;
    baud.baudRate = 4800;
    ConnectionSettings logs;
    logs.loggingOn = true;
    logs.logFolder = "/logs";
    ConnectionSettings port;
    port.portName = "<COM>&1";

    QTest::newRow("only baud") << settingsXml("<baud>4800</baud>") << baud << padded({});
    QTest::newRow("log on, no logpath")
        << settingsXml("<logenabled>1</logenabled>") << ConnectionSettings() << padded({});
    QTest::newRow("log on, empty logpath")
        << settingsXml("<logenabled>1</logenabled><logpath></logpath>") << ConnectionSettings() << padded({});
    QTest::newRow("log on with logpath")
        << settingsXml("<logpath>/logs</logpath><logenabled>1</logenabled>") << logs << padded({});
    QTest::newRow("other root name") << QByteArray("<veltrane><baud>4800</baud></veltrane>") << baud
                                     << padded({});
    QTest::newRow("nested elements ignored")
        << settingsXml("<group><baud>9600</baud><recentfiles><a>/x</a></recentfiles></group>")
        << ConnectionSettings() << padded({});
    QTest::newRow("entities and CDATA")
        << settingsXml("<port>&lt;COM&gt;<![CDATA[&1]]></port>") << port << padded({});
    QTest::newRow("two recent, any names")
        << settingsXml("<recentfiles><a>/p/one.xml</a><recent9>/p/two.xml</recent9></recentfiles>")
        << ConnectionSettings() << padded({"/p/one.xml", "/p/two.xml"});
    QTest::newRow("stray text in recentfiles")
        << settingsXml("<recentfiles>/p/one.xml<b>/p/two.xml</b></recentfiles>") << ConnectionSettings()
        << padded({"/p/one.xml", "/p/two.xml"});
}

void TestSettingsFile::loadValues()
{
    QFETCH(QByteArray, xml);
    QFETCH(ConnectionSettings, expected);
    QFETCH(QStringList, recent);

    writeBytes(settingsFilePath(), xml);
    Connection = previous();
    loadSettings();
    QCOMPARE(fields(Connection), fields(expected));
    QCOMPARE(recentFiles, recent);
}

void TestSettingsFile::numbersAndFlags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("9600") << "9600" << 9600;
    QTest::newRow("2") << "2" << 2;
    QTest::newRow("-1") << "-1" << -1;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("int max") << "2147483647" << 2147483647;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("trailing letters") << "9600abc" << 0;
    QTest::newRow("hex") << "0x10" << 0;
    QTest::newRow("fraction") << "1.5" << 0;
    QTest::newRow("beyond int") << "99999999999" << 0;
}

// The same text in every integer and flag element.
void TestSettingsFile::numbersAndFlags()
{
    QFETCH(QString, text);
    QFETCH(int, value);

    QByteArray body;
    for (const char *name :
         {"baud", "data", "flow", "parity", "stop", "portnumber", "connectonce", "isserial", "logenabled"})
        body += QByteArray("<") + name + ">" + text.toUtf8() + "</" + name + ">";
    writeBytes(settingsFilePath(), settingsXml(body + "<logpath>/logs</logpath>"));
    Connection = previous();
    loadSettings();

    for (int field : {Connection.baudRate, Connection.dataBits, Connection.flowControl, Connection.parity,
                      Connection.stopBits, Connection.tcpPort})
        QCOMPARE(field, value);
    for (bool flag : {Connection.connectOnce, Connection.serialMode, Connection.loggingOn})
        QCOMPARE(flag, value != 0);
}

void TestSettingsFile::olderFileUntilNewerExists()
{
    writeBytes(olderSettingsFilePath(), fixture("tcp-full.xml"));
    loadSettings();
    QCOMPARE(fields(Connection), fields(tcpSettings()));
    QCOMPARE(recentFiles, tcpRecent);
    QVERIFY(!QFileInfo::exists(settingsFilePath()));

    Connection.tcpPort = 1502;
    saveSettings();
    QVERIFY(QFileInfo(settingsFilePath()).isFile());
    QCOMPARE(readBytes(olderSettingsFilePath()), fixture("tcp-full.xml"));

    Connection = ConnectionSettings();
    loadSettings();
    QCOMPARE(Connection.tcpPort, 1502);
}

// Little-endian UTF-16 with a byte order mark, lone surrogates and all.
static QByteArray utf16(const QString &text)
{
    QByteArray bytes("\xff\xfe");
    for (const QChar c : text)
        bytes += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
    return bytes;
}

static QByteArray nested(int depth)
{
    return QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth);
}

void TestSettingsFile::unusableNewerFile_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file; "/": a folder in its place
    QTest::addColumn<bool>("olderPresent");

    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919 + 13) % 256));
    const QByteArray entry = " <recent>/home/user/polls/plant.xml</recent>\n";
    const QByteArray large = settingsXml(
        "<baud>1</baud><recentfiles>\n" + entry.repeated(50 * 1024 * 1024 / entry.size()) + "</recentfiles>");
    const QList<QPair<const char *, QByteArray>> kinds = {
        {"absent", QByteArray()},
        {"empty", ""},
        {"truncated", fixture("tcp-full.xml").left(300)},
        {"not XML", "port=COM1\nbaud=9600\n"},
        {"binary garbage", garbage},
        {"a folder", "/"},
        {"50 MB well-formed", large},
        {"100000 levels deep", settingsXml("<baud>1</baud>" + nested(100000))}};
    for (const auto &kind : kinds) {
        QTest::addRow("%s, older file", kind.first) << kind.second << true;
        QTest::addRow("%s, no older file", kind.first) << kind.second << false;
    }
}

// A newer file that gives no document counts as absent: the older file is
// read, or else the settings stay and the recent list is five free slots.
void TestSettingsFile::unusableNewerFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, olderPresent);

    if (content == "/")
        QVERIFY(QDir().mkpath(settingsFilePath()));
    else if (!content.isNull())
        writeBytes(settingsFilePath(), content);
    if (olderPresent)
        writeBytes(olderSettingsFilePath(), fixture("seven-recent.xml"));

    Connection = previous();
    loadSettings();
    QCOMPARE(fields(Connection), fields(olderPresent ? serialSettings() : previous()));
    QCOMPARE(recentFiles, olderPresent ? sevenRecent : padded({}));
    if (olderPresent)
        QCOMPARE(readBytes(olderSettingsFilePath()), fixture("seven-recent.xml"));
}

void TestSettingsFile::unwritableHome_data()
{
    QTest::addColumn<bool>("homeBelowFile");

    QTest::newRow("home below a regular file") << true;
    QTest::newRow("settings file is a folder") << false;
}

// Permission bits do not stop root, so the obstacles are a file where a
// folder should be and a folder where the file should be.
void TestSettingsFile::unwritableHome()
{
    QFETCH(bool, homeBelowFile);

    const QString plainFile = home->path() + "/plain";
    writeBytes(plainFile, "keep");
    if (homeBelowFile)
        qputenv("HOME", QFile::encodeName(plainFile + "/home"));
    else
        QVERIFY(QDir().mkpath(settingsFilePath()));

    Connection = tcpSettings();
    recentFiles = tcpRecent;
    saveSettings();
    QVERIFY(!QFileInfo(settingsFilePath()).isFile());
    QCOMPARE(readBytes(plainFile), QByteArray("keep"));
    QCOMPARE(fields(Connection), fields(tcpSettings()));
    QCOMPARE(recentFiles, tcpRecent);
}

void TestSettingsFile::readXmlFile_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QString>("expected");

    QTest::newRow("compact, indented")
        << QByteArray("<a><b>x</b><c/><d></d></a>") << "<a>\n <b>x</b>\n <c/>\n <d/>\n</a>\n";
    QTest::newRow("declared latin-1")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xe9</a>")
        << "<?xml version='1.0' encoding='ISO-8859-1'?>\n<a>é</a>\n";
    QTest::newRow("missing file") << QByteArray() << "";
    // The stream reader takes these from UTF-16; no save could write them back.
    for (const QString &text :
         {QString("<a>x%1</a>"), QString("<a><!--%1--></a>"), QString("<a><?x %1?></a>")}) {
        QTest::addRow("UTF-16, lone surrogate: %s", qPrintable(text.arg("_")))
            << utf16(text.arg(QChar(0xDC00))) << "";
    }
    QTest::newRow("unclosed element") << QByteArray("<a><b></a>") << "";
    QTest::newRow("undeclared entity") << QByteArray("<a>&nbsp;</a>") << "";
    QTest::newRow("entity expansion") << QByteArray("<!DOCTYPE a [<!ENTITY x \"xxxxxxxxxx\">"
                                                    "<!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;\">]><a>&y;&y;</a>")
                                      << "";

    QString deep; // the innermost element has no children
    for (int level = 0; level < 199; ++level)
        deep += QString(level, ' ') + "<a>\n";
    deep += QString(199, ' ') + "<a/>\n";
    for (int level = 198; level >= 0; --level)
        deep += QString(level, ' ') + "</a>\n";
    QTest::newRow("200 levels") << nested(200) << deep;
    QTest::newRow("100000 levels") << nested(100000) << "";
}

void TestSettingsFile::readXmlFile()
{
    QFETCH(QByteArray, content);

    const QString path = home->path() + "/file.xml";
    if (!content.isNull())
        writeBytes(path, content);
    QTEST(::readXmlFile(path), "expected");
}

void TestSettingsFile::writeTextFile_data()
{
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("append");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("truncate") << QByteArray("old line\n") << "new" << false << QByteArray("new");
    QTest::newRow("append") << QByteArray("old line\n") << "new" << true << QByteArray("old line\nnew");
    QTest::newRow("truncate to empty") << QByteArray("old") << "" << false << QByteArray("");
    QTest::newRow("truncate creates") << QByteArray() << "first" << false << QByteArray("first");
    QTest::newRow("append creates") << QByteArray() << "first" << true << QByteArray("first");
    QTest::newRow("utf-8") << QByteArray() << "ü€\n" << false << QByteArray("\xc3\xbc\xe2\x82\xac\n");
}

void TestSettingsFile::writeTextFile()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, text);
    QFETCH(bool, append);

    const QString path = home->path() + "/file.txt";
    if (!before.isNull())
        writeBytes(path, before);
    ::writeTextFile(path, text, append);
    QTEST(readBytes(path), "after");
    QVERIFY(QFileInfo(path).isFile());

    ::writeTextFile(home->path() + "/missing/file.txt", text, append);
    QVERIFY(!QFileInfo::exists(home->path() + "/missing"));
}

void TestSettingsFile::appendTextElement_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("xml");

    QTest::newRow("null text") << QString() << "<e/>";
    QTest::newRow("empty text") << QString("") << "<e></e>";
    QTest::newRow("escaped") << "a<b&c>d"
                             << "<e>a&lt;b&amp;c>d</e>";
}

void TestSettingsFile::appendTextElement()
{
    QFETCH(QString, text);
    QFETCH(QString, xml);

    QDomDocument document;
    QDomNode root = document.appendChild(document.createElement("r"));
    ::appendTextElement(document, root, "first", "1");
    const QDomElement element = ::appendTextElement(document, root, "e", text);
    QCOMPARE(element.tagName(), QString("e"));
    QVERIFY(root.lastChild() == element);
    QCOMPARE(element.hasChildNodes(), !text.isNull());
    QCOMPARE(document.toString(-1), "<r><first>1</first>" + xml + "</r>");
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
