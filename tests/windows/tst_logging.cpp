#include "modbus/connectionsettings.h"
#include "storage/settingsfile.h"
#include "support/dialogscript.h"
#include "support/formcheck.h"
#include "windows/logging.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

// A name users type: spaces, both kinds of quote, letters beyond ASCII.
const QString odd = "say \"hi\" 'Größe' ñ";
const QString noDirectory = "No Directory: A directory to store the logs has to be specified";
const QString cantRename = "Rename Folder: Can't rename this.";
const QString notEmpty = "Delete Folder: Folder needs to be empty to be deleted.";

QString deleteQuestion(const QString &name)
{
    return "Delete Folder: Are you sure you want to delete the \"" + name + "\" folder?";
}

// Every entry below root, relative to it, sorted: what an action changed.
QStringList entries(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(root).relativeFilePath(it.next());
    found.sort();
    return found;
}

QStringList minus(QStringList a, const QStringList &b)
{
    for (const QString &s : b)
        a.removeAll(s);
    return a;
}

} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void window();
    void startState_data();
    void startState();
    void ok_data();
    void ok();
    void contextMenu_data();
    void contextMenu();
    void folderMenu_data();
    void folderMenu();
    void nameColumn();
    void closedFolderStaysClosed();

private:
    // Opens the window as the main window does: no parent, shown at once.
    bool open()
    {
        win = new logging(nullptr);
        win->move(40, 30);
        win->show();
        return QTest::qWaitForWindowExposed(win);
    }
    template<typename T = QWidget>
    T *widget(const char *name) const
    {
        return namedChild<T>(win, name);
    }
    QTreeView *tree() const { return widget<QTreeView>("treeView"); }
    QFileSystemModel *model() const { return qobject_cast<QFileSystemModel *>(tree()->model()); }
    QMenu *menu() const { return win->findChild<QMenu *>(); }
    QString logpath() const { return widget<QLineEdit>("logpath")->text(); }
    // A folder of the test tree by its relative name; "" stays empty, "/" is
    // the root, "@task" this process's task folder under /proc, where even
    // root can create, rename and remove nothing.
    QString at(const QString &name) const
    {
        if (name == "@task")
            return "/proc/" + QString::number(QCoreApplication::applicationPid()) + "/task";
        return name.isEmpty() || name == "/" ? name : base->path() + "/" + name;
    }
    QString settingsFile() const { return home.path() + "/.quarvel/pollwright-settings.xml"; }

    // The row of path in the tree's viewport, the folders above it opened and
    // its own folder's rows loaded (the model reads folders in a thread).
    QRect row(const QString &path)
    {
        const QPersistentModelIndex index = model()->index(path);
        tree()->scrollTo(index);
        const int onDisk =
            QDir(QFileInfo(path).path()).entryList(QDir::AllDirs | QDir::NoDotAndDotDot).size();
        if (!index.isValid()
            || (path != "/" && !QTest::qWaitFor([&] { return model()->rowCount(index.parent()) == onDisk; })))
            return QRect();
        QCoreApplication::processEvents();
        tree()->scrollTo(index);
        const QRect rect = tree()->visualRect(index);
        return tree()->indexAt(rect.center()) == index ? rect : QRect();
    }
    bool click(const QString &path)
    {
        const QRect rect = row(path);
        if (rect.isValid())
            QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rect.center());
        return rect.isValid();
    }
    // What the viewport gets from a right click or the menu key, without the
    // mouse press that would first make the row under the pointer current.
    void contextMenuAt(const QPoint &pos)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree()->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(tree()->viewport(), &event);
    }
    void toggleBox()
    {
        auto *box = widget<QCheckBox>("loggingcheck");
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    // Through the window system, as a user clicks it. outlived tells whether
    // the window still stood when the button's own slot returned: the slot
    // connected here runs after it, and not at all once the window is gone.
    void press(const char *button)
    {
        auto *w = widget<QPushButton>(button);
        outlived = false;
        connect(w, &QPushButton::clicked, this, [this] { outlived = !win.isNull(); });
        QTest::mouseClick(win->windowHandle(), Qt::LeftButton, {}, w->mapTo(win, w->rect().center()));
    }
    QTemporaryDir home;
    std::unique_ptr<QTemporaryDir> base;
    std::unique_ptr<DialogScript> script;
    QPointer<logging> win;
    bool outlived = false;
};

void TestLogging::initTestCase()
{
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));
    QCOMPARE(settingsFilePath(), settingsFile());
}

