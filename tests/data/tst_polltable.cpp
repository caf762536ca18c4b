#include "app/pollstore.h"
#include "data/polltable.h"
#include "data/valuedecoding.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

Q_DECLARE_METATYPE(Poll)

namespace {

Poll makePoll(const QString &function, const QString &val1, const QStringList &write = {},
              const QStringList &desc = {})
{
    Poll poll;
    poll.slave = "1";
    poll.function = function;
    poll.startaddr = "0";
    poll.addrperitem = "1";
    poll.val1 = val1;
    poll.val2 = "0";
    poll.val3 = "10";
    poll.write = write;
    poll.desc = desc;
    return poll;
}

Poll withType(Poll poll, const QString &val2, const QString &val3)
{
    poll.val2 = val2;
    poll.val3 = val3;
    return poll;
}

Poll withAddresses(Poll poll, const QString &startaddr, const QString &addrperitem)
{
    poll.startaddr = startaddr;
    poll.addrperitem = addrperitem;
    return poll;
}

QStringList childTexts(const QTreeWidgetItem *header, int column)
{
    QStringList texts;
    for (int i = 0; i < header->childCount(); ++i)
        texts << header->child(i)->text(column);
    return texts;
}

QStringList headerTexts(const QTreeWidget *tree)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(0);
    return texts;
}

QStringList blanks(int count)
{
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << QString();
    return texts;
}

const QColor light(240, 240, 240);
const QColor dark(220, 220, 220);

} // namespace

// The poll table on a plain four-column tree set up as the main window's form
// sets it (sorting on, no edit triggers), with the table's double-click and
// edit handlers wired as the main window wires them.
class TestPollTable : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void headerRow_data();
    void headerRow();
    void itemRows_data();
    void itemRows();
    void rowFormat_data();
    void rowFormat();
    void countCapped_data();
    void countCapped();
    void showSinglePoll_data();
    void showSinglePoll();
    void showSequence_data();
    void showSequence();
    void refreshPoll_data();
    void refreshPoll();
    void refreshUnshownPoll_data();
    void refreshUnshownPoll();
    void openEditor_data();
    void openEditor();
    void storeEdit_data();
    void storeEdit();
    void storeOtherCells_data();
    void storeOtherCells();
    void editGoesToOwnBlock();

private:
    void doubleClick(QTreeWidgetItem *item, int column);
    void typeInto(QTreeWidgetItem *item, int column, const QString &text);
    QLineEdit *openedEditor() const;

    std::array<QByteArray, MaxPolls> m_responses;
    QTreeWidget *m_tree = nullptr;
    PollTable *m_table = nullptr;
    QList<bool> m_stores; // what each storeEdit call answered
};

void TestPollTable::init()
{
    fillPollDefaults();
    m_responses = {};
    m_stores.clear();
    m_tree = new QTreeWidget;
    m_tree->setColumnCount(4);
    m_tree->setSortingEnabled(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionMode(QAbstractItemView::NoSelection);
    m_tree->resize(600, 500);
    m_table = new PollTable(m_tree, m_responses);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, m_tree,
            [this](QTreeWidgetItem *item, int column) { m_table->openEditor(item, column); });
    connect(m_tree, &QTreeWidget::itemChanged, m_tree,
            [this](QTreeWidgetItem *item, int column) { m_stores << m_table->storeEdit(item, column); });
    m_tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tree));
}

void TestPollTable::cleanup()
{
    delete m_table;
    m_table = nullptr;
    delete m_tree;
    m_tree = nullptr;
}

// The cell editor while one is open.
QLineEdit *TestPollTable::openedEditor() const
{
    for (QLineEdit *editor : m_tree->viewport()->findChildren<QLineEdit *>()) {
        if (editor->isVisible())
            return editor;
    }
    return nullptr;
}

