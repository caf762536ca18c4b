// Editing through the real window: the "POLL" group, the values and
// descriptions typed into the poll table, the sequence editor, and the two
// check boxes that show or hide the table and the log.
#include "support/rows.h"
#include "windowdriver.h"

namespace {

QStringList column(const QTreeWidgetItem *block, int column)
{
    QStringList texts;
    for (int i = 0; block && i < block->childCount(); ++i)
        texts << block->child(i)->text(column);
    return texts;
}

QStringList headers(const QTreeWidget *tree)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(0);
    return texts;
}

} // namespace

class TestEditing : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fillPollDefaults();
        Sequence.clear();
        QVERIFY2(rig.start(false), qPrintable(rig.error));
        driver = std::make_unique<WindowDriver>();
        QVERIFY(rig.connect(*driver));
        tree = driver->widget<QTreeWidget>("treeWidget");
    }
    void cleanup() { driver.reset(); }
    void editor();
    void tableCells();
    void sequenceEditor();
    void panels_data() { addRows("windows/panels.tsv"); }
    void panels();

private:
    template<typename T = QWidget>
    T *w(const char *name) const
    {
        return driver->widget<T>(name);
    }
    void choose(const char *box, const QString &text) const
    {
        w<QComboBox>(box)->setCurrentIndex(w<QComboBox>(box)->findText(text));
    }
    QString shown(const char *box) const { return w<QComboBox>(box)->currentText(); }
    // Double-clicks a cell of the shown block and types into the editor that
    // opens; false when none does.
    bool typeInto(int row, int column, const QString &text) const
    {
        const QRect cell = tree->visualItemRect(tree->topLevelItem(0)->child(row));
        const QPoint at(tree->columnViewportPosition(column) + 5, cell.center().y());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
        auto *editor = tree->viewport()->findChild<QLineEdit *>();
        if (!editor || !editor->isVisible())
            return false;
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        return pumpUntil([editor] { return !editor->isVisible(); }, 1000);
    }

    Rig rig;
    std::unique_ptr<WindowDriver> driver;
    QTreeWidget *tree = nullptr;
};

// Poll 2 made a Float32 write of three values, two addresses each; each
// control stores its poll, and Single Poll sends what was typed.
void TestEditing::editor()
{
    QCOMPARE(QStringList({shown("fucnum"), w<QLabel>("addressType")->text(), w<QLabel>("spinName")->text(),
                          shown("ordercombo"), QString::number(w<QComboBox>("ordercombo")->count())}),
             QStringList({"03 - Read Holding Reg", "Reg Addr", "# of Items", "10", "2"}));
    w<QSpinBox>("spinBox")->setValue(2);
    choose("fucnum", "16 - Write Reg");
    QCOMPARE(w<QSpinBox>("numreg")->maximum(), 60);
    w<QSpinBox>("slaveaddr")->setValue(17);
    w<QSpinBox>("spinAddrPerItem")->setValue(2);
    w<QSpinBox>("startaddr")->setValue(100);
    choose("datatype", "Float32");
    choose("ordercombo", "1032");
    w<QSpinBox>("numreg")->setValue(3);
    driver->type("descEdit", "setpoints");
    QCOMPARE(recordOf(PollStore[1]), QString("setpoints|17|16|100|2|3|3|1032|3:0,0,0|3:,,"));
    QCOMPARE(recordOf(PollStore[0]), QString("|1|3|1|1|1||10|1:0|1:"));
    const QTreeWidgetItem *block = tree->topLevelItem(0);
    QCOMPARE(QStringList({block->text(0), block->text(2), block->text(3)}),
             QStringList({"2", "Float32", "Function:16 - Write Reg"}));
    QCOMPARE(column(block, 1), QStringList({"100", "102", "104"}));
    QCOMPARE(block->child(1)->background(2).color(), QColor(225, 200, 180));

    QVERIFY(typeInto(0, 2, "1.5") && typeInto(1, 2, "-2.25") && typeInto(0, 3, "valve"));
    QCOMPARE(PollStore[1].write, QStringList({"1.5", "-2.25", "0"}));
    QCOMPARE(PollStore[1].desc, QStringList({"valve", "", ""}));
    driver->click("singlepoll");
    WAIT_FOR(driver->count("numofvalid") == 1, 3000);
    QCOMPARE(rig.slave.requests().value(0).bytes.toHex(' '),
             QByteArray("00 01 00 00 00 13 11 10 00 64 00 06 0c 00 00 3f c0 00 00 c0 10 00 00 00 00"));

    // The order is kept when the new type offers it, else the type's first.
    choose("datatype", "uInt32");
    QCOMPARE(shown("ordercombo"), QString("1032"));
    choose("datatype", "uInt16");
    QCOMPARE(QStringList({shown("ordercombo"), PollStore[1].val3}), QStringList({"10", "10"}));
    // The count's maximum follows the function; a count above it is clamped and stored.
    choose("fucnum", "01 - Read Coil Status");
    QCOMPARE(w<QLabel>("addressType")->text(), QString("Coil Addr"));
    w<QSpinBox>("numreg")->setValue(1500);
    choose("fucnum", "16 - Write Reg");
    QCOMPARE(QStringList({PollStore[1].val1, QString::number(PollStore[1].write.size())}),
             QStringList({"60", "60"}));
    // Coil values other than 0 and 1 become 0 (a text that is no number stays).
    PollStore[1].write = QStringList{"1", "2", "0", "-3", "x"};
    choose("fucnum", "15 - Force Multiple Coils");
    QCOMPARE(PollStore[1].write, QStringList({"1", "0", "0", "0", "x"}));
    QCOMPARE(w<QSpinBox>("numreg")->value(), 5);
    PollStore[1].write = QStringList{"5", "7"};
    choose("fucnum", "05 - Force Single Coil");
    QCOMPARE(PollStore[1].write, QStringList({"0", "7"}));
    QCOMPARE(w<QLabel>("spinName")->text(), QString("# of Coils"));

    // "x8" (hidden, but its slot is reached by a click all the same) clamps at the maximum.
    for (const int start : {1000, 40000}) {
        w<QSpinBox>("startaddr")->setValue(start);
        w<QPushButton>("timeseight")->click();
    }
    QCOMPARE(PollStore[1].startaddr, QString("300000"));
}

