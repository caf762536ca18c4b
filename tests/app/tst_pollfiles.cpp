// Poll files through the real window: "Save Polls", "Load Polls" and "Recent
// Poll Files" with the program's own browser and its menus, and loads that fail.
#include "support/dialogscript.h"
#include "support/files.h"
#include "support/rows.h"
#include "windowdriver.h"

#include "storage/pollfile.h"
#include "storage/settingsfile.h"

namespace {

// Three polls of different kinds, poll 99 included, and a sequence that runs
// them out of order.
void setUpPolls()
{
    fillPollDefaults();
    PollStore[0] = pollOf("~|1|3|10|1|3|~|10|1:0|1:"); // val3 as the editor shows it
    PollStore[1] = {"setpoints", "2", "2", "16", "40", "2", "3", "1032", {"1.5", "-2.25"}, {"a", "b"}};
    PollStore[98] = pollOf("last|99|3|1|1|1|~|~|1:0|1:");
    Sequence = {2, 1, 99};
}

// Everything below a folder, relative to it, folders ending in "/".
QStringList entries(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = QDir(root).relativeFilePath(it.next());
        found << path + (it.fileInfo().isDir() ? "/" : "");
    }
    found.sort();
    return found;
}

} // namespace

class TestPollFiles : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fillPollDefaults();
        Sequence.clear();
        if (!rig.slave.port())
            QVERIFY2(rig.start(false), qPrintable(rig.error));
    }
    void cleanup() { driver.reset(); }
    void saveLoadRecent();
    void failedLoads();
    void browserMenus();
    void browserStart();

private:
    void start(const QString &home = QString())
    {
        driver = std::make_unique<WindowDriver>(home);
        QVERIFY(rig.connect(*driver));
    }
    QWidget *openBrowser(const char *action) const
    {
        driver->trigger(action);
        return openWindow("fileexplorer");
    }
    // Types the name into the browser's current folder and presses Save or
    // Load; true when the browser went. One that stays is cancelled.
    bool choose(const char *action, const QString &name) const
    {
        QPointer<QWidget> browser = openBrowser(action);
        browser->findChild<QLineEdit *>("filename")->setText(name);
        act(browser, "saveload");
        const bool went = browser.isNull();
        if (!went)
            act(browser, "cancelbutton");
        return went;
    }
    // The folder and file name a browser starts with; cancelled.
    QString startOf(const char *action) const
    {
        QWidget *browser = openBrowser(action);
        const QString start = browser->findChild<QLineEdit *>("directory")->text() + '|'
                              + browser->findChild<QLineEdit *>("filename")->text();
        act(browser, "cancelbutton");
        return start;
    }
    QStringList recentTexts() const
    {
        QStringList texts;
        for (int i = 1; i <= 5; ++i)
            texts << driver->widget<QAction>(qPrintable(QString("actionRecent%1").arg(i)))->text();
        return texts;
    }

    Rig rig;
    std::unique_ptr<WindowDriver> driver;
};

