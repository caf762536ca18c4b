#include "modbus/connectionsettings.h"
#include "storage/settingsfile.h"
#include "support/dialogscript.h"
#include "windows/logging.h"

#include <QtTest>
#include <QtWidgets>
#include <QtXml>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

// Names users type: spaces, both kinds of quote, letters beyond ASCII.
const QString spaced = "two words";
const QString quoted = "say \"hi\" 'there'";
const QString foreign = "Größe Ωmega ñ";
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

// Makes a folder refuse changes until destroyed. Root ignores permission
// bits, so the immutable flag is set too where the file system has it.
struct ReadOnly
{
    explicit ReadOnly(const QString &folder)
        : path(QFile::encodeName(folder))
    {
        ::chmod(path, 0555);
        immutable(true);
    }
    ~ReadOnly()
    {
        immutable(false);
        ::chmod(path, 0755);
    }
    void immutable(bool on)
    {
        const int fd = ::open(path, O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        if (fd >= 0)
            ::close(fd);
    }
    const QByteArray path;
};

} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form_data();
    void form();
    void window();
    void startState_data();
    void startState();
    void clicks_data();
    void clicks();
    void ok_data();
    void ok();
    void leaveWithoutStoring_data();
    void leaveWithoutStoring();
    void contextMenu_data();
    void contextMenu();
    void folderMenu_data();
    void folderMenu();
    void nameColumn();

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
        T *found = win->findChild<T *>(QLatin1String(name));
        if (!found)
            qWarning("no %s named %s", T::staticMetaObject.className(), name);
        return found;
    }
    QTreeView *tree() const { return widget<QTreeView>("treeView"); }
    QFileSystemModel *model() const { return qobject_cast<QFileSystemModel *>(tree()->model()); }
    QMenu *menu() const { return win->findChild<QMenu *>(); }
    QString logpath() const { return widget<QLineEdit>("logpath")->text(); }
    // A folder of the test tree by its relative name; "" stays empty, "/" is the root.
    QString at(const QString &name) const
    {
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
    // A point below the last row: the tree folded down to the root.
    QPoint belowRows()
    {
        tree()->collapse(model()->index("/"));
        return QPoint(20, tree()->viewport()->height() - 5);
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
    // logenabled and logpath as the settings file on disk holds them.
    QStringList saved() const
    {
        QFile file(settingsFile());
        QDomDocument document;
        if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file))
            return {"no file"};
        const QDomElement root = document.documentElement();
        return {root.firstChildElement("logenabled").text(), root.firstChildElement("logpath").text()};
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
    for (const QString &name :
         {QString("plain"), spaced, quoted, foreign, QString("empty"), QString("full/inner")})
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

// Each widget: type, text, fixed width (0: none) and its row in the window.
void TestLogging::form_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("row");

    auto row = [](const char *name, const char *type, const char *text, int width, int place) {
        QTest::newRow(name) << QString(type) << QString(text) << width << place;
    };
    row("loggingcheck", "QCheckBox", "Logging Enabled", 0, 0);
    row("treeView", "QTreeView", "", 0, 1);
    row("label", "QLabel", "Logging Directory", 70, 2);
    row("logpath", "QLineEdit", "", 0, 2);
    row("okbutton", "QPushButton", "ok", 80, 3);
    row("cancelbutton", "QPushButton", "cancel", 80, 3);
}

void TestLogging::form()
{
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(int, row);

    QVERIFY(open());
    QWidget *w = widget(QTest::currentDataTag());
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), className);
    QCOMPARE(w->parentWidget(), win.data());
    QCOMPARE(w->property("text").toString(), text);
    if (width)
        QCOMPARE(w->width(), width);
    auto *column = qobject_cast<QVBoxLayout *>(win->layout());
    QVERIFY(column && column->count() == 4);
    QLayoutItem *item = column->itemAt(row);
    QVERIFY(item->widget() == w || (item->layout() && item->layout()->indexOf(w) >= 0));
}

