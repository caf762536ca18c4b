#include "app/pollstore.h"
#include "storage/polls.h"
#include "support/formcheck.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <memory>

using Numbers = QList<int>;
using Rows = QList<int>;

namespace {

QStringList texts(const QListWidget *list)
{
    QStringList found;
    for (int row = 0; row < list->count(); ++row)
        found << list->item(row)->text();
    return found;
}

QStringList entriesFor(const Numbers &numbers)
{
    QStringList entries;
    for (int number : numbers)
        entries << "P" + QString::number(number);
    return entries;
}

} // namespace

class TestPolls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void window();
    void openClose();
    void pollInfo_data();
    void pollInfo();
    void add();
    void drags_data();
    void drags();
    void picture();

private:
    // Opens the dialog on a working sequence as the main window does; the
    // destroyed() handler stands in for its Sequence_Destroyed.
    void make(const Numbers &initial)
    {
        working = initial;
        destroyedCount = 0;
        dialog = new polls(working);
        connect(dialog, &QObject::destroyed, this, [this] {
            Sequence = working;
            ++destroyedCount;
        });
    }
    void show()
    {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
    }
    // Closes through "back", clicked as a user does.
    void back() { QTest::mouseClick(widget("backbutton"), Qt::LeftButton); }
    template<typename T = QWidget>
    T *widget(const char *name) const
    {
        return namedChild<T>(dialog, name);
    }
    QListWidget *sequence() const { return widget<QListWidget>("sequence"); }
    void typePollNumber(int number)
    {
        auto *box = widget<QSpinBox>("pollnum");
        box->selectAll();
        QTest::keyClicks(box, QString::number(number));
        QCOMPARE(box->value(), number);
    }
    void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QListWidget *list = sequence();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualItemRect(list->item(row)).center());
    }
    // A plain click on the first row, Ctrl-clicks on the others.
    void selectRows(const Rows &rows)
    {
        for (int i = 0; i < rows.size(); ++i)
            clickRow(rows[i], i == 0 ? Qt::NoModifier : Qt::ControlModifier);
        Rows selected;
        for (const QModelIndex &index : sequence()->selectionModel()->selectedRows())
            selected << index.row();
        std::sort(selected.begin(), selected.end());
        Rows wanted = rows;
        std::sort(wanted.begin(), wanted.end());
        QCOMPARE(selected, wanted);
    }
    Qt::DropAction dragSelectedTo(const QPoint &pos);

    Numbers working;
    QPointer<polls> dialog;
    int destroyedCount = 0;
    QString startDir;
    QTemporaryDir emptyDir;
};

