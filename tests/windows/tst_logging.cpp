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
    QString logpath() const { return window->findChild<QLineEdit *>("logpath")->text(); }
    QWidget *open()
    {
        driver->trigger("actionLogging");
        return window = openWindow("logging");
    }
    void click(const QString &path)
    {
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rowAt(tree(), path));
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
    const QString base = home.path() + "/logs/", made = base + "plain/Größe \"x\"";
    for (const char *folder : {"plain", "empty", "full/inner"})
        QVERIFY(QDir().mkpath(base + folder));
    writeBytes(base + "full/notes.txt", "");
    Rig rig;
    QVERIFY2(rig.start(false, {"--size", "10"}), qPrintable(rig.error));
    fillPollDefaults();
    driver = std::make_unique<WindowDriver>(home.path());
    QVERIFY(rig.connect(*driver));
    DialogScript boxes({"Ok", "=Größe \"x\"", "=../escape", "-", "=empty", "Ok", "Yes", "Ok", "No", "Yes"});

    // Logging off needs no folder.
    QVERIFY(open());
    act(window, "okbutton");
    QVERIFY(!window);
    QVERIFY(open());
    QCOMPARE(qobject_cast<QFileSystemModel *>(tree()->model())->filePath(tree()->currentIndex()),
             home.path());
    QCOMPARE(logpath(), QString());
    QTest::mouseClick(window->findChild<QCheckBox *>("loggingcheck"), Qt::LeftButton, {}, QPoint(6, 8));
    act(window, "okbutton");
    QVERIFY(window);
    click("/");
    QCOMPARE(logpath(), QString());
    for (const char *step : {"plain|New Folder", "plain|New Folder", "plain|Rename", "plain|Rename",
                             "full|Delete", "empty|Delete", "empty|Delete"})
        menuEntry(window, tree(), base + QString(step).section('|', 0, 0), QString(step).section('|', 1));
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
    // The menu goes when its folder vanishes under it.
    click(made);
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                      tree()->viewport()->mapTo(window, rowAt(tree(), made)));
    QVERIFY(window->findChild<QMenu *>()->isVisible());
    QVERIFY(QDir(base + "plain").rmdir("Größe \"x\""));
    WAIT_FOR(!window->findChild<QMenu *>()->isVisible(), 3000);
    QCOMPARE(logpath(), made);
    click(base + "plain");
    QCOMPARE(logpath(), base + "plain");
    act(window, "okbutton");
    QVERIFY(!window);

    // "cancel" stores nothing.
    QVERIFY(open());
    QTest::mouseClick(window->findChild<QCheckBox *>("loggingcheck"), Qt::LeftButton, {}, QPoint(6, 8));
    click(base + "full");
    act(window, "cancelbutton");
    Connection = ConnectionSettings();
    loadSettings();
    QCOMPARE(QString::number(Connection.loggingOn) + Connection.logFolder, "1" + base + "plain");

    PollStore[0].startaddr = "20"; // past the slave's table: the reply never completes
    driver->click("singlepoll");
    WAIT_FOR(driver->count("numoferror") == 1, 3000);
    const QString report = readBytes(base + "plain/" + QDate::currentDate().toString(Qt::TextDate) + ".txt");
    QCOMPARE(report.section('\n', 1, 1), QString("Slave: 1 / Function: 3 / Address: 20"));
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
    auto *model = qobject_cast<QFileSystemModel *>(tree()->model());
    const QPersistentModelIndex folder = model->index(home.path());
    WAIT_FOR(tree()->isExpanded(folder), 3000);
    const QRect rect = tree()->visualRect(folder);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {},
                      QPoint(rect.left() - tree()->indentation() / 2, rect.center().y()));
    QVERIFY(!tree()->isExpanded(folder));
    QVERIFY(QDir().mkdir(home.path() + "/full/later"));
    WAIT_FOR(model->index(home.path() + "/full/later").isValid(), 3000);
    pumpUntil([] { return false; }, 100); // the window's reaction comes from its event loop
    QVERIFY(!tree()->isExpanded(folder));
}

QTEST_MAIN(TestLogging)
#include "tst_logging.moc"
