#include "support/dialogscript.h"
#include "support/formcheck.h"
#include "windows/fileexplorer.h"

#include <QtTest>
#include <QtWidgets>

using L = QStringList;

namespace {

// Inside the base folder, HOME/t. Folders end with "/".
const QString odd = "my \"odd\" Prüf folder/"; // empty
const QString oddFiles = "Ünï 'quoted' files/";
const QString oddFile = "Prüf \"stand\".xml";
const L fixture = L{"full/", "full/inner.xml", "folder.xml/", "notes.txt", "other.xml", "polls.xml"}
                  + L{odd, oddFiles, oddFiles + oddFile};

const L badType{"Invalid filetype: The filetype must be '.xml' in lowercase"};
const L loadFail{"Load Fail: This file does not exsist"};
const L overwrite{"Save: Are you sure you want \n to overwrite this file?"};
const L newFolder{"Create New Folder: Folder Name:"};

QString deleteQuestion(const QString &name, const char *kind)
{
    return QString("Delete %1: Are you sure you want to delete the \"%2\" %3?")
        .arg(QString(kind) == "file" ? "File" : "Folder", name, kind);
}

} // namespace

class TestFileExplorer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { delete w; }

    void window();
    void start_data();
    void start();
    void confirm_data();
    void confirm();
    void browse();
    void contextMenu_data();
    void contextMenu();
    void menus_data();
    void menus();
    void fileOfListedFolder();
    void unwritableFolder();
    void longName();

private:
    // Opens the window as the main window does; destroyed() records what the
    // caller's handler would read.
    bool make(bool isSave, const QString &suggested)
    {
        result = "stale";
        resultAtDestroy = "never destroyed";
        w = new fileexplorer(isSave, &result, suggested);
        connect(w, &QObject::destroyed, this, [this] { resultAtDestroy = result; });
        w->show();
        return QTest::qWaitForWindowExposed(w);
    }
    template<typename T = QWidget>
    T *widget(const char *name) const
    {
        return namedChild<T>(w, name);
    }
    QTreeView *tree() const { return widget<QTreeView>("treeView"); }
    QListView *list() const { return widget<QListView>("listView"); }
    QFileSystemModel *folders() const { return qobject_cast<QFileSystemModel *>(tree()->model()); }
    QFileSystemModel *files() const { return qobject_cast<QFileSystemModel *>(list()->model()); }
    QString text(const char *name) const { return widget<QLineEdit>(name)->text(); }
    QString in(const QString &name) const { return QDir::cleanPath(base + "/" + name); }
    QString treeFolder() const { return folders()->filePath(tree()->currentIndex()); }
    QString listFolder() const { return files()->filePath(list()->rootIndex()); }
    L listed() const
    {
        L names;
        for (int row = 0; row < files()->rowCount(list()->rootIndex()); ++row)
            names << files()->index(row, 0, list()->rootIndex()).data().toString();
        names.sort();
        return names;
    }
    QPoint place(QAbstractItemView *view, const QModelIndex &index) const
    {
        view->scrollTo(index);
        return view->visualRect(index).center();
    }
    void leftClick(QAbstractItemView *view, const QModelIndex &index)
    {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, place(view, index));
    }
    // Through the window system, which presses before it asks for the menu.
    void rightClick(QAbstractItemView *view, const QPoint &pos)
    {
        QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, view->viewport()->mapTo(w, pos));
    }
    QMenu *shownMenu() const
    {
        for (QMenu *menu : w->findChildren<QMenu *>()) {
            if (menu->isVisible())
                return menu;
        }
        return nullptr;
    }
    // A left click, then a right click on the same row: the menu a user gets.
    bool openMenu(QAbstractItemView *view, const QModelIndex &index)
    {
        leftClick(view, index);
        rightClick(view, place(view, index));
        return shownMenu();
    }
    void choose(const QString &action)
    {
        for (QAction *a : shownMenu()->actions()) {
            if (a->text() == action)
                QTest::mouseClick(shownMenu(), Qt::LeftButton, {}, shownMenu()->actionGeometry(a).center());
        }
    }
    void type(const QString &name)
    {
        widget<QLineEdit>("filename")->clear();
        QTest::keyClicks(widget("filename"), name);
    }
    void click(const char *button) { QTest::mouseClick(widget(button), Qt::LeftButton); }
    // Everything below HOME, relative to the base folder.
    L onDisk() const
    {
        L entries;
        QDirIterator it(home.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            if (it.filePath() != base)
                entries << QDir(base).relativeFilePath(it.filePath()) + (it.fileInfo().isDir() ? "/" : "");
        }
        entries.sort();
        return entries;
    }
    L fixtureWith(const L &added, const L &removed) const
    {
        L entries = fixture;
        for (const QString &r : removed)
            entries.removeAll(r);
        entries += added;
        entries.sort();
        return entries;
    }

    QTemporaryDir home;
    QString base;
    QString result;
    QString resultAtDestroy;
    QPointer<fileexplorer> w;
};

