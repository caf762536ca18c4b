// Editing through the real window: the "POLL" group, the values and
// descriptions typed into the poll table, the sequence editor, and the two
// check boxes that show or hide the table and the log.
#include "support/rows.h"
#include "windowdriver.h"

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
    void editor_data() { addRows("windows/editing.tsv"); }
    void editor();
    void sequenceEditor();
    void replyAfterChoosingAnother();
    void panels_data() { addRows("windows/panels.tsv"); }
    void panels();

private:
    // Double-clicks a cell of the shown block and types into the editor that opens.
    void typeInto(int row, int column, const QString &text) const
    {
        const QRect cell = tree->visualItemRect(tree->topLevelItem(0)->child(row));
        const QPoint at(tree->columnViewportPosition(column) + 5, cell.center().y());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
        // The view deletes its editor once the edit is committed.
        QPointer<QLineEdit> editor = tree->viewport()->findChild<QLineEdit *>();
        if (!editor || !editor->isVisible())
            return; // a cell that takes no text
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        WAIT_FOR(!editor || !editor->isVisible(), 1000);
    }

    Rig rig;
    std::unique_ptr<WindowDriver> driver;
    QTreeWidget *tree = nullptr;
};

// The user's steps on poll 2 ("cell R C=text" types into the table, R and C
// from 0; the others as WindowDriver::act takes them), then the poll, what
// the editor and the table show and any request sent.
void TestEditing::editor()
{
    if (!cell("poll").isEmpty())
        PollStore[1] = pollOf(cell("poll"));
    driver->act("spinBox=2");
    for (const QString &step : cell("steps").split(';', Qt::SkipEmptyParts)) {
        if (step.startsWith("cell "))
            typeInto(step.section(' ', 1, 1).toInt(), step.section(' ', 2).section('=', 0, 0).toInt(),
                     step.section('=', 1));
        else
            driver->act(step);
        WAIT_FOR(driver->widget("singlepoll")->isEnabled(), 3000);
    }
    auto *count = driver->widget<QSpinBox>("numreg");
    auto *order = driver->widget<QComboBox>("ordercombo");
    QStringList orders;
    for (int i = 0; i < order->count(); ++i)
        orders << order->itemText(i);
    const QTreeWidgetItem *block = tree->topLevelItem(0);
    QStringList rows{block->text(0) + ' ' + block->text(2) + ' ' + block->text(3) + ' '
                     + block->child(block->childCount() - 1)->background(2).color().name()};
    for (int i = 0; i < block->childCount(); ++i)
        rows << block->child(i)->text(1) + '=' + block->child(i)->text(2) + '/' + block->child(i)->text(3);
    const QString editor = texts(driver->text("addressType"), driver->text("spinName"), count->maximum(),
                                 count->text(), orders.join(','), order->currentText())
                               .join('|');
    QCOMPARE(QStringList({recordOf(PollStore[1]), editor, rows.join(','),
                          rig.slave.requests().value(0).bytes.toHex(' '),
                          driver->window()->pollResponse(2).toHex(' ')}),
             expected());
}