// A real double-click in the middle of the cell, checked to have landed there.
void TestPollTable::doubleClick(QTreeWidgetItem *item, int column)
{
    QList<QPair<QTreeWidgetItem *, int>> clicked;
    const QMetaObject::Connection spy =
        connect(m_tree, &QTreeWidget::itemDoubleClicked, m_tree,
                [&clicked](QTreeWidgetItem *at, int atColumn) { clicked << qMakePair(at, atColumn); });
    const QRect row = m_tree->visualItemRect(item);
    const QHeaderView *header = m_tree->header();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        row.center().y());
    QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(m_tree->viewport(), Qt::LeftButton, {}, centre);
    disconnect(spy);
    QCOMPARE(clicked, (QList<QPair<QTreeWidgetItem *, int>>{{item, column}}));
}

// Double-clicks the cell, replaces the editor's text by typing and presses Enter.
void TestPollTable::typeInto(QTreeWidgetItem *item, int column, const QString &text)
{
    doubleClick(item, column);
    QLineEdit *editor = openedEditor();
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!openedEditor());
}

void TestPollTable::headerRow_data()
{
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("function");

    auto row = [](const char *name, const QString &function, const QString &val2, const char *type,
                  const char *text) {
        QTest::newRow(name) << withType(makePoll(function, "2"), val2, "10") << QString(type)
                            << QString(text);
    };
    row("f3 uInt16", "3", "0", "uInt16", "Function:03 - Read Holding Reg");
    row("f4 Float32", "4", "3", "Float32", "Function:04 - Read Input Reg");
    row("f6 uInt32", "6", "1", "uInt32", "Function:06 - Preset Single Register");
    row("f16 String", "16", "6", "String", "Function:16 - Write Reg");
    row("f1 coils", "1", "3", "ON/OFF", "Function:01 - Read Coil Status");
    row("f2 coils", "2", "0", "ON/OFF", "Function:02 - Read Input Coil");
    row("f5 coil", "5", "2", "ON/OFF", "Function:05 - Force Single Coil");
    row("f15 coils", "15", "0", "ON/OFF", "Function:15 - Force Multiple Coils");
    row("unknown function 7", "7", "0", "uInt16", "Function:");
    row("function word", "abc", "5", "SpecialInt", "Function:");
    row("type 9", "3", "9", "", "Function:03 - Read Holding Reg");
    row("type word", "3", "x", "uInt16", "Function:03 - Read Holding Reg");
}

void TestPollTable::headerRow()
{
    QFETCH(Poll, poll);

    PollStore[41] = poll;
    const QColor colour(12, 34, 56);
    const std::unique_ptr<QTreeWidgetItem> header(m_table->buildPollBlock(41, colour));
    QVERIFY(header);
    QCOMPARE(header->text(0), QString("42"));
    QCOMPARE(header->text(1), QString());
    QTEST(header->text(2), "type");
    QTEST(header->text(3), "function");
    for (int column = 0; column < 4; ++column)
        QCOMPARE(header->background(column), QBrush(colour));
    QCOMPARE(header->textAlignment(2), int(Qt::AlignCenter));
    QCOMPARE(header->flags(), QTreeWidgetItem().flags());
}