void TestFileExplorer::initTestCase()
{
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));
    base = home.path() + "/t";
}

void TestFileExplorer::init()
{
    QVERIFY(QDir(home.path()).removeRecursively());
    for (const QString &entry : fixture) {
        QFile file(in(entry));
        QVERIFY(entry.endsWith('/') ? QDir().mkpath(in(entry)) : file.open(QIODevice::WriteOnly));
    }
}

void TestFileExplorer::window()
{
    QVERIFY(make(true, QString()));
    QCOMPARE(formMismatches(w, {{"treeView", "QTreeView", ""},
                                {"listView", "QListView", ""},
                                {"directory", "QLineEdit", home.path() + "/"},
                                {"filename", "QLineEdit", ""},
                                {"saveload", "QPushButton", "Save"},
                                {"cancelbutton", "QPushButton", "Cancel"}}),
             QString());
    QCOMPARE(w->windowTitle(), QString("XML File Storage"));
    QCOMPARE(w->windowModality(), Qt::ApplicationModal);
    QVERIFY(showsAppIcon(w));
    QVERIFY(widget<QLineEdit>("directory")->isReadOnly());
    QVERIFY(!widget<QLineEdit>("filename")->isReadOnly());
    for (int column = 0; column < folders()->columnCount(); ++column)
        QCOMPARE(tree()->isColumnHidden(column), column > 0);
}

// The start: the suggested file's name (Save only) and its folder in the
// tree, the list and the field; the result emptied. A folder with no row in
// the tree gives way to the nearest one above it.
void TestFileExplorer::start_data()
{
    QTest::addColumn<bool>("isSave");
    QTest::addColumn<QString>("suggested");
    QTest::addColumn<QString>("filename");
    QTest::addColumn<QString>("folder");

    const QString h = home.path();
    auto row = [](const char *tag, bool isSave, const QString &suggested, const char *filename,
                  const QString &folder) {
        QTest::newRow(tag) << isSave << suggested << QString(filename) << folder;
    };
    row("save, nothing suggested", true, "", "", h);
    row("load", false, in("polls.xml"), "", base);
    row("odd folder name", true, in(odd + "x.xml"), "x.xml", in(odd));
    row("folder gone", true, in("gone/deeper/x.xml"), "x.xml", base);
    row("file where the folder should be", true, in("notes.txt/x.xml"), "x.xml", base);
    row("hidden folder", true, h + "/.quarvel/x.xml", "x.xml", h + "/.quarvel");
    row("no folder at all", true, "x.xml", "x.xml", h);
    row("only the extension", true, in(".xml"), ".xml", base);
}

void TestFileExplorer::start()
{
    QFETCH(bool, isSave);
    QFETCH(QString, suggested);
    QFETCH(QString, filename);
    QFETCH(QString, folder);

    QVERIFY(QDir().mkpath(home.path() + "/.quarvel"));
    QVERIFY(make(isSave, suggested));
    QCOMPARE(result, QString());
    QCOMPARE(widget<QPushButton>("saveload")->text(), QString(isSave ? "Save" : "Load"));
    QCOMPARE(text("filename"), filename);
    QCOMPARE(text("directory"), folder + "/");
    QCOMPARE(treeFolder(), folder);
    QCOMPARE(listFolder(), folder);
}