// Saves fill the recent list and the settings file, loads bring polls and
// sequence back, and the list keeps five paths, the newest first.
void TestPollFiles::saveLoadRecent()
{
    QTemporaryDir home;
    start(home.path());
    const QString h = home.path() + '/';
    DialogScript boxes;
    driver->trigger("actionRecent3"); // a free slot: nothing
    setUpPolls();
    QVERIFY(choose("actionSave", "plant"));
    QCOMPARE(recentTexts(), QStringList({h + "plant.xml", "", "", "", ""}));
    const auto saved = PollStore;
    fillPollDefaults();
    Sequence = {3};
    QVERIFY(choose("actionSave", "other.xml"));
    driver->act("spinBox=7");
    QVERIFY(choose("actionLoad", "plant.xml"));
    QVERIFY(PollStore == saved);
    QCOMPARE(driver->text("nextpoll") + ' ' + driver->widget<QSpinBox>("spinBox")->text(),
             QString("NEXT:P2 1"));
    driver->trigger("actionRecent2");
    QCOMPARE(driver->text("nextpoll"), QString("NEXT:P3"));
    QCOMPARE(recentTexts(), QStringList({h + "other.xml", h + "plant.xml", "", "", ""}));

    // Overwriting asks first; refused names keep the browser open.
    const QByteArray other = readBytes(h + "other.xml");
    boxes.answers = QStringList{"Cancel", "Save", "Ok", "Ok"};
    PollStore[0].polldesc = "changed";
    QVERIFY(!choose("actionSave", "other"));
    QCOMPARE(readBytes(h + "other.xml"), other);
    QVERIFY(choose("actionSave", "other"));
    QVERIFY(readBytes(h + "other.xml") != other);
    QVERIFY(!choose("actionSave", "a.b.xml"));
    QVERIFY(!choose("actionLoad", "missing"));
    const QString overwrite = "Save: Are you sure you want \n to overwrite this file? {Save,Cancel*}";
    QCOMPARE(boxes.shown,
             QStringList({overwrite, overwrite, "Invalid filetype: The filetype must be '.xml' in lowercase",
                          "Load Fail: This file does not exsist"}));

    for (const char *name : {"c", "d", "e", "f"})
        QVERIFY(choose("actionSave", name));
    const QStringList newest{h + "f.xml", h + "e.xml", h + "d.xml", h + "c.xml", h + "other.xml"};
    QCOMPARE(recentTexts(), newest);
    // The next start offers the same files.
    driver.reset();
    recentFiles.clear();
    start(home.path());
    QCOMPARE(recentTexts(), newest);
    QCOMPARE(boxes.shown.size(), 4);
}

// A file that does not load, chosen in the browser again and again, shows the
// real "File Error" box each time while the folder changes under it
// (downloads, other programs), and the window goes on: the recent list keeps
// its entries, the editor shows poll 1, and a good file still loads. A file
// gone from the recent list fails the same way.
void TestPollFiles::failedLoads()
{
    start();
    const QString home = driver->home() + '/';
    const QStringList broken{"text.xml", "root.xml", "sequence.xml"};
    for (const QString &name : broken)
        QVERIFY(QFile::copy(dataPath("windows/broken/" + name), home + name));
    recentFiles = QStringList{home + "gone.xml", "/elsewhere/x.xml", "", "", ""};
    const QStringList recent = recentFiles;
    DialogScript boxes;
    boxes.whileOpen = [&] { QDir(home).mkdir(QString("new %1").arg(boxes.shown.size())); };
    boxes.holdMs = 50;
    for (int i = 0; i < 21; ++i) {
        driver->act("spinBox=7");
        Sequence = {4};
        const QString name = broken.at(i % 3);
        QVERIFY(choose("actionLoad", name));
        WAIT_FOR(boxes.answered == i + 1, 3000);
        QCOMPARE(boxes.shown.mid(i),
                 QStringList(i % 3 ? "File Error: Invalid file" : "File Error: Couldn't Load File"));
        QCOMPARE(driver->widget<QSpinBox>("spinBox")->value(), 1);
        // A file without a sequence leaves none.
        QCOMPARE(Sequence.isEmpty(), name == "root.xml");
    }
    QCOMPARE(recentFiles, recent);
    driver->trigger("actionRecent1");
    WAIT_FOR(boxes.answered == 22, 3000);
    QCOMPARE(boxes.shown.last(), QString("File Error: Couldn't Load File"));
    // The next browser starts at the file that failed.
    QCOMPARE(startOf("actionSave"), home + "|gone.xml");
    setUpPolls();
    savePollFile(home + "good.xml");
    fillPollDefaults();
    QVERIFY(choose("actionLoad", "good.xml"));
    QCOMPARE(PollStore[1].polldesc, QString("setpoints"));
    QCOMPARE(boxes.shown.size(), 22);
}

