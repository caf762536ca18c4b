// The "POLL" group of the real window: every control writes its poll.
#include "support/slaveprocess.h"
#include "windowdriver.h"

#include <QtTest>
#include <QtWidgets>

class TestPollEditor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void loadsPoll();
    void countResizesLists_data();
    void countResizesLists();
    void typeChangeKeepsOrWrapsOrder_data();
    void typeChangeKeepsOrWrapsOrder();
    void functionSetsCountMaximum();
    void coilValuesCorrected_data();
    void coilValuesCorrected();
    void timesEight_data();
    void timesEight();
    void fieldsStored();
    void selectingCoilPollTakesShownOrder();
    void startAddressEmptiesReply();
    void nonsensePollLoads();
    void sequenceShowsEachPollOnce();
    void replyRedrawsItsOwnBlock();
    void valueCells_data();
    void valueCells();
    void sequenceEditorOpensAndCommits();
    void blockOfSelectedPoll_data();
    void blockOfSelectedPoll();

private:
    std::unique_ptr<WindowDriver> driver;
    std::unique_ptr<SlaveProcess> slave;
    template<typename T>
    T *w(const char *name) const
    {
        return driver->widget<T>(name);
    }
    void selectFunction(int code) const;
    // Answers the modal connection dialog, which would take every click.
    void connectToSlave()
    {
        startSlave();
        QVERIFY(driver->connectTcp(slave->port(), true));
    }
    void startSlave()
    {
        slave = std::make_unique<SlaveProcess>();
        QVERIFY2(slave->startTcp(), qPrintable(slave->errorString()));
    }
    // Double-clicks the value cell of item row row of the first block; the
    // view opens nothing on a double-click whose press it did not see.
    QLineEdit *openValueEditor(int row) const
    {
        auto *tree = w<QTreeWidget>("treeWidget");
        const QPoint at(tree->columnViewportPosition(2) + 5,
                        tree->visualItemRect(tree->topLevelItem(0)->child(row)).center().y());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
        return tree->viewport()->findChild<QLineEdit *>();
    }
};

void TestPollEditor::init()
{
    Sequence.clear();
    slave.reset();
    driver = std::make_unique<WindowDriver>();
}

namespace {

QStringList topLevelTexts(const QTreeWidget *tree, int column)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(column);
    return texts;
}

QStringList values(const QTreeWidgetItem *block)
{
    QStringList texts;
    for (int i = 0; i < block->childCount(); ++i)
        texts << block->child(i)->text(2);
    return texts;
}

} // namespace

void TestPollEditor::selectFunction(int code) const
{
    auto *box = w<QComboBox>("fucnum");
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i).leftRef(2).toInt() == code)
            box->setCurrentIndex(i);
    }
}

void TestPollEditor::loadsPoll()
{
    // Poll 1 as the constructor loads it: function 3, one uInt16 register at 1.
    QCOMPARE(w<QComboBox>("fucnum")->currentText(), QString("03 - Read Holding Reg"));
    QCOMPARE(w<QSpinBox>("startaddr")->value(), 1);
    QCOMPARE(w<QLabel>("addressType")->text(), QString("Reg Addr"));
    QCOMPARE(w<QLabel>("spinName")->text(), QString("# of Items"));
    QCOMPARE(w<QComboBox>("ordercombo")->currentText(), QString("10"));
    QCOMPARE(PollStore[0].val3, QString("10"));

    selectFunction(1);
    QCOMPARE(PollStore[0].function, QString("1"));
    QCOMPARE(w<QLabel>("addressType")->text(), QString("Coil Addr"));
    QCOMPARE(w<QLabel>("spinName")->text(), QString("# of Coils"));
    QVERIFY(w<QComboBox>("datatype")->isHidden());
}

void TestPollEditor::countResizesLists_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("write");
    QTest::addColumn<QString>("val1");
    QTest::newRow("3 to 5") << 16 << 5 << QStringList{"1", "2", "3", "0", "0"} << "5";
    QTest::newRow("back to 2, code 7 from a file: not stored") << 7 << 2 << QStringList{"1", "2"} << "1";
    QTest::newRow("coils to 4") << 1 << 4 << QStringList{"1", "2", "3", "0"} << "4";
}