void TestLogging::window()
{
    QVERIFY(open());
    QCOMPARE(win->windowTitle(), QString("Report Logging"));
    QCOMPARE(win->size(), QSize(513, 459));
    QVERIFY(win->isWindow() && win->windowModality() == Qt::NonModal);
    const QIcon appIcon(":/appicon.png");
    QVERIFY(!appIcon.isNull());
    QCOMPARE(win->windowIcon().pixmap(32).toImage(), appIcon.pixmap(32).toImage());

    QVERIFY(widget<QLabel>("label")->wordWrap());
    QVERIFY(widget<QLineEdit>("logpath")->isReadOnly());

    // Only the name column, under a visible header that does not stretch.
    QTreeView *view = tree();
    QCOMPARE(view->contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(view->sizeAdjustPolicy(), QAbstractScrollArea::AdjustToContents);
    QVERIFY(!view->isHeaderHidden());
    QCOMPARE(view->header()->minimumSectionSize(), 491);
    QVERIFY(!view->header()->stretchLastSection());
    QCOMPARE(model()->columnCount(), 4);
    for (int column = 0; column < 4; ++column)
        QCOMPARE(view->isColumnHidden(column), column > 0);

    // Folders only: the file beside them is not listed.
    QVERIFY(row(at("plain")).isValid());
    QStringList listed;
    const QModelIndex folder = model()->index(base->path());
    for (int i = 0; i < model()->rowCount(folder); ++i)
        listed << model()->index(i, 0, folder).data().toString();
    QStringList folders{"empty", "full", "plain", quoted, spaced, foreign};
    listed.sort();
    folders.sort();
    QCOMPARE(listed, folders);
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
    QTest::newRow("on, quotes and spaces") << true << quoted << quoted;
    QTest::newRow("off, non-ASCII") << false << foreign << foreign;
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

// The clicked folder shows in the field, without a trailing "/"; the root
// is never taken. Nothing is stored before "ok".
void TestLogging::clicks_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("clicked");
    QTest::addColumn<QString>("shown");

    QTest::newRow("one folder") << "" << QStringList{"plain"} << "plain";
    QTest::newRow("nested") << "" << QStringList{"full", "full/inner"} << "full/inner";
    QTest::newRow("last click counts") << "plain" << QStringList{spaced, quoted} << quoted;
    QTest::newRow("non-ASCII") << "" << QStringList{foreign} << foreign;
    QTest::newRow("root, nothing chosen") << "" << QStringList{"/"} << "";
    QTest::newRow("root keeps the stored") << "plain" << QStringList{"/"} << "plain";
    QTest::newRow("root after a click") << "" << QStringList{spaced, "/"} << spaced;
}

void TestLogging::clicks()
{
    QFETCH(QString, start);
    QFETCH(QStringList, clicked);
    QFETCH(QString, shown);

    Connection.logFolder = at(start);
    QVERIFY(open());
    for (const QString &name : clicked)
        QVERIFY2(click(at(name)), qPrintable(name));
    QCOMPARE(logpath(), at(shown));
    QCOMPARE(Connection.logFolder, at(start));
    QVERIFY(!QFile::exists(settingsFile()));
}

// "ok" stores the box and the field, writes the settings file and the
// window is gone at once; a checked box without a folder only warns.
void TestLogging::ok_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("toggle"); // the box is clicked once
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<bool>("vanish"); // the clicked folder is removed before "ok"
    QTest::addColumn<bool>("stays");
    QTest::addColumn<QString>("stored"); // folder stored

    QTest::newRow("checked, no folder") << false << "" << true << "" << false << true << "";
    QTest::newRow("clear, no folder") << false << "" << false << "" << false << false << "";
    QTest::newRow("on, unchanged") << true << "plain" << false << "" << false << false << "plain";
    QTest::newRow("switched off, folder kept") << true << "plain" << true << "" << false << false << "plain";
    QTest::newRow("clicked folder") << false << "" << true << "full/inner" << false << false << "full/inner";
    QTest::newRow("quotes and spaces") << false << "plain" << true << quoted << false << false << quoted;
    QTest::newRow("non-ASCII") << true << "" << false << foreign << false << false << foreign;
    QTest::newRow("chosen folder gone") << false << "" << true << "empty" << true << false << "empty";
}

