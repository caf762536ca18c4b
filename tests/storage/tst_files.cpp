// The poll file, the settings file and the names the browsers take, against
// the rows in tests/data/rows and the reference, hand-made and broken files
// beside them. Every case runs in its own empty folder or home.
#include "modbus/connectionsettings.h"
#include "storage/pollfile.h"
#include "storage/recentfiles.h"
#include "storage/settingsfile.h"
#include "support/files.h"
#include "support/rows.h"
#include "windows/folderpaths.h"
#include "windows/xmlfilename.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Store = std::array<Poll, MaxPolls>;

// A file as a row names it: under tests/data, inline XML, a folder, or a
// file padded with white space past 64 MiB.
void place(const QString &source, const QString &path)
{
    if (source.isEmpty() || (source == "@folder" && QDir().mkpath(path)))
        return;
    QByteArray bytes =
        source.startsWith('<') ? source.toUtf8() : readBytes(dataPath(source.mid(source.indexOf(':') + 1)));
    if (source.startsWith("big:"))
        bytes.insert(bytes.lastIndexOf('<'), QByteArray(65 << 20, ' '));
    writeBytes(path, bytes);
}

// "number=record;number=record" over a store; a ';' in a text ("&amp;") starts
// no record. Split by hand: a regular expression finds nothing in a text with a
// lone surrogate.
Store withRecords(Store store, const QString &records)
{
    QStringList pins;
    for (const QString &part : records.split(';', Qt::SkipEmptyParts))
        if (part.section('=', 0, 0).toInt() > 0 || pins.isEmpty())
            pins << part;
        else
            pins.last() += ';' + part;
    for (const QString &pin : qAsConst(pins))
        store[size_t(pin.section('=', 0, 0).toInt() - 1)] = pollOf(pin.section('=', 1));
    return store;
}

QStringList lines(const Store &store)
{
    QStringList list;
    for (const Poll &poll : store)
        list << QString::number(list.size() + 1) + '=' + recordOf(poll);
    return list;
}

// What the program held before a load, unlike anything a file holds.
Store fillPrevious()
{
    PollStore.fill(pollOf("old|2|4|10|2|2|1|BA|2:w,x|2:d,e"));
    Sequence = {7, 8, 9};
    return PollStore;
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // A row with a reference saves first; then the file loads over what the
    // program held.
    void pollFiles_data() { addRows("rows/pollfiles.tsv"); }
    void pollFiles()
    {
        const QTemporaryDir folder;
        const QString path = cell("file").startsWith('/') ? cell("file") : folder.path() + "/polls.xml";
        place(cell("file").startsWith('/') ? QString() : cell("file"), path);
        Store before = fillPrevious();
        if (!cell("reference").isEmpty()) {
            writeBytes(path, QByteArray(300000, 'x'));
            fillPollDefaults();
            before = withRecords(PollStore, cell("store"));
            PollStore = before;
            Sequence = numbersOf(cell("sequence"));
            savePollFile(path);
            QCOMPARE(readBytes(path), readBytes(dataPath(cell("reference"))));
            fillPrevious();
        }
        QCOMPARE(loadPollFile(path), cell("=message"));
        QCOMPARE(Sequence, numbersOf(cell("=sequence")));
        QCOMPARE(lines(PollStore), lines(withRecords(before, cell("=records"))));
    }

    // A save cut short past 8 KiB leaves the old file as it was.
    void crashedSave()
    {
        const QString path = dir.path() + "/crashed.xml";
        writeBytes(path, "<polls/>\n");
        fillPollDefaults();
        const pid_t pid = fork();
        if (pid == 0) {
            const rlimit noCore = {0, 0}, small = {8192, 8192};
            setrlimit(RLIMIT_CORE, &noCore);
            setrlimit(RLIMIT_FSIZE, &small);
            savePollFile(path);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ, "the save was not cut short");
        QCOMPARE(readBytes(path), QByteArray("<polls/>\n"));
    }

    void settings_data() { addRows("rows/settings.tsv"); }
    void settings()
    {
        QTemporaryDir home;
        qputenv("HOME", QFile::encodeName(home.path()));
        place(cell("newer"), settingsFilePath());
        place(cell("older"), olderSettingsFilePath());
        const QByteArray older = readBytes(olderSettingsFilePath());
        Connection = {true, true, "COM9", 57600, 8, 2, 1, 1, "10.0.0.1", 1502, true, "/old/logs"};
        recentFiles = QStringList{"stale"};
        loadSettings();
        const ConnectionSettings &c = Connection;
        const QStringList fields =
            texts(c.serialMode, c.connectOnce, c.portName, c.baudRate, c.dataBits, c.parity, c.stopBits,
                  c.flowControl, c.ipAddress, c.tcpPort, c.loggingOn, c.logFolder);
        QCOMPARE(texts(fields.join('|'), textOf(recentFiles)), expected());

        saveSettings();
        QCOMPARE(readBytes(olderSettingsFilePath()), older);
        if (!cell("saved").isEmpty())
            QCOMPARE(readBytes(settingsFilePath()), readBytes(dataPath("settings/" + cell("saved"))));
    }

    void paths_data() { addRows("rows/paths.tsv"); }
    void paths()
    {
        const auto here = [](QString text) {
            return text.replace("$parent", QFileInfo(QDir::currentPath()).path())
                .replace("$cwd", QDir::currentPath());
        };
        const QString op = cell("op"), a = here(cell("a")), b = here(cell("b")),
                      typed = XmlFileName::completed(a);
        const QString result =
            op == "child"    ? FolderPaths::childPath(a, b)
            : op == "last"   ? FolderPaths::lastPart(a)
            : op == "parent" ? FolderPaths::parentPart(a)
            : op == "nearest"
                ? FolderPaths::nearestFolder(a, [&](const QString &folder) { return folder == b; })
            : op == "typed" ? typed + '|' + XmlFileName::fileType(typed) + '|'
                                  + QString::number(XmlFileName::hasXmlType(typed))
            : op == "base"   ? XmlFileName::withoutExtension(a)
            : op == "recent" ? textOf(RecentFiles::withFile(listOf(a), b))
                             : RecentFiles::browserStart(a, b, listOf(cell("c")));
        QCOMPARE(result, here(cell("=result")));
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