void TestPollEditor::countResizesLists()
{
    QFETCH(int, function);
    QFETCH(int, count);
    QFETCH(QStringList, write);
    QFETCH(QString, val1);

    selectFunction(function);
    // A code the list does not offer, as a hand-edited file may hold.
    PollStore[0].function = QString::number(function);
    w<QSpinBox>("numreg")->setValue(3);
    PollStore[0].write = QStringList{"1", "2", "3"};
    PollStore[0].desc = QStringList{"a", "b", "c"};
    w<QSpinBox>("numreg")->setValue(count);
    QCOMPARE(PollStore[0].write, write);
    QCOMPARE(PollStore[0].desc.size(), write.size());
    QCOMPARE(PollStore[0].desc.mid(0, 2), (QStringList{"a", "b"}));
    // Empty texts, saved as start and end tag like loaded ones.
    QVERIFY(!PollStore[0].desc.last().isNull());
    QCOMPARE(PollStore[0].val1, val1);
}

// The order list follows the type; the order is kept when the new type
// offers it, else the first of the new list is taken.
void TestPollEditor::typeChangeKeepsOrWrapsOrder_data()
{
    QTest::addColumn<QStringList>("change"); // type, order, new type, order then
    QTest::newRow("uInt32 to Float32 keeps 1032") << QStringList{"uInt32", "1032", "Float32", "1032"};
    QTest::newRow("uInt32 to uInt16 selects 10") << QStringList{"uInt32", "1032", "uInt16", "10"};
    QTest::newRow("Int64 to Double64 keeps lsb first")
        << QStringList{"Int64", "01234567", "Double64", "01234567"};
}

void TestPollEditor::typeChangeKeepsOrWrapsOrder()
{
    QFETCH(QStringList, change);

    w<QComboBox>("datatype")->setCurrentText(change[0]);
    w<QComboBox>("ordercombo")->setCurrentText(change[1]);
    QCOMPARE(PollStore[0].val3, change[1]);
    w<QComboBox>("datatype")->setCurrentText(change[2]);
    QCOMPARE(w<QComboBox>("ordercombo")->currentText(), change[3]);
    QCOMPARE(PollStore[0].val3, change[3]);
    QCOMPARE(PollStore[0].val2, QString::number(w<QComboBox>("datatype")->currentIndex()));
}

void TestPollEditor::functionSetsCountMaximum()
{
    auto *count = w<QSpinBox>("numreg");
    selectFunction(1);
    QCOMPARE(count->maximum(), 2000);
    count->setValue(1500);
    QCOMPARE(PollStore[0].val1, QString("1500"));
    selectFunction(16);
    QCOMPARE(count->maximum(), 60);
    QCOMPARE(count->value(), 60);
    QCOMPARE(PollStore[0].val1, QString("60"));
    selectFunction(3);
    QCOMPARE(count->maximum(), 125);
    // 5, 6 and 15 keep whatever maximum the box had.
    selectFunction(15);
    QCOMPARE(count->maximum(), 125);
}

void TestPollEditor::coilValuesCorrected_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("5, first value 5") << 5 << QStringList{"5", "7"} << QStringList{"0", "7"};
    QTest::newRow("5, not a number stays") << 5 << QStringList{"ON"} << QStringList{"ON"};
    QTest::newRow("15, every value") << 15 << QStringList{"1", "2", "0", "-3", "x"}
                                     << QStringList{"1", "0", "0", "0", "x"};
}

void TestPollEditor::coilValuesCorrected()
{
    QFETCH(int, function);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    PollStore[0].write = before;
    selectFunction(function);
    QCOMPARE(PollStore[0].write, after);
}

void TestPollEditor::timesEight_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("result");
    QTest::newRow("1000") << 1000 << 8000;
    QTest::newRow("40000 clamps") << 40000 << 300000;
}

void TestPollEditor::timesEight()
{
    QFETCH(int, start);
    QFETCH(int, result);
    w<QSpinBox>("startaddr")->setValue(start);
    // The button is hidden; its slot is reached by a click all the same.
    w<QPushButton>("timeseight")->click();
    QCOMPARE(w<QSpinBox>("startaddr")->value(), result);
    QCOMPARE(PollStore[0].startaddr, QString::number(result));
}

void TestPollEditor::fieldsStored()
{
    w<QSpinBox>("spinBox")->setValue(7);
    w<QSpinBox>("slaveaddr")->setValue(17);
    w<QSpinBox>("spinAddrPerItem")->setValue(4);
    auto *desc = w<QLineEdit>("descEdit");
    desc->setFocus();
    QTest::keyClicks(desc, "pump pressure");
    QTest::keyClick(desc, Qt::Key_Return);
    const Poll &poll = PollStore[6];
    QCOMPARE(poll.slave, QString("17"));
    QCOMPARE(poll.addrperitem, QString("4"));
    QCOMPARE(poll.polldesc, QString("pump pressure"));
    // Poll 1 was not touched.
    QCOMPARE(PollStore[0].slave, QString("1"));
    // Going back shows poll 1, and 7 again shows its values.
    w<QSpinBox>("spinBox")->setValue(1);
    QCOMPARE(w<QSpinBox>("slaveaddr")->value(), 1);
    QCOMPARE(desc->text(), QString());
    w<QSpinBox>("spinBox")->setValue(7);
    QCOMPARE(w<QSpinBox>("slaveaddr")->value(), 17);
}