// A fresh folder tree per test, with a file that the tree must not list.
void TestLogging::init()
{
    Connection = ConnectionSettings();
    QFile::remove(settingsFile());
    base.reset(new QTemporaryDir(home.path() + "/logs-XXXXXX"));
    QVERIFY(base->isValid());
    for (const QString &name : {QString("plain"), odd, QString("empty"), QString("full/inner")})
        QVERIFY(QDir().mkpath(at(name)));
    for (const char *file : {"full/notes.txt", "report.txt"}) {
        QFile f(at(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    script.reset(new DialogScript);
}

void TestLogging::cleanup()
{
    delete win;
    script.reset();
    base.reset();
}

void TestLogging::window()
{
    QVERIFY(open());
    QCOMPARE(formMismatches(win, {{"loggingcheck", "QCheckBox", "Logging Enabled"},
                                  {"treeView", "QTreeView", ""},
                                  {"label", "QLabel", "Logging Directory"},
                                  {"logpath", "QLineEdit", ""},
                                  {"okbutton", "QPushButton", "ok"},
                                  {"cancelbutton", "QPushButton", "cancel"}}),
             QString());
    QCOMPARE(win->windowTitle(), QString("Report Logging"));
    QVERIFY(win->isWindow() && win->windowModality() == Qt::NonModal);
    QVERIFY(showsAppIcon(win));
    QVERIFY(widget<QLineEdit>("logpath")->isReadOnly());
    for (int column = 0; column < model()->columnCount(); ++column)
        QCOMPARE(tree()->isColumnHidden(column), column > 0);

    // Folders only: the file beside them is not listed.
    QVERIFY(row(at("plain")).isValid());
    QStringList listed;
    const QModelIndex folder = model()->index(base->path());
    for (int i = 0; i < model()->rowCount(folder); ++i)
        listed << model()->index(i, 0, folder).data().toString();
    listed.sort();
    QCOMPARE(listed, QStringList({"empty", "full", "plain", odd}));
    QVERIFY(!QFile::exists(settingsFile()));
}

// The tree starts at the stored folder (home when none), the box and the
// field show the stored settings.
void TestLogging::startState_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("current"); // "~": home; "": nothing current

    QTest::newRow("first run") << false << QString() << "~";
    QTest::newRow("on, odd name") << true << odd << odd;
    QTest::newRow("folder gone") << true << "gone" << QString();
}

void TestLogging::startState()
{
    QFETCH(bool, on);
    QFETCH(QString, folder);
    QFETCH(QString, current);

    Connection.loggingOn = on;
    Connection.logFolder = at(folder);
    QVERIFY(open());
    QCOMPARE(widget<QCheckBox>("loggingcheck")->isChecked(), on);
    QCOMPARE(logpath(), at(folder));
    const QModelIndex index = tree()->currentIndex();
    QCOMPARE(index.isValid(), !current.isEmpty());
    if (index.isValid())
        QCOMPARE(model()->filePath(index), current == "~" ? home.path() : at(current));
}

// "ok" stores the box and the folder last clicked (never the root), writes
// the settings file and the window is gone at once; a checked box without a
// folder only warns. "cancel", and the close button after the warning,
// store and write nothing.
void TestLogging::ok_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("toggle"); // the box is clicked once
    QTest::addColumn<QStringList>("clicked");
    QTest::addColumn<bool>("vanish"); // the last clicked folder is removed before "ok"
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("stores");

    using L = QStringList;
    QTest::newRow("checked, no folder") << false << "" << true << L() << false << "okbutton" << false;
    QTest::newRow("checked, root clicked") << false << "" << true << L{"/"} << false << "okbutton" << false;
    QTest::newRow("clear, no folder") << false << "" << false << L() << false << "okbutton" << true;
    QTest::newRow("switched off, folder kept")
        << true << "plain" << true << L() << false << "okbutton" << true;
    QTest::newRow("root keeps the stored")
        << true << "plain" << false << L{"/"} << false << "okbutton" << true;
    QTest::newRow("nested, then odd")
        << false << "plain" << true << L{"full", "full/inner", odd} << false << "okbutton" << true;
    QTest::newRow("chosen folder gone") << false << "" << true << L{"empty"} << true << "okbutton" << true;
    QTest::newRow("cancel") << true << "plain" << true << L{odd} << false << "cancelbutton" << false;
}

void TestLogging::ok()
{
    QFETCH(bool, on);
    QFETCH(QString, folder);
    QFETCH(bool, toggle);
    QFETCH(QStringList, clicked);
    QFETCH(bool, vanish);
    QFETCH(QString, button);
    QFETCH(bool, stores);

    Connection.loggingOn = on;
    Connection.logFolder = at(folder);
    QVERIFY(open());
    if (toggle)
        toggleBox();
    QString shown = folder;
    for (const QString &name : clicked) {
        QVERIFY2(click(at(name)), qPrintable(name));
        shown = name == "/" ? shown : name;
    }
    QCOMPARE(logpath(), at(shown));
    if (vanish)
        QVERIFY(QDir().rmdir(at(clicked.last())));
    QSignalSpy destroyed(win.data(), &QObject::destroyed);
    press(qPrintable(button));

    if (!stores) {
        const bool warned = button == "okbutton";
        QCOMPARE(script->titles(), warned ? QStringList{noDirectory} : QStringList());
        QCOMPARE(!win, !warned);
        QCOMPARE(outlived, warned); // "cancel" deletes the window at once
        if (win) {
            QVERIFY(win->isVisible());
            win->close();
            QTRY_VERIFY(!win);
        }
        QCOMPARE(Connection.loggingOn, on);
        QCOMPARE(Connection.logFolder, at(folder));
        QVERIFY(!QFile::exists(settingsFile()));
        return;
    }
    QVERIFY(script->shown.isEmpty());
    QVERIFY(!win);
    QVERIFY(!outlived);
    QCOMPARE(destroyed.count(), 1);
    const bool checked = on != toggle;
    for (int fromFile = 0; fromFile < 2; ++fromFile) {
        QCOMPARE(Connection.loggingOn, checked);
        QCOMPARE(Connection.logFolder, at(shown));
        Connection = ConnectionSettings();
        loadSettings();
    }
}

// The menu comes only for a right click on the folder already chosen, and
// goes when that folder vanishes while it is open.
void TestLogging::contextMenu_data()
{
    QTest::addColumn<QString>("start");   // stored folder
    QTest::addColumn<QString>("clicked"); // left-clicked first
    QTest::addColumn<QString>("target");  // right-clicked; "": below the rows
    QTest::addColumn<bool>("vanish");     // the target is removed from disk once the menu is up
    QTest::addColumn<bool>("shown");

    auto row = [](const char *tag, const QString &start, const char *clicked, const QString &target,
                  bool vanish, bool shown) {
        QTest::newRow(tag) << start << QString(clicked) << target << vanish << shown;
    };
    row("chosen folder", "", "plain", "plain", false, true);
    row("stored folder, no click", odd, "", odd, false, true);
    row("other folder", "", "plain", odd, false, false);
    row("below the rows", "", "plain", "", false, false);
    row("nothing current, below the rows", "gone", "", "", false, false);
    row("chosen folder vanishes", "", "empty", "empty", true, false);
}

void TestLogging::contextMenu()
{
    QFETCH(QString, start);
    QFETCH(QString, clicked);
    QFETCH(QString, target);
    QFETCH(bool, vanish);
    QFETCH(bool, shown);

    Connection.logFolder = at(start);
    QVERIFY(open());
    if (!clicked.isEmpty())
        QVERIFY(click(at(clicked)));
    QPoint pos;
    if (target.isEmpty()) {
        tree()->collapse(model()->index("/")); // leaves room below the last row
        pos = QPoint(20, tree()->viewport()->height() - 5);
        QVERIFY(!tree()->indexAt(pos).isValid());
    } else {
        const QRect rect = row(at(target));
        QVERIFY(rect.isValid());
        pos = rect.center();
    }
    contextMenuAt(pos);
    QVERIFY(menu());
    if (vanish) {
        QVERIFY(menu()->isVisible());
        QVERIFY(QDir().rmdir(at(target)));
        QTRY_VERIFY(model()->filePath(tree()->currentIndex()) != at(target));
    }
    QCOMPARE(menu()->isVisible(), shown);
    QStringList texts;
    for (QAction *action : menu()->actions())
        texts << action->text();
    QCOMPARE(texts, QStringList({"New Folder", "Rename", "Delete"}));
}

// Each menu entry on the chosen folder, answered as a user would: what the
// dialogs asked, and what changed anywhere under the home folder. The field
// keeps the chosen path even when that folder is renamed or deleted.
void TestLogging::folderMenu_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("answer"); // as DialogScript::answer takes it
    QTest::addColumn<bool>("gone");      // the folder is removed once the menu is up
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("removed");

    const QString input = "Create New Folder: Folder Name:", renaming = "Rename Folder: Folder Name:";
    using L = QStringList;
    auto row = [](const char *tag, const QString &entry, const QString &folder, const QString &answer,
                  const L &dialogs, const L &added, const L &removed, bool gone = false) {
        QTest::newRow(tag) << entry << folder << answer << gone << dialogs << added << removed;
    };
    const QString n = "New Folder", r = "Rename", d = "Delete";
    row("new, odd name", n, "plain", "=" + odd, {input}, {"plain/" + odd}, {});
    row("new, nested", n, "plain", "=a/b", {input}, {"plain/a", "plain/a/b"}, {});
    row("new, climbs out", n, "plain", "=../x", {input}, {}, {});
    // Missing folders on the way are made, the vanished one too.
    row("new, gone", n, "plain", "=logs", {input}, {"plain", "plain/logs"}, {}, true);
    row("new, read-only", n, "@task", "=logs", {input}, {}, {});

    row("rename to an odd name", r, "plain", "=" + odd + " 2", {renaming}, {odd + " 2"}, {"plain"});
    row("rename, non-empty", r, "full", "=fuller", {renaming}, {"fuller", "fuller/inner", "fuller/notes.txt"},
        {"full", "full/inner", "full/notes.txt"});
    row("rename, cancelled", r, "plain", "-", {renaming}, {}, {});
    row("rename onto a folder", r, "plain", "=empty", {renaming, cantRename}, {}, {});
    row("rename, climbs out", r, "plain", "=../../out", {renaming, cantRename}, {}, {});
    row("rename, gone", r, "plain", "=renamed", {renaming, cantRename}, {}, {}, true);
    row("rename, read-only", r, "@task", "=renamed", {renaming, cantRename}, {}, {});

    row("delete, odd name", d, odd, "Yes", {deleteQuestion(odd)}, {}, {odd});
    row("delete, no", d, "empty", "No", {deleteQuestion("empty")}, {}, {});
    row("delete, not empty", d, "full", "Yes", {deleteQuestion("full"), notEmpty}, {}, {});
    row("delete, gone", d, "plain", "Yes", {deleteQuestion("plain"), notEmpty}, {}, {}, true);
    row("delete, read-only", d, "@task", "Yes", {deleteQuestion("task"), notEmpty}, {}, {});
}