// The browser's file and folder menus, opened as a user does: a left click
// chooses the row, a right click on it brings the menu.
void TestPollFiles::browserMenus()
{
    start();
    const QString base = driver->home() + "/t/";
    for (const char *file : {"notes.txt", "other.xml", "polls.xml"})
        writeBytes(base + file, "<polls/>");
    recentFiles = QStringList{base + "polls.xml", "", "", "", ""};
    DialogScript boxes({"=renamed", "Yes", "=../escape", "=a/b"});
    QPointer<QWidget> browser = openBrowser("actionSave");
    auto *tree = browser->findChild<QTreeView *>("treeView");
    auto *list = browser->findChild<QListView *>("listView");
    // Only the .xml files are listed.
    WAIT_FOR(list->model()->rowCount(list->rootIndex()) == 2, 3000);
    menuEntry(browser, list, base + "polls.xml", "Rename");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowAt(list, base + "other.xml"));
    QCOMPARE(browser->findChild<QLineEdit *>("filename")->text(), QString("other.xml"));
    // A menu asked for on another row than the chosen one (the menu key, no press) does not come.
    QContextMenuEvent request(QContextMenuEvent::Keyboard, rowAt(list, base + "renamed.xml"));
    QApplication::sendEvent(list->viewport(), &request);
    for (QMenu *shown : browser->findChildren<QMenu *>())
        QVERIFY(!shown->isVisible());
    menuEntry(browser, list, base + "other.xml", "Delete");
    menuEntry(browser, tree, base, "New Folder");
    menuEntry(browser, tree, base, "New Folder");
    QCOMPARE(boxes.shown,
             QStringList({"Rename XML file: XML File Name: [polls]",
                          "Delete File: Are you sure you want to delete the \"other.xml\" file? {Yes,No}",
                          "Create New Folder: Folder Name:", "Create New Folder: Folder Name:"}));
    // A subfolder clicked and then its parent: the parent's list holds its .xml files only.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rowAt(tree, base + "a"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rowAt(tree, base));
    const QModelIndex shown = list->rootIndex();
    WAIT_FOR(list->model()->rowCount(shown) == 1 && shown.model()->index(0, 0, shown).data() == "renamed.xml",
             3000);
    // A folder clicked gives its path; Save goes there.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rowAt(tree, base + "a/b"));
    QCOMPARE(browser->findChild<QLineEdit *>("directory")->text(), base + "a/b/");
    act(browser, "saveload");
    QVERIFY(browser.isNull());
    QCOMPARE(entries(base), QStringList({"a/", "a/b/", "a/b/other.xml", "notes.txt", "renamed.xml"}));
    QVERIFY(!QFileInfo::exists(driver->home() + "/escape"));
    QCOMPARE(recentFiles.first(), base + "a/b/other.xml");
}

// The browser starts at the most recent file, after a load at that file, after
// a save at the last file loaded, after a cancel at the most recent again. A
// relative HOME, as some launchers give, is taken from the working folder.
void TestPollFiles::browserStart()
{
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkpath("home/site/sub"));
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(work.path());
    start("home");
    const QString home = work.path() + "/home/", sub = home + "site/sub/";
    QCOMPARE(startOf("actionSave"), home + "|");
    driver->trigger("actionLogging");
    QCOMPARE(openWindow("logging")->findChild<QLineEdit *>("logpath")->text(), work.path() + "/home");
    savePollFile(sub + "loaded.xml");
    savePollFile(home + "other.xml");
    recentFiles = QStringList{sub + "loaded.xml", home + "other.xml", "", "", ""};
    QCOMPARE(startOf("actionLoad"), sub + "|");
    driver->trigger("actionRecent2");
    QCOMPARE(startOf("actionSave"), home + "|other.xml");
    QVERIFY(choose("actionSave", "saved.xml"));
    QCOMPARE(startOf("actionSave"), home + "|other.xml");
    QCOMPARE(startOf("actionSave"), home + "|saved.xml");
    driver.reset();
    QDir::setCurrent(cwd);
}

QTEST_MAIN(TestPollFiles)
#include "tst_pollfiles.moc"