void TestPollEditor::selectingCoilPollTakesShownOrder()
{
    PollStore[1].function = "1";
    PollStore[1].val3 = "";
    w<QComboBox>("ordercombo")->setCurrentText("01");
    w<QSpinBox>("spinBox")->setValue(2);
    QCOMPARE(PollStore[1].val3, QString("01"));
}

void TestPollEditor::startAddressEmptiesReply()
{
    connectToSlave();
    driver->click("singlepoll");
    QTRY_COMPARE(driver->count("numofvalid"), 1);
    QCOMPARE(driver->window()->pollResponse(1).toHex(), QByteArray("0001"));
    w<QSpinBox>("startaddr")->setValue(5);
    QCOMPARE(driver->window()->pollResponse(1), QByteArray());
}

void TestPollEditor::nonsensePollLoads()
{
    Poll &poll = PollStore[3];
    poll.function = "7";
    poll.val1 = "lots";
    poll.val2 = "9";
    poll.val3 = "xyz";
    poll.slave = "";
    poll.write.clear();
    poll.desc.clear();
    w<QSpinBox>("spinBox")->setValue(4);
    QCOMPARE(w<QComboBox>("fucnum")->currentIndex(), 0);
    w<QSpinBox>("spinBox")->setValue(4);
    poll.function = "16";
    poll.val1 = "3";
    w<QSpinBox>("spinBox")->setValue(5);
    w<QSpinBox>("spinBox")->setValue(4);
    // A count change with lists shorter than the count grows both lists.
    w<QSpinBox>("numreg")->setValue(4);
    QCOMPARE(poll.write.size(), 4);
    QCOMPARE(poll.desc.size(), 4);
}

void TestPollEditor::sequenceShowsEachPollOnce()
{
    driver.reset();
    Sequence = {3, 1, 3, 12};
    driver = std::make_unique<WindowDriver>();
    auto *tree = w<QTreeWidget>("treeWidget");
    QCOMPARE(topLevelTexts(tree, 0), QStringList{"1"});
    driver->click("sequencetoggle");
    QCOMPARE(topLevelTexts(tree, 0), (QStringList{"1", "3", "12"}));
    QCOMPARE(tree->topLevelItem(1)->background(0).color(), QColor(220, 220, 220));
    QCOMPARE(tree->topLevelItem(2)->background(0).color(), QColor(240, 240, 240));
    QVERIFY(!w<QGroupBox>("groupBox")->isEnabled());
    driver->click("edittoggle");
    QCOMPARE(topLevelTexts(tree, 0), QStringList{"1"});
}

// Replies in a sequence land in their own blocks: poll 12's values are not
// drawn into poll 2's block.
void TestPollEditor::replyRedrawsItsOwnBlock()
{
    startSlave();
    driver.reset();
    Sequence = {2, 12};
    driver = std::make_unique<WindowDriver>();
    PollStore[1].startaddr = "100";
    PollStore[11].startaddr = "5";
    PollStore[11].val1 = "2";
    QVERIFY(driver->connectTcp(slave->port(), true));
    w<QDoubleSpinBox>("timebetweenpolls")->setValue(0.01);
    driver->click("sequencetoggle");
    driver->click("gobutton");
    QTRY_VERIFY(driver->count("numofvalid") >= 2);
    driver->click("stopbutton");

    auto *tree = w<QTreeWidget>("treeWidget");
    QCOMPARE(topLevelTexts(tree, 0), (QStringList{"2", "12"}));
    QCOMPARE(values(tree->topLevelItem(0)), QStringList{"100"});
    QCOMPARE(values(tree->topLevelItem(1)), (QStringList{"5", "6"}));
    QCOMPARE(tree->topLevelItem(1)->background(0).color(), QColor(220, 220, 220));
}

// A double-click opens an editor on a value of a write function only; what
// is typed is stored, a coil value other than "1" as "0".
void TestPollEditor::valueCells_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("write"); // empty: no editor opens
    QTest::newRow("read holding") << 3 << 0 << "4660" << QStringList();
    QTest::newRow("write registers") << 16 << 0 << "4660" << QStringList{"4660"};
    QTest::newRow("coils, 7 stored as 0") << 15 << 1 << "7" << QStringList{"1", "0"};
}