void TestLogging::folderMenu()
{
    QFETCH(QString, entry);
    QFETCH(QString, folder);
    QFETCH(QString, answer);
    QFETCH(bool, gone);
    QFETCH(QStringList, dialogs);
    QFETCH(QStringList, added);
    QFETCH(QStringList, removed);

    const QString path = at(folder);
    QVERIFY(open());
    QVERIFY(click(path));
    contextMenuAt(row(path).center());
    QVERIFY(menu()->isVisible());
    if (gone)
        QVERIFY(QDir().rmdir(path));
    const QStringList before = entries(home.path());
    script->answer({answer});

    // Choosing an entry closes the menu, then triggers its action.
    QAction *action = nullptr;
    for (QAction *a : menu()->actions())
        action = a->text() == entry ? a : action;
    QVERIFY(action);
    menu()->hide();
    action->trigger();

    QCOMPARE(script->titles(), dialogs);
    QCOMPARE(script->shown.first().defaultText, entry == "Rename" ? QFileInfo(path).fileName() : QString());
    const QStringList after = entries(home.path());
    const QString relative = QDir(home.path()).relativeFilePath(base->path()) + "/";
    for (QString &s : added)
        s.prepend(relative);
    for (QString &s : removed)
        s.prepend(relative);
    QCOMPARE(minus(after, before), added);
    QCOMPARE(minus(before, after), removed);
    // Once the tree has caught up with the disk.
    if (!removed.isEmpty())
        QTRY_VERIFY(!model()->index(path).isValid());
    QCOMPARE(logpath(), path);
    QVERIFY(QFileInfo(at("@task")).isDir());
}