// Save or Load of a typed name: the dialogs asked, then the result the
// caller reads (the window gone) or the window still open until Cancel or
// its close button. The browser itself writes nothing.
void TestFileExplorer::confirm_data()
{
    QTest::addColumn<bool>("isSave");
    QTest::addColumn<QString>("start");   // a file inside the base folder, or absolute
    QTest::addColumn<QString>("removed"); // the start folder is removed first; "wait": seen gone
    QTest::addColumn<QString>("typed");
    QTest::addColumn<L>("answers");
    QTest::addColumn<L>("asked");
    QTest::addColumn<QString>("chosen"); // empty: the window stays open

    auto row = [this](const char *name, bool isSave, const QString &typed, const L &asked,
                      const QString &chosen, const L &answers = {}, const QString &start = "polls.xml",
                      const char *removed = "") {
        QTest::newRow(name) << isSave << start << QString(removed) << typed << answers << asked
                            << (chosen.isEmpty() ? chosen : in(chosen));
    };
    row("save, completed", true, "polls2", {}, "polls2.xml");
    row("save, complete", true, "polls2.xml", {}, "polls2.xml");
    row("save, upper case", true, "polls.XML", badType, "");
    row("save, climbing out", true, "../up", badType, "");
    row("save, empty name", true, "", {}, ".xml");
    row("overwrite, Save", true, "polls", overwrite, "polls.xml", {"Save"});
    row("overwrite, Cancel", true, "polls.xml", overwrite, "", {"Cancel"});
    row("overwrite, box closed", true, "polls.xml", overwrite, "");
    row("load", false, "polls", {}, "polls.xml");
    row("load, missing", false, "missing", loadFail, "");
    row("load, a folder", false, "folder.xml", loadFail, "");
    // The root is never put in the field: no folder, no path.
    row("save at the root", true, "polls", {}, "", {}, "/polls.xml");
    const QString inOdd = odd + "x.xml";
    row("save, folder gone", true, "x", {}, inOdd, {}, inOdd, "now");
    // The tree moves on to another folder; the field keeps the chosen one.
    row("save, folder gone, tree knows", true, "x", {}, inOdd, {}, inOdd, "wait");
    row("load, folder gone", false, "x", loadFail, "", {}, inOdd, "now");
}

void TestFileExplorer::confirm()
{
    QFETCH(bool, isSave);
    QFETCH(QString, start);
    QFETCH(QString, removed);
    QFETCH(QString, typed);
    QFETCH(L, answers);
    QFETCH(L, asked);
    QFETCH(QString, chosen);

    DialogScript dialogs;
    dialogs.answer(answers);
    QVERIFY(make(isSave, start.startsWith('/') ? start : in(start)));
    L disk = fixtureWith({}, {});
    if (!removed.isEmpty()) {
        QVERIFY(QDir(in(odd)).removeRecursively());
        disk.removeAll(odd);
    }
    if (removed == "wait")
        QTRY_VERIFY(treeFolder() != in(odd));
    type(typed);
    click("saveload");

    QCOMPARE(dialogs.asked(), asked);
    for (const DialogScript::Shown &r : dialogs.shown)
        QVERIFY(r.kind != DialogScript::Shown::Question
                || (r.buttons == (QMessageBox::Save | QMessageBox::Cancel)
                    && r.defaultButton == QMessageBox::Cancel));
    QCOMPARE(result, chosen);
    QCOMPARE(w.isNull(), !chosen.isEmpty());
    if (w) {
        // Every way out but a confirmed choice leaves the result empty.
        if (isSave)
            click("cancelbutton");
        else
            QVERIFY(w->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!w);
    }
    QCOMPARE(resultAtDestroy, chosen);
    QCOMPARE(onDisk(), disk);
}

// A folder clicked in the tree lists its ".xml" files, none of its other
// files or folders, and fills the field (the root does not); a file clicked
// fills the name, and Load takes it from there.
void TestFileExplorer::browse()
{
    QVERIFY(make(false, QString()));
    leftClick(tree(), folders()->index(base));
    QTRY_COMPARE(listed(), L({"other.xml", "polls.xml"}));
    leftClick(tree(), folders()->index("/"));
    QCOMPARE(listFolder(), QString("/"));
    QCOMPARE(text("directory"), base + "/");
    leftClick(tree(), folders()->index(in(oddFiles)));
    QCOMPARE(text("directory"), in(oddFiles) + "/");
    QTRY_COMPARE(listed(), L{oddFile});
    leftClick(list(), files()->index(in(oddFiles + oddFile)));
    QCOMPARE(text("filename"), oddFile);
    click("saveload");
    QCOMPARE(resultAtDestroy, in(oddFiles + oddFile));
}