void TestLogging::ok()
{
    QFETCH(bool, on);
    QFETCH(QString, folder);
    QFETCH(bool, toggle);
    QFETCH(QString, clicked);
    QFETCH(bool, vanish);
    QFETCH(bool, stays);
    QFETCH(QString, stored);

    Connection.loggingOn = on;
    Connection.logFolder = at(folder);
    QVERIFY(open());
    if (toggle)
        toggleBox();
    if (!clicked.isEmpty())
        QVERIFY(click(at(clicked)));
    if (vanish)
        QVERIFY(QDir().rmdir(at(clicked)));
    const bool checked = on != toggle;
    QSignalSpy destroyed(win.data(), &QObject::destroyed);
    press("okbutton");

    if (stays) {
        QCOMPARE(script->titles(), QStringList{noDirectory});
        QVERIFY(win && win->isVisible());
        QCOMPARE(Connection.loggingOn, on);
        QCOMPARE(Connection.logFolder, at(folder));
        QVERIFY(!QFile::exists(settingsFile()));
        return;
    }
    QVERIFY(script->shown.isEmpty());
    QVERIFY(!win);
    QVERIFY(!outlived);
    QCOMPARE(destroyed.count(), 1);
    QCOMPARE(Connection.loggingOn, checked);
    QCOMPARE(Connection.logFolder, at(stored));
    QCOMPARE(saved(), QStringList({checked ? "1" : "0", at(stored)}));
}

// "cancel" and the window's close button store nothing and write nothing,
// whatever was clicked and toggled before.
void TestLogging::leaveWithoutStoring_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("cancel") << true;
    QTest::newRow("close") << false;
}

