#include "windows/folderpaths.h"

#include <QtTest>

class TestFolderPaths : public QObject
{
    Q_OBJECT

private slots:
    void childPath_data();
    void childPath();
    void parts_data();
    void parts();
    void nearestFolder_data();
    void nearestFolder();
};

// A typed name may reach into sub-folders but never out of its folder.
void TestFolderPaths::childPath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");

    QTest::newRow("plain") << "/home/u" << "polls" << "/home/u/polls";
    QTest::newRow("trailing slash on folder") << "/home/u/" << "polls" << "/home/u/polls";
    QTest::newRow("non-ASCII") << "/home/u" << "Prüfstand Ø" << "/home/u/Prüfstand Ø";
    QTest::newRow("sub-folders") << "/home/u" << "a/b/c" << "/home/u/a/b/c";
    QTest::newRow("climbs back in") << "/home/u" << "a/../b" << "/home/u/b";
    QTest::newRow("below the root") << "/" << "tmp" << "/tmp";
    QTest::newRow("empty") << "/home/u" << "" << "";
    QTest::newRow("dot") << "/home/u" << "." << "";
    QTest::newRow("dot dot") << "/home/u" << ".." << "";
    QTest::newRow("climbs out") << "/home/u" << "../v" << "";
    QTest::newRow("climbs out deeper") << "/home/u" << "a/../../elsewhere" << "";
    QTest::newRow("sibling with same prefix") << "/home/u" << "../u2" << "";
    QTest::newRow("absolute") << "/home/u" << "/etc" << "";
    QTest::newRow("no folder") << "" << "polls" << "";
}

void TestFolderPaths::childPath()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, path);
    QCOMPARE(FolderPaths::childPath(folder, name), path);
}

void TestFolderPaths::parts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("parent");

    QTest::newRow("nested") << "/home/u/logs" << "logs" << "/home/u";
    QTest::newRow("below the root") << "/tmp" << "tmp" << "/";
    QTest::newRow("root") << "/" << "" << "/";
    QTest::newRow("no slash") << "logs" << "logs" << "";
}

void TestFolderPaths::parts()
{
    QFETCH(QString, path);
    QFETCH(QString, last);
    QFETCH(QString, parent);
    QCOMPARE(FolderPaths::lastPart(path), last);
    QCOMPARE(FolderPaths::parentPart(path), parent);
}

// Whatever the start, the climb ends: at the path made absolute, at the
// nearest folder above it that is usable, or at the root.
void TestFolderPaths::nearestFolder_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("usable"); // the one folder accepted
    QTest::addColumn<QString>("folder");

    const QString cwd = QDir::currentPath();
    const QString parent = QFileInfo(cwd).path();
    QTest::newRow("empty") << "" << cwd << "/";
    QTest::newRow("dot") << "." << cwd << cwd;
    QTest::newRow("dot dot") << ".." << parent << parent;
    QTest::newRow("relative, parent usable") << "relhome/a/b" << cwd << cwd;
    QTest::newRow("relative, nothing usable") << "relhome" << "" << "/";
    QTest::newRow("only slashes") << "///" << "" << "/";
    QTest::newRow("parents all missing") << "/no/such/folder/at/all" << "" << "/";
    QTest::newRow("parent usable") << "/no/such/folder" << "/no" << "/no";
    QTest::newRow("dot dots in an absolute path") << "/a/b/../../c/./d" << "/c" << "/c";
    QTest::newRow("climbing past the root") << "/../../x" << "" << "/";
    QTest::newRow("usable at once") << "/srv/polls/" << "/srv/polls" << "/srv/polls";
}

void TestFolderPaths::nearestFolder()
{
    QFETCH(QString, start);
    QFETCH(QString, usable);
    QFETCH(QString, folder);
    int asked = 0;
    const QString found = FolderPaths::nearestFolder(start, [&](const QString &candidate) {
        ++asked;
        return candidate == usable;
    });
    QCOMPARE(found, folder);
    QVERIFY(asked < 64);
}

QTEST_APPLESS_MAIN(TestFolderPaths)
#include "tst_folderpaths.moc"