void TestPollTable::itemRows_data()
{
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("descriptions");

    const QByteArray none;
    const QByteArray twoRegisters = QByteArray::fromHex("00050100");

    QTest::newRow("f3 reply and descriptions")
        << withAddresses(makePoll("3", "3", {}, {"pump", "valve"}), "10", "1") << twoRegisters
        << QStringList{"10", "11", "12"} << QStringList{"5", "256", "0"} << QStringList{"pump", "valve", ""};
    QTest::newRow("f4 Float32, two addresses each")
        << withAddresses(withType(makePoll("4", "2"), "3", "3210"), "0", "2")
        << QByteArray::fromHex("3FC00000C0000000") << QStringList{"0", "2"} << QStringList{"1.5", "-2"}
        << QStringList{"", ""};
    QTest::newRow("f3 no reply yet") << makePoll("3", "2") << none << QStringList{"0", "1"}
                                     << QStringList{"0", "0"} << QStringList{"", ""};
    QTest::newRow("f3 order xyz reads most significant first")
        << withType(makePoll("3", "1"), "1", "xyz") << QByteArray::fromHex("00010002") << QStringList{"0"}
        << QStringList{"65538"} << QStringList{""};
    QTest::newRow("f3 type 9") << withType(makePoll("3", "2"), "9", "10") << twoRegisters
                               << QStringList{"0", "1"} << QStringList{"0", "0"} << QStringList{"", ""};
    QTest::newRow("f16 write list shorter than count")
        << withAddresses(makePoll("16", "3", {"5", "6"}), "100", "2") << twoRegisters
        << QStringList{"100", "102", "104"} << QStringList{"5", "6", "0"} << QStringList{"", "", ""};
    QTest::newRow("f15 write list shorter than count")
        << makePoll("15", "4", {"1", "0", "1"}, {"a", "b", "c", "d", "e"}) << none
        << QStringList{"0", "1", "2", "3"} << QStringList{"1", "0", "1", "0"}
        << QStringList{"a", "b", "c", "d"};
    QTest::newRow("f1 coils from reply")
        << withAddresses(makePoll("1", "10"), "1", "1") << QByteArray::fromHex("0502")
        << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}
        << QStringList{"1", "0", "1", "0", "0", "0", "0", "0", "0", "1"} << blanks(10);
    QTest::newRow("f5 one row whatever the count")
        << withAddresses(makePoll("5", "10", {"1", "0"}, {"lamp", "x"}), "7", "3") << none << QStringList{"7"}
        << QStringList{"1"} << QStringList{"lamp"};
    QTest::newRow("f6 one row, empty lists") << withAddresses(makePoll("6", "0"), "40", "1") << none
                                             << QStringList{"40"} << QStringList{"0"} << QStringList{""};
    QTest::newRow("unknown function 7")
        << makePoll("7", "2", {"9", "9"}) << twoRegisters << QStringList{"0", "1"} << QStringList{"0", "0"}
        << QStringList{"", ""};
    QTest::newRow("count 0") << makePoll("3", "0") << twoRegisters << QStringList() << QStringList()
                             << QStringList();
    QTest::newRow("count -5") << makePoll("16", "-5", {"1"}) << none << QStringList() << QStringList()
                              << QStringList();
    QTest::newRow("count word") << makePoll("1", "ten") << twoRegisters << QStringList() << QStringList()
                                << QStringList();
    QTest::newRow("addresses past int")
        << withAddresses(makePoll("3", "2"), "2147483647", "2") << none
        << QStringList{"2147483647", "2147483649"} << QStringList{"0", "0"} << QStringList{"", ""};
    QTest::newRow("address words") << withAddresses(makePoll("3", "2"), "x", "y") << none
                                   << QStringList{"0", "0"} << QStringList{"0", "0"} << QStringList{"", ""};
}

void TestPollTable::itemRows()
{
    QFETCH(Poll, poll);
    QFETCH(QByteArray, reply);

    PollStore[4] = poll;
    m_responses[4] = reply;
    const std::unique_ptr<QTreeWidgetItem> header(m_table->buildPollBlock(4, light));
    QVERIFY(header);
    QTEST(childTexts(header.get(), 1), "addresses");
    QTEST(childTexts(header.get(), 2), "values");
    QTEST(childTexts(header.get(), 3), "descriptions");
    QCOMPARE(childTexts(header.get(), 0), blanks(header->childCount()));
}

// Flags, alignment and the alternating cell colours of item rows.
void TestPollTable::rowFormat_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<bool>("write");

    for (const char *read : {"1", "2", "3", "4", "7"})
        QTest::addRow("f%s read", read) << QString(read) << false;
    for (const char *write : {"5", "6", "15", "16"})
        QTest::addRow("f%s write", write) << QString(write) << true;
}

