// The "Logging" window as the main window opens it: choosing the report
// folder, its folder menu, what "ok" and "cancel" store, and the report file
// that a failed poll then writes.
#include "app/windowdriver.h"
#include "modbus/connectionsettings.h"
#include "storage/settingsfile.h"
#include "support/dialogscript.h"
#include "support/files.h"

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void reportFolder();
    void closedFolderStaysClosed();

private:
    QTreeView *tree() const { return window->findChild<QTreeView *>("treeView"); }
    QFileSystemModel *model() const { return qobject_cast<QFileSystemModel *>(tree()->model()); }
    QString logpath() const { return window->findChild<QLineEdit *>("logpath")->text(); }
    QWidget *open()
    {
        driver->trigger("actionLogging");
        return window = openWindow("logging");
    }
    // The row of a folder in the tree's viewport, the folders above it opened
    // and its own folder's rows loaded (the model reads folders in a thread).
    QPoint row(const QString &path)
    {
        const QPersistentModelIndex index = model()->index(path);
        tree()->scrollTo(index);
        const int onDisk =
            QDir(QFileInfo(path).path()).entryList(QDir::AllDirs | QDir::NoDotAndDotDot).size();
        pumpUntil([&] { return path == "/" || model()->rowCount(index.parent()) == onDisk; }, 3000);
        tree()->scrollTo(index);
        return tree()->visualRect(index).center();
    }
    void click(const QString &path) { QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, row(path)); }
    void menu(const QString &path, const QString &entry)
    {
        row(path);
        menuEntry(window, tree(), model()->index(path), entry);
    }

    std::unique_ptr<WindowDriver> driver;
    QPointer<QWidget> window;
};

// First run with an empty report folder: the window offers nothing until a
// folder is chosen; "ok" stores the choice, and a failed poll's record goes
// into that folder.
void TestLogging::reportFolder()
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    Connection = ConnectionSettings();
    saveSettings(); // logging off, no folder
    const QString base = home.path() + "/logs";
    for (const char *folder : {"plain", "empty", "full/inner"})
        QVERIFY(QDir().mkpath(base + "/" + folder));
    writeBytes(base + "/full/notes.txt", "");
    Rig rig;
    QVERIFY2(rig.start(false, {"--size", "10"}), qPrintable(rig.error));
    fillPollDefaults();
    driver = std::make_unique<WindowDriver>(home.path());
    QVERIFY(rig.connect(*driver));
    DialogScript boxes({"Ok", "=Größe \"x\"", "=../escape", "-", "=empty", "Ok", "Yes", "Ok", "No", "Yes"});

    // Logging off needs no folder.
    QVERIFY(open());
    press(window, "okbutton");
    QVERIFY(!window);
    QVERIFY(open());
    QCOMPARE(model()->filePath(tree()->currentIndex()), home.path());
    QCOMPARE(logpath(), QString());
    QTest::mouseClick(window->findChild<QCheckBox *>("loggingcheck"), Qt::LeftButton, {}, QPoint(6, 8));
    press(window, "okbutton");
    QVERIFY(window);
    click("/");
    QCOMPARE(logpath(), QString());
    menu(base + "/plain", "New Folder");
    menu(base + "/plain", "New Folder");
    menu(base + "/plain", "Rename");
    menu(base + "/plain", "Rename");
    menu(base + "/full", "Delete");
    menu(base + "/empty", "Delete");
    menu(base + "/empty", "Delete");
    QCOMPARE(boxes.shown,
             QStringList({"No Directory: A directory to store the logs has to be specified",
                          "Create New Folder: Folder Name:", "Create New Folder: Folder Name:",
                          "Rename Folder: Folder Name: [plain]", "Rename Folder: Folder Name: [plain]",
                          "Rename Folder: Can't rename this.",
                          "Delete Folder: Are you sure you want to delete the \"full\" folder? {Yes,No}",
                          "Delete Folder: Folder needs to be empty to be deleted.",
                          "Delete Folder: Are you sure you want to delete the \"empty\" folder? {Yes,No}",
                          "Delete Folder: Are you sure you want to delete the \"empty\" folder? {Yes,No}"}));
    QCOMPARE(QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList({"full", "plain"}));
    QVERIFY(QDir(base + "/plain/Größe \"x\"").exists());
    // The menu goes when its folder vanishes under it.
    click(base + "/plain/Größe \"x\"");
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                      tree()->viewport()->mapTo(window, row(base + "/plain/Größe \"x\"")));
    QVERIFY(window->findChild<QMenu *>()->isVisible());
    QVERIFY(QDir(base + "/plain").rmdir("Größe \"x\""));
    WAIT_FOR(!window->findChild<QMenu *>()->isVisible(), 3000);
    QCOMPARE(logpath(), base + "/plain/Größe \"x\"");
    click(base + "/plain");
    QCOMPARE(logpath(), base + "/plain");
    press(window, "okbutton");
    QVERIFY(!window);

    // "cancel" stores nothing.
    QVERIFY(open());
    QTest::mouseClick(window->findChild<QCheckBox *>("loggingcheck"), Qt::LeftButton, {}, QPoint(6, 8));
    click(base + "/full");
    press(window, "cancelbutton");
    Connection = ConnectionSettings();
    loadSettings();
    QCOMPARE(QString::number(Connection.loggingOn) + Connection.logFolder, "1" + base + "/plain");

    PollStore[0].startaddr = "20"; // past the slave's table: the reply never completes
    driver->click("singlepoll");
    WAIT_FOR(driver->count("numoferror") == 1, 3000);
    const QStringList report =
        QString::fromUtf8(readBytes(base + "/plain/" + QDate::currentDate().toString(Qt::TextDate) + ".txt"))
            .split('\n');
    QCOMPARE(report.value(1), QString("Slave: 1 / Function: 3 / Address: 20"));
    QCOMPARE(boxes.shown.size(), 10);
}

// The tree opens down to the stored folder while it loads, until the user
// closes a folder above it with its arrow, which is no press on a row: a
// folder appearing afterwards leaves it closed.
void TestLogging::closedFolderStaysClosed()
{
    QTemporaryDir home;
    QVERIFY(QDir().mkpath(home.path() + "/full/inner"));
    driver = std::make_unique<WindowDriver>(home.path());
    Connection.logFolder = home.path() + "/full/inner";
    QVERIFY(open());
    const QPersistentModelIndex folder = model()->index(home.path());
    WAIT_FOR(tree()->isExpanded(folder), 3000);
    const QRect rect = tree()->visualRect(folder);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {},
                      QPoint(rect.left() - tree()->indentation() / 2, rect.center().y()));
    QVERIFY(!tree()->isExpanded(folder));
    QVERIFY(QDir().mkdir(home.path() + "/full/later"));
    WAIT_FOR(model()->index(home.path() + "/full/later").isValid(), 3000);
    pumpUntil([] { return false; }, 100); // the window's reaction comes from its event loop
    QVERIFY(!tree()->isExpanded(folder));
}

QTEST_MAIN(TestLogging)
#include "tst_logging.moc"
