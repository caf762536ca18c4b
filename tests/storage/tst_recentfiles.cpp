#include "storage/recentfiles.h"

#include <QtTest>

class TestRecentFiles : public QObject
{
    Q_OBJECT

private slots:
    void withFile_data();
    void withFile();
    void browserStart_data();
    void browserStart();
};

void TestRecentFiles::withFile_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("result");

    const QStringList five{"/a.xml", "/b.xml", "/c.xml", "/d.xml", "/e.xml"};
    QTest::newRow("new path pushes the oldest out")
        << five << "/f.xml" << QStringList{"/f.xml", "/a.xml", "/b.xml", "/c.xml", "/d.xml"};
    QTest::newRow("front stays") << five << "/a.xml" << five;
    QTest::newRow("middle moves to the front")
        << five << "/c.xml" << QStringList{"/c.xml", "/a.xml", "/b.xml", "/d.xml", "/e.xml"};
    QTest::newRow("case counts") << five << "/A.xml"
                                 << QStringList{"/A.xml", "/a.xml", "/b.xml", "/c.xml", "/d.xml"};
    QTest::newRow("free slots fill from the front")
        << QStringList{"/a.xml", "", "", "", ""} << "/b.xml" << QStringList{"/b.xml", "/a.xml", "", "", ""};
    QTest::newRow("only the first copy moves")
        << QStringList{"/a.xml", "/b.xml", "/a.xml"} << "/a.xml" << QStringList{"/a.xml", "/b.xml", "/a.xml"};
    QTest::newRow("longer list keeps its length")
        << QStringList{"1", "2", "3", "4", "5", "6", "7"} << "8" << QStringList{"8", "1", "2", "3", "4", "5", "6"};
    QTest::newRow("empty list") << QStringList() << "/a.xml" << QStringList{"/a.xml"};
}

void TestRecentFiles::withFile()
{
    QFETCH(QStringList, list);
    QFETCH(QString, path);
    QFETCH(QStringList, result);
    QCOMPARE(RecentFiles::withFile(list, path), result);
}

void TestRecentFiles::browserStart_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QStringList>("recent");
    QTest::addColumn<QString>("start");

    const QStringList recent{"/r1.xml", "/r2.xml", "", "", ""};
    QTest::newRow("after a load") << "/l.xml" << "/l.xml" << recent << "/l.xml";
    QTest::newRow("after a save") << "/s.xml" << "/l.xml" << recent << "/l.xml";
    QTest::newRow("after a save, nothing loaded") << "/s.xml" << "" << recent << "";
    QTest::newRow("after a cancel") << "" << "/l.xml" << recent << "/r1.xml";
    QTest::newRow("first start") << "" << "" << QStringList{"", "", "", "", ""} << "";
}

void TestRecentFiles::browserStart()
{
    QFETCH(QString, chosen);
    QFETCH(QString, last);
    QFETCH(QStringList, recent);
    QFETCH(QString, start);
    QCOMPARE(RecentFiles::browserStart(chosen, last, recent), start);
}

QTEST_APPLESS_MAIN(TestRecentFiles)
#include "tst_recentfiles.moc"
