#include "windows/xmlfilename.h"

#include <QtTest>

class TestXmlFileName : public QObject
{
    Q_OBJECT

private slots:
    void typedName_data();
    void typedName();
    void withoutExtension_data();
    void withoutExtension();
};

// A typed name, what completion makes of it, its type and whether it passes.
void TestXmlFileName::typedName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("valid");

    auto row = [](const char *tag, const char *typed, const char *name, const char *type, bool valid) {
        QTest::newRow(tag) << QString(typed) << QString(name) << QString(type) << valid;
    };
    row("bare name", "polls", "polls.xml", "xml", true);
    row("complete name", "polls.xml", "polls.xml", "xml", true);
    row("upper-case extension", "polls.XML", "polls.XML.xml", "XML.xml", false);
    row("empty", "", ".xml", "xml", true);
    row("only the extension", ".xml", ".xml", "xml", true);
    row("two dots", "a.b.xml", "a.b.xml", "b.xml", false);
    row(".xml inside the name", "my.xml.bak", "my.xml.bak", "xml.bak", false);
    row("climbs out", "../polls", "../polls.xml", "./polls.xml", false);
    row("trailing dot", "polls.", "polls..xml", ".xml", false);
    row("sub-folder", "sub/polls", "sub/polls.xml", "xml", true);
}

void TestXmlFileName::typedName()
{
    QFETCH(QString, typed);
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(bool, valid);

    const QString done = XmlFileName::completed(typed);
    QCOMPARE(done, name);
    QCOMPARE(XmlFileName::fileType(done), type);
    QCOMPARE(XmlFileName::hasXmlType(done), valid);
}

void TestXmlFileName::withoutExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("base");

    QTest::newRow("one extension") << QString("polls.xml") << QString("polls");
    QTest::newRow("cut at the last dot") << QString("a.b.xml") << QString("a.b");
    QTest::newRow("only the extension") << QString(".xml") << QString();
    QTest::newRow("no dot") << QString("polls") << QString("polls");
    QTest::newRow("empty") << QString() << QString();
}

void TestXmlFileName::withoutExtension()
{
    QFETCH(QString, name);
    QFETCH(QString, base);
    QCOMPARE(XmlFileName::withoutExtension(name), base);
}

QTEST_APPLESS_MAIN(TestXmlFileName)
#include "tst_xmlfilename.moc"
