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
    void editor_data() { addRows("windows/editing.tsv"); }
    void editor();
    void sequenceEditor();
    void panels_data() { addRows("windows/panels.tsv"); }
    void panels();

private:
    template<typename T = QWidget>
    T *w(const char *name) const
    {
        return driver->widget<T>(name);
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
        // The view deletes its editor once the edit is committed.
        QPointer<QLineEdit> editor = tree->viewport()->findChild<QLineEdit *>();
        if (!editor || !editor->isVisible())
            return false;
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        return pumpUntil([editor] { return !editor || !editor->isVisible(); }, 1000);
    }

    Rig rig;
    std::unique_ptr<WindowDriver> driver;
    QTreeWidget *tree = nullptr;
};

// The user's steps on poll 2 ("name=value" sets the named control, a name
// alone clicks it, "cell R C=text" types into the table, R and C from 0),
// then the poll, what the editor and the table show and any request sent.
void TestEditing::editor()
{
    if (!cell("poll").isEmpty())
        PollStore[1] = pollOf(cell("poll"));
    w<QSpinBox>("spinBox")->setValue(2);
    for (const QString &step : cell("steps").split(';', Qt::SkipEmptyParts)) {
        const QString name = step.section('=', 0, 0), value = step.section('=', 1);
        QWidget *control = w(qPrintable(name));
        if (name.startsWith("cell "))
            typeInto(name.section(' ', 1, 1).toInt(), name.section(' ', 2).toInt(), value);
        else if (auto *spin = qobject_cast<QSpinBox *>(control))
            spin->setValue(value.toInt());
        else if (auto *box = qobject_cast<QComboBox *>(control))
            box->setCurrentIndex(box->findText(value));
        else if (qobject_cast<QLineEdit *>(control))
            driver->type(qPrintable(name), value);
        else
            qobject_cast<QAbstractButton *>(control)->click();
        if (name == "singlepoll")
            WAIT_FOR(w("singlepoll")->isEnabled(), 3000);
    }
    auto *count = w<QSpinBox>("numreg");
    QStringList orders;
    for (int i = 0; i < w<QComboBox>("ordercombo")->count(); ++i)
        orders << w<QComboBox>("ordercombo")->itemText(i);
    const QTreeWidgetItem *block = tree->topLevelItem(0);
    QStringList rows{block->text(0) + ' ' + block->text(2) + ' ' + block->text(3) + ' '
                     + block->child(block->childCount() - 1)->background(2).color().name()};
    for (int i = 0; i < block->childCount(); ++i)
        rows << block->child(i)->text(1) + '=' + block->child(i)->text(2) + '/' + block->child(i)->text(3);
    const QStringList results{
        recordOf(PollStore[1]),
        QStringList({w<QLabel>("addressType")->text(), w<QLabel>("spinName")->text(),
                     QString::number(count->maximum()), count->text(), orders.join(','), shown("ordercombo")})
            .join('|'),
        rows.join(','), QString::fromLatin1(rig.slave.requests().value(0).bytes.toHex(' ')),
        QString::fromLatin1(driver->window()->pollResponse(2).toHex(' '))};
    QCOMPARE(results, expected());
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
    const QStringList results{
        QString::number(size.width()) + 'x' + QString::number(size.height()),
        QString::number(w("treeWidget")->isVisible()) + QString::number(w("feedback")->isVisible()),
        QString::number(w("treeWidget")->width()) + ' ' + QString::number(w("feedback")->width()) + 'x'
            + QString::number(w("feedback")->height())};
    QCOMPARE(results, expected());
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