void TestPollTable::rowFormat()
{
    QFETCH(QString, function);
    QFETCH(bool, write);

    PollStore[0] = makePoll(function, "3", {"1", "1", "1"});
    const std::unique_ptr<QTreeWidgetItem> header(m_table->buildPollBlock(0, light));
    QVERIFY(header);
    QVERIFY(header->childCount() >= 1);
    const QColor address[2] = {{235, 210, 210}, {200, 180, 180}};
    const QColor value[2] = {write ? QColor(255, 235, 210) : QColor(210, 235, 210),
                             write ? QColor(225, 200, 180) : QColor(180, 200, 180)};
    const QColor description[2] = {{235, 235, 235}, {200, 200, 200}};
    for (int i = 0; i < header->childCount(); ++i) {
        const QTreeWidgetItem *item = header->child(i);
        QCOMPARE(item->flags(), QTreeWidgetItem().flags() | Qt::ItemIsEditable);
        QCOMPARE(item->background(0), QBrush());
        QCOMPARE(item->background(1), QBrush(address[i % 2]));
        QCOMPARE(item->background(2), QBrush(value[i % 2]));
        QCOMPARE(item->background(3), QBrush(description[i % 2]));
        for (int column = 1; column < 4; ++column)
            QCOMPARE(item->textAlignment(column), int(Qt::AlignCenter));
    }
}

// A count from a hand-edited file: rows stop at the largest coil count.
void TestPollTable::countCapped_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("first");

    QTest::newRow("f1 2000000000") << "1"
                                   << "2000000000"
                                   << "1";
    QTest::newRow("f15 2147483647") << "15"
                                    << "2147483647"
                                    << "1";
    QTest::newRow("f16 65537") << "16"
                               << "65537"
                               << "1";
}

void TestPollTable::countCapped()
{
    QFETCH(QString, function);
    QFETCH(QString, count);

    PollStore[0] = makePoll(function, count, {"1"}, {"only"});
    m_responses[0] = QByteArray::fromHex("FF");
    const std::unique_ptr<QTreeWidgetItem> header(m_table->buildPollBlock(0, light));
    QVERIFY(header);
    QCOMPARE(header->childCount(), MaxCoilValues);
    QTEST(header->child(0)->text(2), "first");
    QCOMPARE(header->child(0)->text(3), QString("only"));
    const QTreeWidgetItem *last = header->child(MaxCoilValues - 1);
    QCOMPARE(last->text(1), QString::number(MaxCoilValues - 1));
    QCOMPARE(last->text(2), QString("0"));
    QCOMPARE(last->text(3), QString());
}

void TestPollTable::showSinglePoll_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("poll 7") << 6 << QStringList{"7"};
    QTest::newRow("poll 99") << 98 << QStringList{"99"};
    QTest::newRow("index 99") << 99 << QStringList();
    QTest::newRow("index -1") << -1 << QStringList();
}

void TestPollTable::showSinglePoll()
{
    QFETCH(int, index);

    for (Poll &poll : PollStore)
        poll = makePoll("16", "2", {"4", "5"});
    m_table->showSequence({1, 2, 7});
    m_table->showSinglePoll(index);
    QTEST(headerTexts(m_tree), "shown");
    QCOMPARE(m_tree->columnWidth(0), 50);
    if (m_tree->topLevelItemCount() == 1) {
        const QTreeWidgetItem *header = m_tree->topLevelItem(0);
        QCOMPARE(header->background(0), QBrush(light));
        QVERIFY(header->isExpanded());
        QCOMPARE(childTexts(header, 2), (QStringList{"4", "5"}));
    }
}