// An empty sequence opens the editor when sequence mode is chosen; closing it
// commits the list to the run, the stored sequence, the table and the queue.
void TestEditing::sequenceEditor()
{
    PollStore[1].startaddr = "100";
    PollStore[11] = pollOf("pumps|1|3|5|1|2||10|1:0|1:");
    driver->click("sequencetoggle");
    QPointer<QWidget> dialog;
    WAIT_FOR((dialog = openWindow("polls")) != nullptr, 3000);
    QCOMPARE(QApplication::activeModalWidget(), dialog.data());
    auto *number = dialog->findChild<QSpinBox *>("pollnum");
    auto *list = dialog->findChild<QListWidget *>("sequence");
    for (int poll : {12, 2, 12}) {
        number->setValue(poll);
        act(dialog, "pushButton");
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
    act(dialog, "backbutton");
    QVERIFY(dialog.isNull());

    const auto headers = [this] {
        QStringList texts;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            texts << tree->topLevelItem(i)->text(0);
        return texts;
    };
    QCOMPARE(Sequence, QList<int>({12, 2, 12}));
    QCOMPARE(headers(), QStringList({"2", "12"}));
    QCOMPARE(tree->topLevelItem(1)->background(0).color(), QColor(220, 220, 220));
    QCOMPARE(driver->text("nextpoll") + driver->text("pollqueue1"), QString("NEXT:P12P2"));
    QVERIFY(!driver->widget("groupBox")->isEnabled());
    // Each reply lands in its own poll's block, also when Poll Time 0 sends
    // the next poll before the reply is drawn: after one reply, poll 12's.
    driver->act("timebetweenpolls=0");
    driver->click("gobutton");
    WAIT_FOR(driver->count("numofvalid") >= 1, 5000);
    driver->click("stopbutton");
    pumpUntil([] { return false; }, 200);
    QCOMPARE(column(tree->topLevelItem(1), 2), QStringList({"5", "6"}));
    // GO pressed again while a reply is awaited sends nothing over it: every
    // request but the one STOP drops gets its reply (from a slave 20 ms late).
    Rig late;
    QVERIFY2(late.start(false, {"--delay", "20"}), qPrintable(late.error));
    driver->trigger("actionMenu");
    QVERIFY(late.connect(*driver));
    driver->click("reset");
    for (int click = 0; click < 20; ++click) {
        driver->click("gobutton");
        pumpUntil([] { return false; }, 5);
    }
    WAIT_FOR(driver->count("numofvalid") >= 4, 5000);
    driver->click("stopbutton");
    pumpUntil([] { return false; }, 200);
    QCOMPARE(column(tree->topLevelItem(0), 2) + column(tree->topLevelItem(1), 2),
             QStringList({"100", "5", "6"}));
    const int sent = driver->count("numofpolls");
    QVERIFY2(sent - driver->count("numofvalid") <= 1 && driver->count("numoferror") == 0,
             qPrintable(driver->counters()));
    QCOMPARE(late.slave.requests().size(), sent);
    driver->click("edittoggle");
    QCOMPARE(headers(), QStringList{"1"});
}

// A reply is filed, logged and drawn under the poll sent, also when the user
// has chosen another poll while it was on its way.
void TestEditing::replyAfterChoosingAnother()
{
    PollStore[1].startaddr = "100";
    driver->click("singlepoll");
    driver->act("spinBox=2");
    WAIT_FOR(driver->count("numofvalid") == 1, 3000);
    QCOMPARE(driver->window()->pollResponse(1).toHex() + '|' + driver->window()->pollResponse(2).toHex(),
             QByteArray("0001|"));
    QCOMPARE(column(tree->topLevelItem(0), 2), QStringList{"0"});
    QVERIFY2(driver->log().contains("Poll:1-"), qPrintable(driver->log()));
}

// "d" and "l" click Display Table and Message Log, "WxH" resizes the window.
void TestEditing::panels()
{
    for (const QString &step : cell("steps").split(' ')) {
        if (step.contains('x'))
            driver->window()->resize(step.section('x', 0, 0).toInt(), step.section('x', 1).toInt());
        else
            QTest::mouseClick(driver->widget(step == "d" ? "displaycheck" : "messagelogcheck"),
                              Qt::LeftButton, {}, QPoint(5, 10));
    }
    pumpUntil([] { return false; }, 20);
    const QSize size = driver->window()->size();
    const QWidget *table = driver->widget("treeWidget"), *log = driver->widget("feedback");
    QCOMPARE(QStringList({QString("%1x%2").arg(size.width()).arg(size.height()),
                          QString("%1%2").arg(table->isVisible()).arg(log->isVisible()),
                          QString("%1 %2x%3").arg(table->width()).arg(log->width()).arg(log->height())}),
             expected());
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
