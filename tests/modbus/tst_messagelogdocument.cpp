#include "modbus/messagelog.h"
#include "modbus/messagelogdocument.h"

#include <QRandomGenerator>
#include <QTextDocument>
#include <QtTest>

class TestMessageLogDocument : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheTextRules_data();
    void matchesTheTextRules();
};

void TestMessageLogDocument::matchesTheTextRules_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("maxEntry");
    QTest::newRow("short entries") << 1u << 80;
    QTest::newRow("entries near the trim length") << 2u << 3200;
    QTest::newRow("entries past twice the trim length") << 3u << 7000;
}

// The log edited in place must read exactly as the text rules say after any
// run of sent entries (put in front) and replies or errors (trimmed).
void TestMessageLogDocument::matchesTheTextRules()
{
    QFETCH(quint32, seed);
    QFETCH(int, maxEntry);
    QRandomGenerator random(seed);
    QTextDocument document;
    QString expected;
    for (int step = 0; step < 400; ++step) {
        const int length = random.bounded(1, maxEntry);
        QString entry;
        for (int i = 0; i < length; ++i)
            entry += random.bounded(12) == 0 ? QChar('\n') : QChar('a' + random.bounded(26));
        const bool trim = random.bounded(2) == 1;
        MessageLog::insertEntry(&document, entry, trim);
        expected = trim ? MessageLog::withEntry(expected, entry) : entry + expected;
        QCOMPARE(document.toPlainText(), expected);
    }
}

QTEST_MAIN(TestMessageLogDocument)
#include "tst_messagelogdocument.moc"