void TestPollTable::showSequence_data()
{
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("3 1 3 12") << QList<int>{3, 1, 3, 12} << QStringList{"1", "3", "12"};
    QTest::newRow("empty") << QList<int>{} << QStringList();
    QTest::newRow("one poll") << QList<int>{5} << QStringList{"5"};
    QTest::newRow("repeats") << QList<int>{2, 2, 2} << QStringList{"2"};
    QTest::newRow("descending") << QList<int>{99, 50, 10, 9, 1} << QStringList{"1", "9", "10", "50", "99"};
    QTest::newRow("outside 1..99") << QList<int>{0, 100, -3, 4, 100} << QStringList{"4"};
}

void TestPollTable::showSequence()
{
    QFETCH(QList<int>, numbers);

    m_table->showSinglePoll(40);
    m_table->showSequence(numbers);
    QTEST(headerTexts(m_tree), "shown");
    for (int k = 0; k < m_tree->topLevelItemCount(); ++k) {
        const QTreeWidgetItem *header = m_tree->topLevelItem(k);
        for (int column = 0; column < 4; ++column)
            QCOMPARE(header->background(column), QBrush(k % 2 == 0 ? light : dark));
        QVERIFY(!header->isExpanded());
        QCOMPARE(header->childCount(), 1);
    }
}

void TestPollTable::refreshPoll_data()
{
    QTest::addColumn<QList<int>>("sequence");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("expanded");

    QTest::newRow("poll 12 after poll 2") << QList<int>{2, 12} << 11 << false;
    QTest::newRow("poll 12 expanded") << QList<int>{2, 12} << 11 << true;
    QTest::newRow("poll 2 before poll 12") << QList<int>{2, 12} << 1 << true;
    QTest::newRow("middle of three") << QList<int>{1, 5, 9} << 4 << false;
    QTest::newRow("first of three") << QList<int>{1, 5, 9} << 0 << true;
    QTest::newRow("single poll") << QList<int>{21} << 20 << true;
}

