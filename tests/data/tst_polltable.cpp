#include "app/pollstore.h"
#include "data/polltable.h"
#include "data/valuedecoding.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

Q_DECLARE_METATYPE(Poll)

namespace {

Poll makePoll(const QString &function, const QString &val1, const QStringList &write = {},
              const QStringList &desc = {}, const QString &val2 = "0", const QString &val3 = "10",
              const QString &startaddr = "0", const QString &addrperitem = "1")
{
    Poll poll;
    poll.slave = "1";
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

QStringList childTexts(const QTreeWidgetItem *header, int column)
{
    QStringList texts;
    for (int i = 0; i < header->childCount(); ++i)
        texts << header->child(i)->text(column);
    return texts;
}

QStringList blanks(int count)
{
    return QVector<QString>(count, "").toList();
}

const QColor light(240, 240, 240);
const QColor dark(220, 220, 220);

} // namespace

// The poll table on a plain four-column tree set up as the main window's form
// sets it (sorting on, no edit triggers), with the table's double-click and
// edit handlers wired as the main window wires them. The window-level cases
// (blocks per function, replies in their own blocks) are in tst_polleditor.
class TestPollTable : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void block_data();
    void block();
    void rowColours_data();
    void rowColours();
    void countCapped();
    void views_data();
    void views();
    void refreshPoll_data();
    void refreshPoll();
    void openEditor_data();
    void openEditor();
    void storeEdit_data();
    void storeEdit();
    void editGoesToOwnBlock();

private:
    void typeInto(QTreeWidgetItem *item, int column, const QString &text);
    QLineEdit *openedEditor() const;
    QStringList headers() const;
    void doubleClick(QTreeWidgetItem *item, int column);

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

QStringList TestPollTable::headers() const
{
    QStringList texts;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        texts << m_tree->topLevelItem(i)->text(0);
    return texts;
}

// A real double-click in the middle of the cell, checked to have landed there.
void TestPollTable::doubleClick(QTreeWidgetItem *item, int column)
{
    QList<QPair<QTreeWidgetItem *, int>> clicked;
    const QMetaObject::Connection spy =
        connect(m_tree, &QTreeWidget::itemDoubleClicked, m_tree,
                [&clicked](QTreeWidgetItem *at, int atColumn) { clicked << qMakePair(at, atColumn); });
    const QHeaderView *header = m_tree->header();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        m_tree->visualItemRect(item).center().y());
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

// A block: the header row names the poll, the type (ON/OFF for coils) and the
// function; an item row per value, or one for functions 5 and 6.
void TestPollTable::block_data()
{
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("header"); // type, function
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("descriptions");

    using L = QStringList;
    const QByteArray none, twoRegisters = QByteArray::fromHex("00050100");
    const L f3{"uInt16", "Function:03 - Read Holding Reg"};
    QTest::newRow("f3 reply and descriptions")
        << makePoll("3", "3", {}, {"pump", "valve"}, "0", "10", "10") << twoRegisters << f3
        << L{"10", "11", "12"} << L{"5", "256", "0"} << L{"pump", "valve", ""};
    QTest::newRow("f4 Float32, two addresses each")
        << makePoll("4", "2", {}, {}, "3", "3210", "0", "2") << QByteArray::fromHex("3FC00000C0000000")
        << L{"Float32", "Function:04 - Read Input Reg"} << L{"0", "2"} << L{"1.5", "-2"} << L{"", ""};
    QTest::newRow("f1 coils from reply") << makePoll("1", "10", {}, {}, "3") << QByteArray::fromHex("0502")
                                         << L{"ON/OFF", "Function:01 - Read Coil Status"}
                                         << L{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}
                                         << L{"1", "0", "1", "0", "0", "0", "0", "0", "0", "1"} << blanks(10);
    QTest::newRow("f15 write list shorter than count")
        << makePoll("15", "4", {"1", "0", "1"}, {"a", "b", "c", "d", "e"}) << none
        << L{"ON/OFF", "Function:15 - Force Multiple Coils"} << L{"0", "1", "2", "3"} << L{"1", "0", "1", "0"}
        << L{"a", "b", "c", "d"};
    QTest::newRow("f3 order xyz reads most significant first")
        << makePoll("3", "1", {}, {}, "1", "xyz") << QByteArray::fromHex("00010002")
        << L{"uInt32", "Function:03 - Read Holding Reg"} << L{"0"} << L{"65538"} << L{""};
    QTest::newRow("f3 type 9") << makePoll("3", "2", {}, {}, "9") << twoRegisters
                               << L{"", "Function:03 - Read Holding Reg"} << L{"0", "1"} << L{"0", "0"}
                               << L{"", ""};
    QTest::newRow("unknown function 7")
        << makePoll("7", "2", {"9", "9"}) << twoRegisters << L{"uInt16", "Function:"} << L{"0", "1"}
        << L{"0", "0"} << L{"", ""};
    QTest::newRow("count -5") << makePoll("16", "-5", {"1"}) << none << L{"uInt16", "Function:16 - Write Reg"}
                              << L() << L() << L();
    QTest::newRow("addresses past int") << makePoll("3", "2", {}, {}, "0", "10", "2147483647", "2") << none
                                        << f3 << L{"2147483647", "2147483649"} << L{"0", "0"} << L{"", ""};
}

void TestPollTable::block()
{
    QFETCH(Poll, poll);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, header);