// Only a right click on the current row opens a menu. A real right click
// presses first, which makes the row under it current.
void TestFileExplorer::contextMenu_data()
{
    QTest::addColumn<bool>("inTree");
    QTest::addColumn<QString>("how");
    QTest::addColumn<L>("actions"); // empty: no menu

    QTest::newRow("folder, chosen row") << true << "chosen row" << L{"New Folder", "Rename", "Delete"};
    QTest::newRow("folder, another row, no press") << true << "another row" << L();
    QTest::newRow("file, chosen row") << false << "chosen row" << L{"Rename", "Delete"};
    QTest::newRow("file, empty space") << false << "empty space" << L();
    QTest::newRow("file, empty space, nothing chosen") << false << "nothing chosen" << L();
}

void TestFileExplorer::contextMenu()
{
    QFETCH(bool, inTree);
    QFETCH(QString, how);
    QFETCH(L, actions);

    QVERIFY(make(true, in("polls.xml")));
    QAbstractItemView *view = inTree ? static_cast<QAbstractItemView *>(tree()) : list();
    QTRY_COMPARE(listed(), L({"other.xml", "polls.xml"}));
    const QModelIndex chosen = inTree ? folders()->index(in("full")) : files()->index(in("polls.xml"));
    const QModelIndex other = inTree ? folders()->index(in(odd)) : files()->index(in("other.xml"));
    if (how != "nothing chosen")
        leftClick(view, chosen);
    if (how == "another row") {
        // A request with no press before it (a menu key, a touch).
        QContextMenuEvent request(QContextMenuEvent::Mouse, place(view, other));
        QApplication::sendEvent(view->viewport(), &request);
    } else {
        rightClick(view, how == "chosen row" ? place(view, chosen)
                                             : view->viewport()->rect().bottomLeft() + QPoint(5, -5));
    }
    L shownActions;
    for (QAction *a : shownMenu() ? shownMenu()->actions() : QList<QAction *>())
        shownActions << a->text();
    QCOMPARE(shownActions, actions);
}

// The folder menu (items ending in "/", "./" for the base folder) and the
// file menu, opened on an item of the base folder. "gone" rows remove the
// item once the menu is open.
void TestFileExplorer::menus_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("gone");
    QTest::addColumn<L>("answers");
    QTest::addColumn<L>("asked");
    QTest::addColumn<L>("added");
    QTest::addColumn<L>("removed");

    auto row = [](const char *name, const QString &item, const char *action, const L &answers, const L &asked,
                  const L &added = {}, const L &removed = {}, bool gone = false) {
        QTest::newRow(name) << item << QString(action) << gone << answers << asked << added << removed;
    };
    row("new, nested", "./", "New Folder", {"=a/b"}, newFolder, {"a/", "a/b/"});
    row("new, cancelled", "./", "New Folder", {"-"}, newFolder);
    row("new, in odd folder", odd, "New Folder", {"=Ünï \"x\""}, newFolder, {odd + "Ünï \"x\"/"});
    const L renameOdd{"Rename Folder: Folder Name: [" + odd.chopped(1) + "]"};
    row("rename", odd, "Rename", {"=plain"}, renameOdd, {"plain/"}, {odd});
    row("rename, name taken", odd, "Rename", {"=full"}, renameOdd);
    row("rename, folder gone", odd, "Rename", {"=plain"}, renameOdd, {}, {odd}, true);
    const L deleteOdd{deleteQuestion(odd.chopped(1), "folder")};
    const L notEmpty{"Delete Folder: Folder needs to be empty to be deleted."};
    row("delete", odd, "Delete", {"Yes"}, deleteOdd, {}, {odd});
    row("delete, not empty", "full/", "Delete", {"Yes"}, L{deleteQuestion("full", "folder")} + notEmpty);
    row("delete, folder gone", odd, "Delete", {"Yes"}, deleteOdd + notEmpty, {}, {odd}, true);

    const L renameFile{"Rename XML file: XML File Name: [polls]"};
    const L polls{"polls.xml"};
    row("file rename, completed", "polls.xml", "Rename", {"=Ünï \"x\""}, renameFile, {"Ünï \"x\".xml"},
        polls);
    row("file rename, name taken", "polls.xml", "Rename", {"=other"}, renameFile);
    row("file rename, climbing out", "polls.xml", "Rename", {"=../out"}, renameFile);
    row("file rename, cancelled", "polls.xml", "Rename", {"-"}, renameFile);
    row("file rename, file gone", "polls.xml", "Rename", {"=renamed"}, renameFile, {}, polls, true);
    const L deleteFile{deleteQuestion("polls.xml", "file")};
    row("file delete", "polls.xml", "Delete", {"Yes"}, deleteFile, {}, polls);
    row("file delete, No", "polls.xml", "Delete", {"No"}, deleteFile);
    row("file delete, file gone", "polls.xml", "Delete", {"Yes"},
        deleteFile + L{"Delete File: File could not be removed."}, {}, polls, true);
}