// Values are typed only for write functions, a coil value other than 1 as 0;
// a new start address drops the values read from the old one.
void TestEditing::tableCells()
{
    PollStore[2].startaddr = "5";
    w<QSpinBox>("spinBox")->setValue(3);
    driver->click("singlepoll");
    WAIT_FOR(driver->count("numofvalid") == 1, 3000);
    QCOMPARE(column(tree->topLevelItem(0), 2), QStringList{"5"});
    QVERIFY(!typeInto(0, 2, "9"));
    w<QSpinBox>("startaddr")->setValue(6);
    QCOMPARE(driver->window()->pollResponse(3), QByteArray());
    QCOMPARE(column(tree->topLevelItem(0), 2), QStringList{"0"});

    choose("fucnum", "15 - Force Multiple Coils");
    w<QSpinBox>("numreg")->setValue(2);
    QCOMPARE(tree->topLevelItem(0)->text(2), QString("ON/OFF"));
    QVERIFY(typeInto(1, 2, "1") && typeInto(1, 2, "7") && typeInto(0, 2, "1"));
    QCOMPARE(PollStore[2].write, QStringList({"1", "0"}));
    QCOMPARE(column(tree->topLevelItem(0), 2), QStringList({"1", "0"}));
}

// An empty sequence opens the editor when sequence mode is chosen; closing it
// commits the list to the run, the stored sequence, the table and the queue.
void TestEditing::sequenceEditor()
{
    PollStore[1].startaddr = "100";
    PollStore[11].startaddr = "5";
    PollStore[11].val1 = "2";
    PollStore[11].polldesc = "pumps";
    driver->click("sequencetoggle");
    QPointer<QWidget> dialog;
    WAIT_FOR((dialog = openWindow("polls")) != nullptr, 3000);
    QCOMPARE(QApplication::activeModalWidget(), dialog.data());
    auto *number = dialog->findChild<QSpinBox *>("pollnum");
    auto *list = dialog->findChild<QListWidget *>("sequence");
    for (int poll : {12, 2, 12}) {
        number->setValue(poll);
        QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton"), Qt::LeftButton);
    }
    QCOMPARE(list->currentRow(), 2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QStringList info{QString::number(number->value())};
    for (const char *label : {"Poll_Desc", "line1", "line2"})
        info << dialog->findChild<QLabel *>(label)->text();
    QCOMPARE(info, QStringList({"12", "pumps", "Start Address:5", "Function03 - Read Holding Reg"}));
    // Drops on the bin picture reach the list beneath it.
    const QRect bin = dialog->findChild<QWidget *>("bin")->geometry();
    QCOMPARE(dialog->childAt(bin.center()), dialog->findChild<QListWidget *>("listWidget")->viewport());
    QTest::mouseClick(dialog->findChild<QPushButton *>("backbutton"), Qt::LeftButton);
    QVERIFY(dialog.isNull());

    QCOMPARE(Sequence, QList<int>({12, 2, 12}));
    QCOMPARE(headers(tree), QStringList({"2", "12"}));
    QCOMPARE(tree->topLevelItem(1)->background(0).color(), QColor(220, 220, 220));
    QCOMPARE(driver->text("nextpoll") + driver->text("pollqueue1"), QString("NEXT:P12P2"));
    QVERIFY(!w("groupBox")->isEnabled());
    w<QDoubleSpinBox>("timebetweenpolls")->setValue(0.01);
    driver->click("gobutton");
    WAIT_FOR(driver->count("numofvalid") >= 3, 5000);
    driver->click("stopbutton");
    // Each reply lands in its own poll's block.
    QCOMPARE(column(tree->topLevelItem(0), 2) + column(tree->topLevelItem(1), 2),
             QStringList({"100", "5", "6"}));
    driver->click("edittoggle");
    QCOMPARE(headers(tree), QStringList{"1"});
}

// "d" and "l" click Display Table and Message Log, "WxH" resizes the window.
void TestEditing::panels()
{
    for (const QString &step : cell("steps").split(' ')) {
        if (step.contains('x'))
            driver->window()->resize(step.section('x', 0, 0).toInt(), step.section('x', 1).toInt());
        else
            QTest::mouseClick(w(step == "d" ? "displaycheck" : "messagelogcheck"), Qt::LeftButton, {},
                              QPoint(5, 10));
    }
    pumpUntil([] { return false; }, 20);
    const QSize size = driver->window()->size();
    const QStringList results{QString::number(size.width()) + 'x' + QString::number(size.height()),
                              QString::number(w("treeWidget")->isVisible()) + QString::number(w("feedback")->isVisible()),
                              QString::number(w("treeWidget")->width()) + ' '
                                  + QString::number(w("feedback")->width()) + 'x'
                                  + QString::number(w("feedback")->height())};
    QCOMPARE(results, expected());
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