    PollStore[41] = poll;
    m_responses[41] = reply;
    const QColor colour(12, 34, 56);
    const std::unique_ptr<QTreeWidgetItem> block(m_table->buildPollBlock(41, colour));
    QVERIFY(block);
    QCOMPARE(QStringList({block->text(0), block->text(1), block->text(2), block->text(3)}),
             QStringList({"42", ""}) + header);
    for (int column = 0; column < 4; ++column)
        QCOMPARE(block->background(column), QBrush(colour));
    QCOMPARE(block->flags(), QTreeWidgetItem().flags());
    QCOMPARE(childTexts(block.get(), 0), blanks(block->childCount()));
    QTEST(childTexts(block.get(), 1), "addresses");
    QTEST(childTexts(block.get(), 2), "values");
    QTEST(childTexts(block.get(), 3), "descriptions");
}

// Item rows are editable, centred, in alternating colours; the value column
// tells read from write functions.
void TestPollTable::rowColours_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<bool>("write");

    QTest::newRow("f3 read") << "3" << false;
    QTest::newRow("f16 write") << "16" << true;
}

void TestPollTable::rowColours()
{
    QFETCH(QString, function);
    QFETCH(bool, write);

    PollStore[0] = makePoll(function, "3", {"1", "1", "1"});
    const std::unique_ptr<QTreeWidgetItem> header(m_table->buildPollBlock(0, light));
    QVERIFY(header && header->childCount() == 3);
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
void TestPollTable::countCapped()
{
    for (const char *count : {"65537", "2147483647"}) {
        PollStore[0] = makePoll("15", count, {"1"}, {"only"});
        const std::unique_ptr<QTreeWidgetItem> header(m_table->buildPollBlock(0, light));
        QVERIFY(header);
        QCOMPARE(header->childCount(), MaxCoilValues);
        QCOMPARE(header->child(0)->text(3), QString("only"));
        const QTreeWidgetItem *last = header->child(MaxCoilValues - 1);
        QCOMPARE(QStringList({last->text(1), last->text(2), last->text(3)}),
                 QStringList({QString::number(MaxCoilValues - 1), "0", ""}));
    }
}

// Edit mode shows the one poll expanded, sequence mode each listed poll once,
// ascending, collapsed, in alternating colours; numbers outside 1..99 (a
// hand-edited file) show nothing.
void TestPollTable::views_data()
{
    QTest::addColumn<int>("single"); // index of edit mode's poll; -2: sequence mode
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("poll 99") << 98 << QList<int>() << QStringList{"99"};
    QTest::newRow("index 99") << 99 << QList<int>() << QStringList();
    QTest::newRow("index -1") << -1 << QList<int>() << QStringList();
    QTest::newRow("descending") << -2 << QList<int>{99, 50, 10, 9, 1}
                                << QStringList{"1", "9", "10", "50", "99"};
    QTest::newRow("outside 1..99") << -2 << QList<int>{0, 100, -3, 4, 100} << QStringList{"4"};
    QTest::newRow("empty") << -2 << QList<int>() << QStringList();
}

void TestPollTable::views()
{
    QFETCH(int, single);
    QFETCH(QList<int>, numbers);

    for (Poll &poll : PollStore)
        poll = makePoll("16", "2", {"4", "5"});
    m_table->showSequence({1, 2, 7});
    if (single == -2)
        m_table->showSequence(numbers);
    else
        m_table->showSinglePoll(single);
    QTEST(headers(), "shown");
    QCOMPARE(m_tree->columnWidth(0), 50);
    for (int k = 0; k < m_tree->topLevelItemCount(); ++k) {
        const QTreeWidgetItem *header = m_tree->topLevelItem(k);
        for (int column = 0; column < 4; ++column)
            QCOMPARE(header->background(column), QBrush(k % 2 == 0 ? light : dark));
        QCOMPARE(header->isExpanded(), single != -2);
        QCOMPARE(childTexts(header, 2), (QStringList{"4", "5"}));
    }
}

// Only the block of the poll is redrawn, in place, keeping its colour and
// whether it is expanded; a poll not shown changes nothing.
void TestPollTable::refreshPoll_data()
{
    QTest::addColumn<QList<int>>("sequence");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("expanded");

    QTest::newRow("poll 12 after poll 2") << QList<int>{2, 12} << 11 << false;
    QTest::newRow("poll 2 before poll 12, expanded") << QList<int>{2, 12} << 1 << true;
    QTest::newRow("middle of three") << QList<int>{1, 5, 9} << 4 << false;
    QTest::newRow("poll 2 not shown beside 12") << QList<int>{12, 21} << 1 << false;
    QTest::newRow("index -1") << QList<int>{1} << -1 << false;
    QTest::newRow("index 99") << QList<int>{99} << 99 << false;
    QTest::newRow("empty table") << QList<int>{} << 0 << false;
}

void TestPollTable::refreshPoll()
{
    QFETCH(QList<int>, sequence);
    QFETCH(int, index);
    QFETCH(bool, expanded);

    m_table->showSequence(sequence);
    // The sequences are ascending, so a poll's position in them is its block's.
    const int position = int(sequence.indexOf(index + 1));
    if (position >= 0)
        m_tree->topLevelItem(position)->setExpanded(expanded);
    QList<QTreeWidgetItem *> before;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        before << m_tree->topLevelItem(i);
    const QBrush colour = position >= 0 ? before.at(position)->background(0) : QBrush();

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

void TestPollTable::openEditor_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("row"); // -1: the header row
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("opens");

    QTest::newRow("f7 value") << "7" << 0 << 2 << false;
    QTest::newRow("f5 value") << "5" << 0 << 2 << true;
    QTest::newRow("f16 second value") << "16" << 1 << 2 << true;
    QTest::newRow("f3 description") << "3" << 1 << 3 << true;
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
    QTest::addColumn<int>("row"); // -1: the header row
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed"); // "=": set without an editor
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QStringList>("write");
    QTest::addColumn<QStringList>("desc");
    QTest::addColumn<bool>("stored");

    using L = QStringList;
    const L three = blanks(3);
    QTest::newRow("f15 7 becomes 0") << makePoll("15", "3", {"1", "1", "1"}, three) << 1 << 2 << "7"
                                     << "0" << L{"1", "0", "1"} << three << true;
    QTest::newRow("f15 1 stays") << makePoll("15", "3", {"0", "0", "0"}, three) << 2 << 2 << "1"
                                 << "1" << L{"0", "0", "1"} << three << true;
    QTest::newRow("f5 01 becomes 0") << makePoll("5", "1", {"1"}) << 0 << 2 << "01"
                                     << "0" << L{"0"} << L() << true;
    QTest::newRow("f16 stored as typed") << makePoll("16", "2", {"5", "6"}) << 1 << 2 << "-12.5"
                                         << "-12.5" << L{"5", "-12.5"} << L() << true;
    QTest::newRow("f15 description kept as typed")
        << makePoll("15", "3", {"1", "1", "1"}, three) << 0 << 3 << "7"
        << "7" << L{"1", "1", "1"} << L{"7", "", ""} << true;
    QTest::newRow("value beyond write list") << makePoll("16", "3", {"5", "6"}) << 2 << 2 << "9"
                                             << "0" << L{"5", "6"} << L() << false;
    QTest::newRow("description beyond desc list") << makePoll("3", "3", {}, {"a"}) << 2 << 3 << "b"
                                                  << "" << L() << L{"a"} << false;
    // Cells no editor opens on may still change (itemChanged fires for any
    // setText): none of them reaches the poll.
    const Poll read = makePoll("3", "2", {"1", "0"}, {"a", "b"}),
               write = makePoll("16", "2", {"1", "0"}, {"a", "b"});
    QTest::newRow("f3 value set") << read << 0 << 2 << "=7"
                                  << "7" << L{"1", "0"} << L{"a", "b"} << false;
    QTest::newRow("f16 address set") << write << 0 << 1 << "=7"
                                     << "7" << L{"1", "0"} << L{"a", "b"} << false;
    QTest::newRow("f16 column 0 set") << write << 1 << 0 << "=7"
                                      << "7" << L{"1", "0"} << L{"a", "b"} << false;
    QTest::newRow("f16 header value set") << write << -1 << 2 << "=7"
                                          << "7" << L{"1", "0"} << L{"a", "b"} << false;
}

// Typed into the real cell editor, or set directly; the table's itemChanged
// handler stores it.
void TestPollTable::storeEdit()
{
    QFETCH(Poll, poll);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(bool, stored);

    PollStore[7] = poll;
    m_table->showSinglePoll(7);
    QTreeWidgetItem *item = row < 0 ? m_tree->topLevelItem(0) : m_tree->topLevelItem(0)->child(row);
    if (typed.startsWith('='))
        item->setText(column, typed.mid(1));
    else
        typeInto(item, column, typed);
    if (QTest::currentTestFailed())
        return;

    // Exactly one store: correcting the cell must not store a second time.
    QCOMPARE(m_stores, QList<bool>{stored});
    QTEST(item->text(column), "cell");
    QTEST(PollStore[7].write, "write");
    QTEST(PollStore[7].desc, "desc");
    QCOMPARE(PollStore[7].val1, poll.val1);
    for (int i = 0; i < MaxPolls; ++i)
        QVERIFY(i == 7 || PollStore[size_t(i)].write == QStringList{"0"});
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