void TestPollTable::refreshPoll()
{
    QFETCH(QList<int>, sequence);
    QFETCH(int, index);
    QFETCH(bool, expanded);

    m_table->showSequence(sequence);
    // The sequences are ascending, so a poll's position in them is its block's.
    const int position = int(sequence.indexOf(index + 1));
    QVERIFY(position >= 0);
    m_tree->topLevelItem(position)->setExpanded(expanded);
    QList<QTreeWidgetItem *> before;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        before << m_tree->topLevelItem(i);
    const QBrush colour = before.at(position)->background(0);

    // Every poll changes, so a block redrawn by mistake shows it too.
    for (Poll &poll : PollStore)
        poll = makePoll("3", "3");
    for (QByteArray &reply : m_responses)
        reply = QByteArray::fromHex("000100020003");

    m_table->refreshPoll(index);
    QCOMPARE(m_tree->topLevelItemCount(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        QTreeWidgetItem *header = m_tree->topLevelItem(i);
        if (i != position) {
            QCOMPARE(header, before.at(i));
            QCOMPARE(header->childCount(), 1);
            continue;
        }
        QCOMPARE(header->text(0), QString::number(index + 1));
        QCOMPARE(childTexts(header, 2), (QStringList{"1", "2", "3"}));
        QCOMPARE(header->background(0), colour);
        QCOMPARE(header->background(3), colour);
        QCOMPARE(header->isExpanded(), expanded);
    }
}

void TestPollTable::refreshUnshownPoll_data()
{
    QTest::addColumn<QList<int>>("sequence");
    QTest::addColumn<int>("index");

    QTest::newRow("poll 2 beside 12") << QList<int>{12, 21} << 1;
    QTest::newRow("poll 1 beside 12") << QList<int>{12} << 0;
    QTest::newRow("index -1") << QList<int>{1} << -1;
    QTest::newRow("index 99") << QList<int>{99} << 99;
    QTest::newRow("empty table") << QList<int>{} << 0;
}

void TestPollTable::refreshUnshownPoll()
{
    QFETCH(QList<int>, sequence);
    QFETCH(int, index);

    m_table->showSequence(sequence);
    QList<QTreeWidgetItem *> before;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        before << m_tree->topLevelItem(i);
    for (Poll &poll : PollStore)
        poll = makePoll("3", "3");

    m_table->refreshPoll(index);
    QCOMPARE(m_tree->topLevelItemCount(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        QCOMPARE(m_tree->topLevelItem(i), before.at(i));
        QCOMPARE(before.at(i)->childCount(), 1);
    }
}

void TestPollTable::openEditor_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("row"); // -1: the header row
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("opens");

    for (const char *function : {"1", "2", "3", "4", "7"})
        QTest::addRow("f%s value", function) << QString(function) << 0 << 2 << false;
    for (const char *function : {"5", "6", "15", "16"})
        QTest::addRow("f%s value", function) << QString(function) << 0 << 2 << true;
    QTest::newRow("f3 description") << "3" << 1 << 3 << true;
    QTest::newRow("f15 description") << "15" << 0 << 3 << true;
    QTest::newRow("f16 second value") << "16" << 1 << 2 << true;
    QTest::newRow("f16 address") << "16" << 1 << 1 << false;
    QTest::newRow("f16 column 0") << "16" << 1 << 0 << false;
    QTest::newRow("f16 header value") << "16" << -1 << 2 << false;
    QTest::newRow("f16 header description") << "16" << -1 << 3 << false;
}

void TestPollTable::openEditor()
{
    QFETCH(QString, function);
    QFETCH(int, row);
    QFETCH(int, column);

    PollStore[2] = makePoll(function, "2", {"1", "0"}, {"a", "b"});
    m_table->showSinglePoll(2);
    QTreeWidgetItem *header = m_tree->topLevelItem(0);
    doubleClick(row < 0 ? header : header->child(row), column);
    QTEST(openedEditor() != nullptr, "opens");
}

void TestPollTable::storeEdit_data()
{
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QStringList>("write");
    QTest::addColumn<QStringList>("desc");
    QTest::addColumn<bool>("stored");

    const QStringList three = blanks(3);
    QTest::newRow("f15 7 becomes 0") << makePoll("15", "3", {"1", "1", "1"}, three) << 1 << 2 << "7"
                                     << "0" << QStringList{"1", "0", "1"} << three << true;
    QTest::newRow("f15 1 stays") << makePoll("15", "3", {"0", "0", "0"}, three) << 2 << 2 << "1"
                                 << "1" << QStringList{"0", "0", "1"} << three << true;
    QTest::newRow("f15 01 becomes 0") << makePoll("15", "2", {"1", "1"}) << 0 << 2 << "01"
                                      << "0" << QStringList{"0", "1"} << QStringList() << true;
    QTest::newRow("f5 word becomes 0") << makePoll("5", "1", {"1"}) << 0 << 2 << "on"
                                       << "0" << QStringList{"0"} << QStringList() << true;
    QTest::newRow("f5 1") << makePoll("5", "1", {"0"}) << 0 << 2 << "1"
                          << "1" << QStringList{"1"} << QStringList() << true;
    QTest::newRow("f16 stored as typed") << makePoll("16", "2", {"5", "6"}) << 1 << 2 << "-12.5"
                                         << "-12.5" << QStringList{"5", "-12.5"} << QStringList() << true;
    QTest::newRow("f6 value") << makePoll("6", "1", {"0"}) << 0 << 2 << "42"
                              << "42" << QStringList{"42"} << QStringList() << true;
    QTest::newRow("f3 description") << makePoll("3", "3", {"0", "0", "0"}, three) << 2 << 3 << "Pump speed"
                                    << "Pump speed" << QStringList{"0", "0", "0"}
                                    << QStringList{"", "", "Pump speed"} << true;
    QTest::newRow("f15 description kept as typed")
        << makePoll("15", "3", {"1", "1", "1"}, three) << 0 << 3 << "7"
        << "7" << QStringList{"1", "1", "1"} << QStringList{"7", "", ""} << true;
    QTest::newRow("value beyond write list") << makePoll("16", "3", {"5", "6"}) << 2 << 2 << "9"
                                             << "0" << QStringList{"5", "6"} << QStringList() << false;
    QTest::newRow("f15 beyond write list") << makePoll("15", "2", {"1"}) << 1 << 2 << "1"
                                           << "0" << QStringList{"1"} << QStringList() << false;
    QTest::newRow("f5 empty write list") << makePoll("5", "1") << 0 << 2 << "1"
                                         << "0" << QStringList() << QStringList() << false;
    QTest::newRow("description beyond desc list") << makePoll("3", "3", {}, {"a"}) << 2 << 3 << "b"
                                                  << "" << QStringList() << QStringList{"a"} << false;
}

// Typed into the real cell editor; the table's itemChanged handler stores it.
void TestPollTable::storeEdit()
{
    QFETCH(Poll, poll);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(bool, stored);

    PollStore[7] = poll;
    const Poll before = poll;
    m_table->showSinglePoll(7);
    QTreeWidgetItem *item = m_tree->topLevelItem(0)->child(row);
    typeInto(item, column, typed);
    if (QTest::currentTestFailed())
        return;

    // Exactly one store: correcting the cell must not store a second time.
    QCOMPARE(m_stores, QList<bool>{stored});
    QTEST(item->text(column), "cell");
    QTEST(PollStore[7].write, "write");
    QTEST(PollStore[7].desc, "desc");
    QCOMPARE(PollStore[7].val1, before.val1);
    for (int i = 0; i < MaxPolls; ++i) {
        if (i != 7)
            QCOMPARE(PollStore[size_t(i)].write, QStringList{"0"});
    }
}

// Cells no editor opens on may still change (itemChanged fires for any
// setText): none of them reaches the poll.
void TestPollTable::storeOtherCells_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("row"); // -1: the header row
    QTest::addColumn<int>("column");

    QTest::newRow("f3 value") << "3" << 0 << 2;
    QTest::newRow("f1 value") << "1" << 1 << 2;
    QTest::newRow("f16 address") << "16" << 0 << 1;
    QTest::newRow("f16 column 0") << "16" << 1 << 0;
    QTest::newRow("f16 header value") << "16" << -1 << 2;
    QTest::newRow("f16 header description") << "16" << -1 << 3;
}