// The name column fills the tree (once the tree is wider than the header's
// minimum), and grows past it for a name too long to fit, so the tree
// scrolls sideways instead of cutting the name.
void TestLogging::nameColumn()
{
    const QString longName = QString(200, QChar('w'));
    QVERIFY(QDir().mkdir(at(longName)));
    QVERIFY(open());
    QTreeView *view = tree();
    win->resize(900, 459);
    QTRY_VERIFY(view->width() > 800);
    QCOMPARE(view->columnWidth(0), view->width() - 1);

    QVERIFY(click(at(longName)));
    QVERIFY(view->columnWidth(0) > view->width() + 15);
    QVERIFY(view->horizontalScrollBar()->maximum() > 0);

    view->collapse(model()->index(base->path()));
    QCOMPARE(view->columnWidth(0), view->width() - 1);
}

// The tree opens down to the stored folder while it loads, until the user
// closes a folder above it with its arrow, which is no press on a row: a
// folder appearing afterwards leaves it closed.
void TestLogging::closedFolderStaysClosed()
{
    Connection.logFolder = at("full/inner");
    QVERIFY(open());
    const QPersistentModelIndex folder = model()->index(base->path());
    QTRY_VERIFY(tree()->isExpanded(folder));
    const QRect rect = tree()->visualRect(folder);
    const QPoint arrow(rect.left() - tree()->indentation() / 2, rect.center().y());
    QVERIFY(tree()->viewport()->rect().contains(arrow));
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, arrow);
    QVERIFY(!tree()->isExpanded(folder));

    QVERIFY(QDir().mkdir(at("full/later")));
    QTRY_VERIFY(model()->index(at("full/later")).isValid());
    QTest::qWait(100); // the window's reaction to the new row comes from its event loop
    QVERIFY(!tree()->isExpanded(folder));
}

QTEST_MAIN(TestLogging)
#include "tst_logging.moc"