void TestFileExplorer::menus()
{
    QFETCH(QString, item);
    QFETCH(QString, action);
    QFETCH(bool, gone);
    QFETCH(L, answers);
    QFETCH(L, asked);
    QFETCH(L, added);
    QFETCH(L, removed);

    DialogScript dialogs;
    dialogs.answer(answers);
    QVERIFY(make(true, in("polls.xml")));
    const bool isFolder = item.endsWith('/');
    if (isFolder) {
        QVERIFY(openMenu(tree(), folders()->index(in(item))));
    } else {
        QTRY_VERIFY(listed().contains(item));
        QVERIFY(openMenu(list(), files()->index(in(item))));
    }
    if (gone)
        QVERIFY(isFolder ? QDir(in(item)).removeRecursively() : QFile::remove(in(item)));
    choose(action);
    QCOMPARE(dialogs.asked(), asked);
    QCOMPARE(onDisk(), fixtureWith(added, removed));
    QVERIFY(w);
    QCOMPARE(result, QString());
}

// A right click on another folder makes it the tree's current row without
// changing the list: the file menu still acts on the listed file, not on a
// file of the same name in that other folder.
void TestFileExplorer::fileOfListedFolder()
{
    QFile twin(in("full/polls.xml"));
    QVERIFY(twin.open(QIODevice::WriteOnly));
    DialogScript dialogs;
    dialogs.button(QMessageBox::Yes);
    QVERIFY(make(true, in("polls.xml")));
    QTRY_COMPARE(listed(), L({"other.xml", "polls.xml"}));
    rightClick(tree(), place(tree(), folders()->index(in("full"))));
    QCOMPARE(treeFolder(), in("full"));
    QVERIFY(shownMenu());
    shownMenu()->hide();
    QVERIFY(openMenu(list(), files()->index(in("polls.xml"))));
    choose("Delete");
    QVERIFY(!QFile::exists(in("polls.xml")));
    QVERIFY(QFile::exists(in("full/polls.xml")));
}

// A Save in this process's own folder under /proc, where even root can
// create nothing, hands the path back and writes nothing. (Root ignores
// permission bits, so a folder made read-only with chmod would show nothing.)
void TestFileExplorer::unwritableFolder()
{
    const QString own = "/proc/" + QString::number(QCoreApplication::applicationPid()) + "/task";
    if (!QFileInfo(own).isDir())
        QSKIP("no /proc here");
    DialogScript dialogs;
    QVERIFY(make(true, own + "/polls.xml"));
    QCOMPARE(treeFolder(), own);
    click("saveload");
    QCOMPARE(resultAtDestroy, own + "/polls.xml");
    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY(!QFileInfo::exists(own + "/polls.xml"));
}

// A folder name wider than the tree is shown whole, and can be scrolled to.
void TestFileExplorer::longName()
{
    QVERIFY(make(true, in("polls.xml")));
    const QString longName(250, QChar('n'));
    QVERIFY(QDir(base).mkdir(longName));
    leftClick(tree(), folders()->index(in(longName)));
    QVERIFY(tree()->columnWidth(0) > tree()->fontMetrics().horizontalAdvance(longName));
    QTRY_VERIFY(tree()->horizontalScrollBar()->maximum() > 0);
}

QTEST_MAIN(TestFileExplorer)
#include "tst_fileexplorer.moc"