void TestLogging::leaveWithoutStoring()
{
    QFETCH(bool, cancel);

    Connection.loggingOn = true;
    Connection.logFolder = at("plain");
    saveSettings();
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    QVERIFY(open());
    QVERIFY(click(at(spaced)));
    toggleBox();
    QVERIFY(click(at(foreign)));
    QCOMPARE(logpath(), at(foreign));
    if (cancel) {
        press("cancelbutton");
        QVERIFY(!win);
        QVERIFY(!outlived);
    } else {
        win->close();
        QTRY_VERIFY(!win);
    }
    QVERIFY(script->shown.isEmpty());
    QCOMPARE(Connection.loggingOn, true);
    QCOMPARE(Connection.logFolder, at("plain"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
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

    auto row = [](const char *tag, const QString &start, const QString &clicked, const QString &target,
                  bool vanish,
                  bool shown) { QTest::newRow(tag) << start << clicked << target << vanish << shown; };
    row("chosen folder", "", "plain", "plain", false, true);
    row("stored folder, no click", spaced, "", spaced, false, true);
    row("other folder", "", "plain", spaced, false, false);
    row("stored folder, other clicked", spaced, "plain", spaced, false, false);
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
    const QRect rect = target.isEmpty() ? QRect() : row(at(target));
    QVERIFY(target.isEmpty() || rect.isValid());
    const QPoint pos = target.isEmpty() ? belowRows() : rect.center();
    QVERIFY(!tree()->indexAt(pos).isValid() == target.isEmpty());
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
    QTest::addColumn<QString>("answer"); // typed text ("@": the test tree; null: cancelled), or "Yes"/"No"
    QTest::addColumn<QString>("fault");  // "gone": removed first; "read-only"
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("removed");

    const QString input = "Create New Folder: Folder Name:", renaming = "Rename Folder: Folder Name:";
    using L = QStringList;
    auto row = [](const char *tag, const QString &entry, const QString &folder, const QString &answer,
                  const L &dialogs, const L &added, const L &removed, const char *fault = "") {
        QTest::newRow(tag) << entry << folder << answer << QString(fault) << dialogs << added << removed;
    };
    const QString n = "New Folder", r = "Rename", d = "Delete";
    row("new", n, "plain", "logs", {input}, {"plain/logs"}, {});
    row("new, quotes and spaces", n, "plain", quoted, {input}, {"plain/" + quoted}, {});
    row("new, nested", n, "plain", "a/b", {input}, {"plain/a", "plain/a/b"}, {});
    row("new, climbs out", n, "plain", "../x", {input}, {}, {});
    row("new, absolute", n, "plain", "@/abs", {input}, {}, {});
    row("new, empty", n, "plain", "", {input}, {}, {});
    row("new, cancelled", n, "plain", QString(), {input}, {}, {});
    // Missing folders on the way are made, the vanished one too.
    row("new, gone", n, "plain", "logs", {input}, {"plain", "plain/logs"}, {}, "gone");
    row("new, read-only", n, "plain", "logs", {input}, {}, {}, "read-only");

    row("rename", r, "plain", "renamed", {renaming}, {"renamed"}, {"plain"});
    row("rename, non-empty", r, "full", "fuller", {renaming}, {"fuller", "fuller/inner", "fuller/notes.txt"},
        {"full", "full/inner", "full/notes.txt"});
    row("rename to odd names", r, quoted, foreign + " 2", {renaming}, {foreign + " 2"}, {quoted});
    row("rename, cancelled", r, "plain", QString(), {renaming}, {}, {});
    row("rename onto a folder", r, "plain", "empty", {renaming, cantRename}, {}, {});
    row("rename into a missing folder", r, "plain", "no/where", {renaming, cantRename}, {}, {});
    row("rename, climbs out", r, "plain", "../../out", {renaming, cantRename}, {}, {});
    row("rename, gone", r, "plain", "renamed", {renaming, cantRename}, {}, {}, "gone");
    row("rename, read-only", r, "full/inner", "renamed", {renaming, cantRename}, {}, {}, "read-only");

    row("delete", d, "empty", "Yes", {deleteQuestion("empty")}, {}, {"empty"});
    row("delete, odd name", d, quoted, "Yes", {deleteQuestion(quoted)}, {}, {quoted});
    row("delete, no", d, "empty", "No", {deleteQuestion("empty")}, {}, {});
    row("delete, not empty", d, "full", "Yes", {deleteQuestion("full"), notEmpty}, {}, {});
    row("delete, gone", d, "plain", "Yes", {deleteQuestion("plain"), notEmpty}, {}, {}, "gone");
    row("delete, read-only", d, "full/inner", "Yes", {deleteQuestion("inner"), notEmpty}, {}, {},
        "read-only");
}

void TestLogging::folderMenu()
{
    QFETCH(QString, entry);
    QFETCH(QString, folder);
    QFETCH(QString, answer);
    QFETCH(QString, fault);
    QFETCH(QStringList, dialogs);
    QFETCH(QStringList, added);
    QFETCH(QStringList, removed);

    // A rename or delete acts on the folder itself, so its parent is made
    // read-only; a new folder goes inside the folder.
    const QString path = at(folder);
    std::unique_ptr<ReadOnly> readOnly;
    if (fault == "read-only") {
        const QString locked = entry == "New Folder" ? path : QFileInfo(path).path();
        readOnly.reset(new ReadOnly(locked));
        // Root ignores permission bits; without the immutable flag (no
        // CAP_LINUX_IMMUTABLE, or a file system without it) root cannot show this.
        if (QDir().mkdir(locked + "/probe"))
            QSKIP("the folder still takes changes after being made read-only");
    }
    QVERIFY(open());
    QVERIFY(click(path));
    contextMenuAt(row(path).center());
    QVERIFY(menu()->isVisible());
    if (fault == "gone")
        QVERIFY(QDir().rmdir(path));
    const QStringList before = entries(home.path());
    const QString relative = QDir(home.path()).relativeFilePath(base->path()) + "/";
    if (answer == "Yes" || answer == "No")
        script->button(answer == "Yes" ? QMessageBox::Yes : QMessageBox::No);
    else if (answer.isNull())
        script->cancel();
    else
        script->text(answer.startsWith('@') ? base->path() + answer.mid(1) : answer);

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
    auto prefixed = [&relative](QStringList list) {
        for (QString &s : list)
            s.prepend(relative);
        return list;
    };
    QCOMPARE(minus(after, before), prefixed(added));
    QCOMPARE(minus(before, after), prefixed(removed));
    // Once the tree has caught up with the disk.
    if (!removed.isEmpty())
        QTRY_VERIFY(!model()->index(path).isValid());
    QCOMPARE(logpath(), path);
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

QTEST_MAIN(TestLogging)
#include "tst_logging.moc"
