#include "app/pollstore.h"
#include "storage/pollfile.h"
#include "support/files.h"

#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Saves of the poll file (a fresh store, 24 KB) that cannot complete leave
// the old file as it was; one that completes leaves no temporary file.
class TestPollFileSave : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void saveReplaces_data();
    void saveReplaces();
    void saveKeepsOldFile_data();
    void saveKeepsOldFile();
    void folderTakesNoNewFiles_data();
    void folderTakesNoNewFiles();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

namespace {

const QByteArray old = "<polls><Sequence><S>1</S></Sequence><p><slave>1</slave></p></polls>\n";

QByteArray freshFile()
{
    return readBytes(QStringLiteral(POLL_FIXTURES "/fresh.xml"));
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Runs work in a child process and answers how it ended, as waitpid gives.
template<typename Work>
int inChild(Work work)
{
    const pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

} // namespace

void TestPollFileSave::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    fillPollDefaults();
    Sequence.clear();
}

void TestPollFileSave::saveReplaces_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("new file") << "new";
    QTest::newRow("file of mode 0640") << "mode";
    QTest::newRow("symbolic link") << "link";
}

// A save leaves the file complete, with its mode, through a link, and no
// temporary file behind.
void TestPollFileSave::saveReplaces()
{
    QFETCH(QString, kind);

    const QString path = dir->path() + "/polls.xml";
    QString target = path;
    if (kind == "mode") {
        writeBytes(path, QByteArray(30000, 'x'));
        QCOMPARE(::chmod(QFile::encodeName(path), 0640), 0);
    } else if (kind == "link") {
        target = dir->path() + "/real/target.xml";
        writeBytes(target, old);
        QVERIFY(QFile::link(target, path));
    }
    // What a plain new file gets under the current umask.
    writeBytes(dir->path() + "/plain", "");
    const QFileDevice::Permissions mode =
        QFileInfo(kind == "new" ? dir->path() + "/plain" : target).permissions();
    QStringList after = entries(dir->path()) << "polls.xml";
    after.removeDuplicates();
    after.sort();

    savePollFile(path);
    QCOMPARE(readBytes(target), freshFile());
    QCOMPARE(QFileInfo(target).permissions(), mode);
    QCOMPARE(QFileInfo(path).isSymLink(), kind == "link");
    QCOMPARE(entries(dir->path()), after);
    if (kind == "link")
        QCOMPARE(entries(dir->path() + "/real"), QStringList{"target.xml"});
}

void TestPollFileSave::saveKeepsOldFile_data()
{
    QTest::addColumn<QString>("obstacle");

    QTest::newRow("target is a folder") << "folder";
    QTest::newRow("read-only file system") << "read-only";
    QTest::newRow("full file system") << "full";
    QTest::newRow("crash in the middle of the save") << "crash";
}

void TestPollFileSave::saveKeepsOldFile()
{
    QFETCH(QString, obstacle);

    const QString folder = dir->path() + "/folder";
    const QString path = folder + "/polls.xml";
    QString kept = path;
    QVERIFY(QDir().mkpath(folder));
    // A 16 KiB file system for the folder, gone with the test.
    const QByteArray mountPoint = QFile::encodeName(folder);
    bool mounted = false;
    const auto unmount = qScopeGuard([&] {
        if (mounted)
            ::umount2(mountPoint.constData(), MNT_DETACH);
    });
    if (obstacle == "read-only" || obstacle == "full") {
        mounted = ::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=16k") == 0;
        if (!mounted)
            QSKIP(qPrintable(QString("mounting a tmpfs is not permitted here (") + strerror(errno)
                             + "); needs root with CAP_SYS_ADMIN"));
    }
    if (obstacle == "folder") {
        QVERIFY(QDir().mkpath(path));
        kept = path + "/inside.xml";
    }
    writeBytes(kept, old);
    if (obstacle == "read-only")
        QCOMPARE(::mount(nullptr, mountPoint.constData(), nullptr, MS_REMOUNT | MS_RDONLY, "size=16k"), 0);
    if (obstacle == "full") {
        QFile filler(folder + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(1024, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    const QStringList before = entries(folder);

    if (obstacle == "crash") {
        // Killed by SIGXFSZ once the written file passes 8 KiB.
        const int status = inChild([&] {
            const rlimit noCore = {0, 0};
            const rlimit small = {8192, 8192};
            setrlimit(RLIMIT_CORE, &noCore);
            setrlimit(RLIMIT_FSIZE, &small);
            savePollFile(path);
        });
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ, "the save was not cut short");
    } else {
        savePollFile(path);
        QCOMPARE(entries(folder), before);
    }
    QCOMPARE(readBytes(kept), old);
}

void TestPollFileSave::folderTakesNoNewFiles_data()
{
    QTest::addColumn<bool>("fileWritable");

    QTest::newRow("file writable: written in place") << true;
    QTest::newRow("file read-only: left as it was") << false;
}

// A folder that takes no new files still lets a writable file be written in
// place. Permission bits bind a user other than root only, so the save runs
// in a child process as nobody.
void TestPollFileSave::folderTakesNoNewFiles()
{
    QFETCH(bool, fileWritable);

    const QString folder = dir->path() + "/closed";
    const QString path = folder + "/polls.xml";
    writeBytes(path, old);
    QCOMPARE(::chmod(QFile::encodeName(dir->path()), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(folder), 0555), 0);
    QCOMPARE(::chmod(QFile::encodeName(path), fileWritable ? 0666 : 0444), 0);

    const int status = inChild([&] {
        if (getuid() != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        savePollFile(path);
    });
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        QSKIP("needs root to run the save as the user nobody");
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    QCOMPARE(readBytes(path), fileWritable ? freshFile() : old);
    QCOMPARE(entries(folder), QStringList{"polls.xml"});
}

QTEST_GUILESS_MAIN(TestPollFileSave)
#include "tst_pollfilesave.moc"
