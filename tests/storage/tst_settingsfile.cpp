#include "modbus/connectionsettings.h"
#include "storage/settingsfile.h"
#include "support/connectionfields.h"
#include "support/files.h"

#include <QtTest>

#include <memory>

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

private:
    std::unique_ptr<QTemporaryDir> home;
};

static QByteArray fixture(const QString &name)
{
    return readBytes(QStringLiteral(SETTINGS_FIXTURES "/") + name);
}

static QByteArray settingsXml(const QByteArray &body)
{
    return "<?xml version='1.0' encoding='UTF-8'?>\n<settings>" + body + "</settings>\n";
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
    QCOMPARE(connectionFields(Connection), connectionFields(settings));
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
    QCOMPARE(connectionFields(Connection), connectionFields(serialSettings()));
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
    QCOMPARE(connectionFields(Connection), connectionFields(expected));
    QCOMPARE(recentFiles, recent);
}

void TestSettingsFile::numbersAndFlags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

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
    QCOMPARE(connectionFields(Connection), connectionFields(tcpSettings()));
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

void TestSettingsFile::unusableNewerFile_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file; "/": a folder in its place
    QTest::addColumn<bool>("olderPresent");

    const QByteArray entry = " <recent>/home/user/polls/plant.xml</recent>\n";
    const QByteArray large = settingsXml(
        "<baud>1</baud><recentfiles>\n" + entry.repeated(50 * 1024 * 1024 / entry.size()) + "</recentfiles>");
    const QList<QPair<const char *, QByteArray>> kinds = {
        {"absent", QByteArray()},
        {"empty", ""},
        {"truncated", fixture("tcp-full.xml").left(300)},
        {"not XML", "port=COM1\nbaud=9600\n"},
        {"binary garbage", garbageBytes()},
        {"a folder", "/"},
        {"50 MB well-formed", large},
        {"100000 levels deep", settingsXml("<baud>1</baud>" + nestedXml(100000))}};
    // Each kind with and without the older file beside it, by turns.
    for (int i = 0; i < kinds.size(); ++i)
        QTest::addRow("%s, %s", kinds[i].first, i % 2 ? "older file" : "no older file")
            << kinds[i].second << bool(i % 2);
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
    QCOMPARE(connectionFields(Connection), connectionFields(olderPresent ? serialSettings() : previous()));
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
    QCOMPARE(connectionFields(Connection), connectionFields(tcpSettings()));
    QCOMPARE(recentFiles, tcpRecent);
}

void TestSettingsFile::readXmlFile_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QString>("expected");

    QTest::newRow("compact, indented")
        << QByteArray("<a><b>x</b><c/><d></d></a>") << "<a>\n <b>x</b>\n <c/>\n <d/>\n</a>\n";
    QTest::newRow("missing file") << QByteArray() << "";
    // The stream reader takes these from UTF-16; no save could write them back.
    for (const QString &text :
         {QString("<a>x%1</a>"), QString("<a><!--%1--></a>"), QString("<a><?x %1?></a>")}) {
        QTest::addRow("UTF-16, lone surrogate: %s", qPrintable(text.arg("_")))
            << utf16(text.arg(QChar(0xDC00))) << "";
    }
    QTest::newRow("unclosed element") << QByteArray("<a><b></a>") << "";
    QTest::newRow("entity expansion") << QByteArray("<!DOCTYPE a [<!ENTITY x \"xxxxxxxxxx\">"
                                                    "<!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;\">]><a>&y;&y;</a>")
                                      << "";
    QTest::newRow("257 levels") << nestedXml(257) << "";
    QTest::newRow("100000 levels") << nestedXml(100000) << "";
}

void TestSettingsFile::readXmlFile()
{
    QFETCH(QByteArray, content);

    const QString path = home->path() + "/file.xml";
    if (!content.isNull())
        writeBytes(path, content);
    QTEST(::readXmlFile(path), "expected");
    // One level less than the refused depth is read.
    writeBytes(path, nestedXml(256));
    QVERIFY(::readXmlFile(path).startsWith("<a>"));
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

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