// Drags the selected entries onto a point of the dialog and answers the drop's
// action (IgnoreAction when refused). No QDrag can run on the offscreen
// platform, so this plays its two parts: the drag events go, proposing the
// list's default drop action, to the widget the window would give them (the
// first one under the point that accepts drops), and, as
// QAbstractItemView::startDrag does after a move, the dragged entries then
// leave the list.
Qt::DropAction TestPolls::dragSelectedTo(const QPoint &pos)
{
    QListWidget *list = sequence();
    QModelIndexList indexes = list->selectionModel()->selectedRows();
    std::sort(indexes.begin(), indexes.end());
    const QList<QPersistentModelIndex> dragged(indexes.begin(), indexes.end());
    std::unique_ptr<QMimeData> mime(list->model()->mimeData(indexes));

    QWidget *target = dialog->childAt(pos);
    while (target && !target->acceptDrops())
        target = target->parentWidget();
    if (!target)
        return Qt::IgnoreAction;
    const QPoint local = target->mapFrom(dialog, pos);
    const Qt::DropActions actions(list->defaultDropAction());
    QDragEnterEvent enter(local, actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDragMoveEvent move(local, actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    if (!move.isAccepted())
        return Qt::IgnoreAction;
    QDropEvent drop(local, actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    if (!drop.isAccepted())
        return Qt::IgnoreAction;
    if (drop.dropAction() != Qt::MoveAction)
        return drop.dropAction();
    // Qt's own choice for the source list: remove the rows, or in overwrite
    // mode only empty them.
    for (int i = dragged.size() - 1; i >= 0; --i) {
        if (list->dragDropOverwriteMode()) {
            QMap<int, QVariant> roles = list->model()->itemData(dragged[i]);
            for (QVariant &value : roles)
                value = QVariant();
            list->model()->setItemData(dragged[i], roles);
        } else {
            list->model()->removeRow(dragged[i].row());
        }
    }
    return Qt::MoveAction;
}

void TestPolls::initTestCase()
{
    QVERIFY(emptyDir.isValid());
    startDir = QDir::currentPath();
}

void TestPolls::init()
{
    fillPollDefaults();
    Sequence = {55, 56};
    // Where scripts/run.sh starts pollwright, with the build's copy of bin.png.
    QVERIFY(QDir::setCurrent(POLLS_APP_DIR));
}

void TestPolls::cleanup()
{
    delete dialog;
}

void TestPolls::cleanupTestCase()
{
    QDir::setCurrent(startDir);
}

// The window, and the settings of the two lists that only a real drag (which
// the offscreen platform cannot run) would otherwise show.
void TestPolls::window()
{
    make({});
    QCOMPARE(formMismatches(dialog, {{"sequence", "QListWidget", ""},
                                     {"listWidget", "QListWidget", ""},
                                     {"bin", "QLabel", ""},
                                     {"groupBox", "QGroupBox", "Poll"},
                                     {"pollnum", "QSpinBox", "1..99"},
                                     {"pushButton", "QPushButton", "Add"},
                                     {"Poll_Desc", "QLabel", "No Description"},
                                     {"line1", "QLabel", "Start Address:1"},
                                     {"line2", "QLabel", "Function03 - Read Holding Reg"},
                                     {"backbutton", "QPushButton", "back"}}),
             QString());
    QCOMPARE(dialog->windowTitle(), QString("Sequence"));
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    QVERIFY(showsAppIcon(dialog));

    QListWidget *list = sequence();
    QVERIFY(list->dragEnabled());
    QCOMPARE(list->dragDropMode(), QAbstractItemView::DragDrop);
    QCOMPARE(list->defaultDropAction(), Qt::MoveAction);
    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    auto *bin = widget<QListWidget>("listWidget");
    QCOMPARE(bin->dragDropMode(), QAbstractItemView::DropOnly);
    QCOMPARE(bin->selectionMode(), QAbstractItemView::NoSelection);
}

// Entries from the working sequence; every way of closing commits the list
// unchanged, after which the window's handler copies it into Sequence.
void TestPolls::openClose()
{
    for (const QString how : {"back", "close", "escape", "delete"}) {
        const Numbers initial = how == "close" ? Numbers{} : Numbers{1, 99, 1, 42};
        make(initial);
        show();
        QCOMPARE(texts(sequence()), entriesFor(initial));
        QCOMPARE(widget<QSpinBox>("pollnum")->value(), 1);
        if (how == "back")
            back();
        else if (how == "close")
            QVERIFY(dialog->close());
        else if (how == "escape")
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            delete dialog;
        // Closing deletes later; no event loop runs here to do it.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(!dialog, qPrintable(how));
        QCOMPARE(destroyedCount, 1);
        QCOMPARE(working, initial);
        QCOMPARE(Sequence, initial);
    }
}

// The "Poll" group for a poll reached at opening (poll 1), by typing its
// number, or by clicking an entry added for it; texts fit their labels.
void TestPolls::pollInfo_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("poll"); // description, start address, function
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("opening, described")
        << "opening" << QStringList{"Boiler temps", "40001", "16"}
        << QStringList{"Boiler temps", "Start Address:40001", "Function16 - Write Reg"};
    QTest::newRow("typed, longest function")
        << "typed" << QStringList{"", "65535", "6"}
        << QStringList{"No Description", "Start Address:65535", "Function06 - Preset Single Register"};
    QTest::newRow("entry clicked, code not in table")
        << "entry clicked" << QStringList{"Odd", "", "7"} << QStringList{"Odd", "Start Address:", "Function"};
}

void TestPolls::pollInfo()
{
    QFETCH(QString, how);
    QFETCH(QStringList, poll);
    QFETCH(QStringList, shown);

    const int number = how == "opening" ? 1 : 42;
    pollNumber(number)->polldesc = poll[0];
    pollNumber(number)->startaddr = poll[1];
    pollNumber(number)->function = poll[2];
    if (number != 1)
        pollNumber(1)->polldesc = "First";

    make({5});
    show();
    if (how == "typed") {
        typePollNumber(number);
    } else if (how == "entry clicked") {
        // Poll 1 on show when the new entry is clicked.
        typePollNumber(number);
        QTest::mouseClick(widget("pushButton"), Qt::LeftButton);
        typePollNumber(1);
        QCOMPARE(widget<QLabel>("Poll_Desc")->text(), QString("First"));
        clickRow(1);
        QCOMPARE(sequence()->item(1)->text(), "P" + QString::number(number));
    }
    QCOMPARE(widget<QSpinBox>("pollnum")->value(), number);
    const char *labels[] = {"Poll_Desc", "line1", "line2"};
    for (int i = 0; i < 3; ++i)
        QCOMPARE(widget<QLabel>(labels[i])->text(), shown[i]);

    REQUIRE_FORM_FONT(dialog);
    for (const char *name : labels) {
        auto *label = widget<QLabel>(name);
        const QRect box = label->contentsRect();
        const int flags = label->wordWrap() ? Qt::TextWordWrap : Qt::TextSingleLine;
        const QRect needed = label->fontMetrics().boundingRect(box, flags, label->text());
        QVERIFY2(needed.width() <= box.width() && needed.height() <= box.height(), name);
    }
}

// "Add" with poll numbers typed into the dialog's own box: each entry goes
// last, a number again too, and alone becomes current and selected; the
// working sequence changes only when the dialog goes.
void TestPolls::add()
{
    make({3, 1});
    show();
    QListWidget *list = sequence();
    Numbers expected = working;
    for (int number : {99, 5, 5}) {
        list->selectAll();
        typePollNumber(number);
        QTest::mouseClick(widget("pushButton"), Qt::LeftButton);
        expected << number;
        QCOMPARE(texts(list), entriesFor(expected));
        QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{list->item(list->count() - 1)});
        QCOMPARE(list->currentRow(), list->count() - 1);
        QCOMPARE(working, Numbers({3, 1}));
    }
    back();
    QVERIFY(!dialog);
    QCOMPARE(working, expected);
    QCOMPARE(Sequence, expected);
}

// Selected entries dragged onto the bin picture land in the list beneath it,
// leave the sequence and stay hidden under the picture. Moved within the
// list, entries keep their order: through the list's model (its move, which
// QListWidget's own drop uses), or dropped at the top or below the last one.
void TestPolls::drags_data()
{
    QTest::addColumn<QString>("target"); // "bin", "top", "end" or "model"
    QTest::addColumn<Numbers>("initial");
    QTest::addColumn<QList<Rows>>("drags"); // rows selected for each drag
    QTest::addColumn<Numbers>("expected");

    QTest::newRow("bin, every entry one at a time")
        << "bin" << Numbers{4, 4, 9} << QList<Rows>{{0}, {0}, {0}} << Numbers{};
    QTest::newRow("bin, two apart") << "bin" << Numbers{1, 2, 3, 4} << QList<Rows>{{3, 1}} << Numbers{1, 3};
    QTest::newRow("model move, two apart to the top")
        << "model" << Numbers{1, 2, 3, 4, 5} << QList<Rows>{{4, 2}} << Numbers{3, 5, 1, 2, 4};
    QTest::newRow("drop, two apart to the top")
        << "top" << Numbers{1, 2, 3, 4, 5} << QList<Rows>{{4, 2}} << Numbers{3, 5, 1, 2, 4};
    QTest::newRow("drop, two to the end")
        << "end" << Numbers{1, 2, 3, 4} << QList<Rows>{{2, 0}} << Numbers{2, 4, 1, 3};
    QTest::newRow("drop, same number twice")
        << "top" << Numbers{6, 6, 2} << QList<Rows>{{1, 2}} << Numbers{6, 2, 6};
}

void TestPolls::drags()
{
    QFETCH(QString, target);
    QFETCH(Numbers, initial);
    QFETCH(QList<Rows>, drags);
    QFETCH(Numbers, expected);

    make(initial);
    show();
    QListWidget *list = sequence();
    auto *bin = widget<QListWidget>("listWidget");
    const QRect binArea = widget("bin")->geometry();
    QCOMPARE(dialog->childAt(binArea.center()), bin->viewport());
    const QImage binPicture = dialog->grab(binArea).toImage();
    int dropped = 0;
    for (const Rows &rows : drags) {
        selectRows(rows);
        if (target == "model") {
            QModelIndexList indexes = list->selectionModel()->selectedRows();
            std::sort(indexes.begin(), indexes.end());
            const QList<QPersistentModelIndex> moving(indexes.begin(), indexes.end());
            // Top one first, each next one just below the one before.
            for (int i = 0; i < moving.size(); ++i)
                QVERIFY(list->model()->moveRows(QModelIndex(), moving[i].row(), 1, QModelIndex(), i));
            continue;
        }
        const QRect first = list->visualItemRect(list->item(0));
        const QPoint inList = target == "top" ? QPoint(first.center().x(), first.top() + 1)
                                              : QPoint(10, list->viewport()->height() - 5);
        const QPoint at = target == "bin" ? binArea.center() : list->viewport()->mapTo(dialog, inList);
        QCOMPARE(dragSelectedTo(at), Qt::MoveAction);
        dropped += rows.size();
    }
    QCOMPARE(texts(list), entriesFor(expected));
    QCOMPARE(bin->count(), target == "bin" ? dropped : 0);
    QCOMPARE(dialog->grab(binArea).toImage(), binPicture);
    QCOMPARE(working, initial);
    back();
    QVERIFY(!dialog);
    QCOMPARE(working, expected);
    QCOMPARE(Sequence, expected);
}

// bin.png comes from the working directory: the build's copy beside
// pollwright, or none; without it only the picture is missing.
void TestPolls::picture()
{
    const QImage source(POLLS_BIN_SOURCE);
    QVERIFY(!source.isNull());
    QVERIFY(!source.hasAlphaChannel()); // dropped entries must not show through
    for (const bool present : {true, false}) {
        if (!present)
            QVERIFY(QDir::setCurrent(emptyDir.path()));
        make({3, 8});
        show();
        const QImage shown = widget<QLabel>("bin")->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(shown.isNull(), !present);
        if (present)
            QCOMPARE(shown.convertToFormat(source.format()), source);
        selectRows({0});
        QCOMPARE(dragSelectedTo(widget("bin")->geometry().center()), Qt::MoveAction);
        back();
        QCOMPARE(working, Numbers{8});
    }
}

QTEST_MAIN(TestPolls)
#include "tst_polls.moc"