void TestPollTable::storeOtherCells()
{
    QFETCH(QString, function);
    QFETCH(int, row);
    QFETCH(int, column);

    const Poll poll = makePoll(function, "2", {"1", "0"}, {"a", "b"});
    PollStore[3] = poll;
    m_table->showSinglePoll(3);
    QTreeWidgetItem *header = m_tree->topLevelItem(0);
    (row < 0 ? header : header->child(row))->setText(column, "1");
    QCOMPARE(m_stores, QList<bool>{false});
    QVERIFY(PollStore[3] == poll);
}

// In sequence mode the selected poll is not the one edited: the row's own block decides.
void TestPollTable::editGoesToOwnBlock()
{
    PollStore[0] = makePoll("16", "2", {"1", "2"}, {"one", "two"});
    PollStore[2] = makePoll("16", "2", {"3", "4"}, {"three", "four"});
    m_table->showSequence({3, 1});
    QTreeWidgetItem *third = m_tree->topLevelItem(1);
    QCOMPARE(third->text(0), QString("3"));
    third->setExpanded(true);

    typeInto(third->child(1), 2, "9");
    typeInto(third->child(0), 3, "first");
    QCOMPARE(m_stores, (QList<bool>{true, true}));
    QCOMPARE(PollStore[2].write, (QStringList{"3", "9"}));
    QCOMPARE(PollStore[2].desc, (QStringList{"first", "four"}));
    QCOMPARE(PollStore[0].write, (QStringList{"1", "2"}));
    QCOMPARE(PollStore[0].desc, (QStringList{"one", "two"}));
}

QTEST_MAIN(TestPollTable)
#include "tst_polltable.moc"