void TestPollEditor::valueCells()
{
    QFETCH(int, function);
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QStringList, write);
    connectToSlave();
    Poll &poll = PollStore[1];
    poll.function = QString::number(function);
    poll.val1 = QString::number(row + 1);
    poll.write = QVector<QString>(row + 1, "1").toList();
    poll.desc = QVector<QString>(row + 1, "").toList();
    w<QSpinBox>("spinBox")->setValue(2); // loads poll 2 and draws its block
    QLineEdit *editor = openValueEditor(row);
    QCOMPARE(editor != nullptr, !write.isEmpty());
    if (!editor)
        return;
    editor->selectAll();
    QTest::keyClicks(editor, typed);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(poll.write, write); // committed from the event loop
    QCOMPARE(w<QTreeWidget>("treeWidget")->topLevelItem(0)->child(row)->text(2), write.last());
}

// An empty sequence opens the editor when sequence mode is chosen; closing
// it commits the list to the run, the stored sequence, the table and the queue.
void TestPollEditor::sequenceEditorOpensAndCommits()
{
    connectToSlave();
    driver->click("sequencetoggle");
    QDialog *editor = nullptr;
    QTRY_VERIFY((editor = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                && editor->objectName() == "polls");
    auto *number = editor->findChild<QSpinBox *>("pollnum");
    for (int poll : {5, 2, 5}) {
        number->setValue(poll);
        editor->findChild<QPushButton *>("pushButton")->click();
    }
    QPointer<QDialog> guard(editor);
    editor->findChild<QPushButton *>("backbutton")->click();
    QTRY_VERIFY(guard.isNull());

    QCOMPARE(Sequence, (QList<int>{5, 2, 5}));
    QCOMPARE(topLevelTexts(w<QTreeWidget>("treeWidget"), 0), (QStringList{"2", "5"}));
    QCOMPARE(driver->text("nextpoll"), QString("NEXT:P5"));
    QCOMPARE(driver->text("pollqueue1"), QString("P2"));
    w<QDoubleSpinBox>("timebetweenpolls")->setValue(0.01);
    driver->click("gobutton");
    QVERIFY(pumpUntil([this] { return slave->requests().size() >= 3; }, 5000));
    driver->click("stopbutton");
}

void TestPollEditor::blockOfSelectedPoll_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QStringList>("write");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("shownValues");
    QTest::addColumn<QColor>("valueColour");
    const QColor writeColour(255, 235, 210), readColour(210, 235, 210);
    QTest::newRow("write registers") << "16" << QStringList{"5", "6"} << QStringList{"100", "102", "104"}
                                     << QStringList{"5", "6", "0"} << writeColour;
    QTest::newRow("single coil: one row")
        << "5" << QStringList{"1", "0", "1"} << QStringList{"100"} << QStringList{"1"} << writeColour;
    QTest::newRow("single register: one row")
        << "6" << QStringList{"77"} << QStringList{"100"} << QStringList{"77"} << writeColour;
    QTest::newRow("read, no reply yet") << "3" << QStringList{"9"} << QStringList{"100", "102", "104"}
                                        << QStringList{"0", "0", "0"} << readColour;
}

void TestPollEditor::blockOfSelectedPoll()
{
    QFETCH(QString, function);
    QFETCH(QStringList, write);
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, shownValues);
    QFETCH(QColor, valueColour);

    Poll &poll = PollStore[3];
    poll.function = function;
    poll.val1 = "3";
    poll.startaddr = "100";
    poll.addrperitem = "2";
    poll.write = write;
    poll.desc = QStringList{"first"};
    w<QSpinBox>("spinBox")->setValue(4);

    auto *tree = w<QTreeWidget>("treeWidget");
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem *block = tree->topLevelItem(0);
    QCOMPARE(block->text(0), QString("4"));
    QVERIFY(block->isExpanded());
    QStringList shown;
    for (int i = 0; i < block->childCount(); ++i)
        shown << block->child(i)->text(1);
    QCOMPARE(shown, addresses);
    QCOMPARE(values(block), shownValues);
    QCOMPARE(block->child(0)->text(3), QString("first"));
    QCOMPARE(block->child(0)->background(2).color(), valueColour);
    QCOMPARE(block->child(0)->background(1).color(), QColor(235, 210, 210));
}

QTEST_MAIN(TestPollEditor)
#include "tst_polleditor.moc"
