#include "windowdriver.h"

#include "app/pollstore.h"
#include "storage/pollfile.h"
#include "storage/settingsfile.h"
#include "support/dialogscript.h"
#include "support/slaveprocess.h"
#include "windows/fileexplorer.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const QStringList FreeSlots{"", "", "", "", ""};

QAction *action(const WindowDriver &driver, const char *name)
{
    return driver.window()->findChild<QAction *>(QLatin1String(name));
}

QStringList recentTexts(const WindowDriver &driver)
{
    QStringList texts;
    for (int i = 1; i <= 5; ++i)
        texts << action(driver, qPrintable(QString("actionRecent%1").arg(i)))->text();
    return texts;
}

fileexplorer *openBrowser(const WindowDriver &driver, const char *menuAction)
{
    action(driver, menuAction)->trigger();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *browser = qobject_cast<fileexplorer *>(w); browser && browser->isVisible())
            return browser;
    }
    return nullptr;
}

// Opens the browser from the menu, types the name into its current folder and
// confirms; true when the browser went away.
bool choose(const WindowDriver &driver, const char *menuAction, const QString &name)
{
    fileexplorer *browser = openBrowser(driver, menuAction);
    if (!browser)
        return false;
    QPointer<fileexplorer> guard(browser);
    browser->findChild<QLineEdit *>("filename")->setText(name);
    QTest::mouseClick(browser->findChild<QPushButton *>("saveload"), Qt::LeftButton);
    return guard.isNull();
}

// Three polls of different kinds and a sequence that runs them out of order.
void setUpPolls()
{
    fillPollDefaults();
    // Type and order set as the editor would show them, so that showing a
    // poll changes nothing in it.
    for (int i = 0; i < 3; ++i) {
        PollStore[size_t(i)].val2 = "0";
        PollStore[size_t(i)].val3 = "10";
    }
    PollStore[0].startaddr = "10";
    PollStore[0].val1 = "3";
    PollStore[1].function = "16";
    PollStore[1].val2 = "3"; // Float32, two registers each
    PollStore[1].addrperitem = "2";
    PollStore[1].val3 = "1032";
    PollStore[1].write = QStringList{"1.5", "-2.25"};
    PollStore[1].val1 = "2";
    PollStore[1].polldesc = "setpoints";
    PollStore[2].function = "1";
    PollStore[2].startaddr = "4";
    PollStore[2].val1 = "12";
    Sequence = {2, 1, 3};
}

// Runs the window's sequence at full speed until this many replies are valid.
bool runSequence(const WindowDriver &driver, int replies)
{
    driver.widget<QDoubleSpinBox>("timebetweenpolls")->setValue(0);
    driver.widget<QDoubleSpinBox>("repeatspin")->setValue(0);
    driver.click("sequencetoggle");
    driver.click("gobutton");
    const bool done = pumpUntil([&] { return driver.count("numofvalid") >= replies; }, 10000);
    driver.click("stopbutton");
    return done && driver.count("numoferror") == 0;
}

QStringList frames(const SlaveProcess &slave, int count)
{
    QStringList hex;
    for (const LoggedRequest &request : slave.requests().mid(0, count))
        hex << request.bytes.toHex(' ');
    return hex;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestPollFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void saveAndLoadBack();
    void saveIntoNewFolder();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void recentList();
    void failedLoad();
    void browserStartFolder();
    void relativeHome();
    void recentFileInNewProcess();
    void closingEndsTheProgram_data();
    void closingEndsTheProgram();
};

void TestPollFiles::init()
{
    fillPollDefaults();
    Sequence.clear();
    recentFiles = FreeSlots;
}

// A save writes the polls and the sequence, fills the first recent slot and
// the settings file; a load through the browser brings them back.
void TestPollFiles::saveAndLoadBack()
{
    DialogScript script;
    setUpPolls();
    WindowDriver driver;
    setUpPolls(); // the window gave every poll its defaults
    const QString path = driver.home() + "/plant.xml";
    QVERIFY(choose(driver, "actionSave", "plant"));
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(recentTexts(driver), (QStringList{path, "", "", "", ""}));
    QVERIFY(readXmlFile(settingsFilePath()).contains("<recent1>" + path + "</recent1>"));

    const auto saved = PollStore;
    // Another file with another sequence: each load replaces the sequence
    // the window runs, not only the stored one.
    fillPollDefaults();
    Sequence = {3};
    savePollFile(driver.home() + "/other.xml");
    driver.widget<QSpinBox>("spinBox")->setValue(2);
    QVERIFY(choose(driver, "actionLoad", "other.xml"));
    QCOMPARE(driver.text("nextpoll"), QString("NEXT:P3"));
    QCOMPARE(driver.widget<QSpinBox>("spinBox")->value(), 1);

    action(driver, "actionRecent2")->trigger();
    QVERIFY(PollStore == saved);
    QCOMPARE(Sequence, (QList<int>{2, 1, 3}));
    QCOMPARE(driver.text("nextpoll"), QString("NEXT:P2"));
    QCOMPARE(recentTexts(driver), (QStringList{path, driver.home() + "/other.xml", "", "", ""}));
    QVERIFY(script.shown.isEmpty());
}

// A folder made in the browser's menu, chosen, and saved into.
void TestPollFiles::saveIntoNewFolder()
{
    DialogScript script;
    setUpPolls();
    WindowDriver driver;
    setUpPolls();
    fileexplorer *browser = openBrowser(driver, "actionSave");
    QVERIFY(browser);
    QPointer<fileexplorer> guard(browser);
    auto *tree = browser->findChild<QTreeView *>("treeView");
    auto *folders = qobject_cast<QFileSystemModel *>(tree->model());
    QVERIFY(folders);
    QTRY_COMPARE(folders->filePath(tree->currentIndex()), driver.home());
    script.text("line 2");
    QVERIFY(QMetaObject::invokeMethod(browser, "NewFolder"));
    const QString folder = driver.home() + "/line 2";
    QTRY_VERIFY(folders->index(folder).isValid());
    tree->setCurrentIndex(folders->index(folder));
    QVERIFY(QMetaObject::invokeMethod(browser, "on_treeView_clicked", Q_ARG(QModelIndex, tree->currentIndex())));
    QCOMPARE(browser->findChild<QLineEdit *>("directory")->text(), folder + "/");
    browser->findChild<QLineEdit *>("filename")->setText("pumps");
    QTest::mouseClick(browser->findChild<QPushButton *>("saveload"), Qt::LeftButton);
    QVERIFY(guard.isNull());

    QCOMPARE(script.titles(), QStringList{"Create New Folder: Folder Name:"});
    fillPollDefaults();
    QCOMPARE(loadPollFile(folder + "/pumps.xml"), QString());
    QCOMPARE(PollStore[1].polldesc, QString("setpoints"));
    QCOMPARE(recentTexts(driver).first(), folder + "/pumps.xml");
}

void TestPollFiles::cancelChangesNothing_data()
{
    QTest::addColumn<QString>("menuAction");
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("save, cancel") << "actionSave" << false;
    QTest::newRow("load, cancel") << "actionLoad" << false;
    QTest::newRow("save, window closed") << "actionSave" << true;
    QTest::newRow("load, window closed") << "actionLoad" << true;
}

void TestPollFiles::cancelChangesNothing()
{
    QFETCH(QString, menuAction);
    QFETCH(bool, closeWindow);
    setUpPolls();
    WindowDriver driver;
    setUpPolls();
    QFile other(driver.home() + "/other.xml");
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write("<polls/>") > 0);
    other.close();
    const auto before = PollStore;
    DialogScript script;
    fileexplorer *browser = openBrowser(driver, qPrintable(menuAction));
    QVERIFY(browser);
    QPointer<fileexplorer> guard(browser);
    browser->findChild<QLineEdit *>("filename")->setText("other.xml");
    if (closeWindow)
        browser->close();
    else
        QTest::mouseClick(browser->findChild<QPushButton *>("cancelbutton"), Qt::LeftButton);
    QTRY_VERIFY(guard.isNull());
    QVERIFY(PollStore == before);
    QCOMPARE(Sequence, (QList<int>{2, 1, 3}));
    QCOMPARE(recentTexts(driver), FreeSlots);
    QVERIFY(!QFileInfo::exists(settingsFilePath()));
    QCOMPARE(QDir(driver.home()).entryList(QDir::Files), QStringList{"other.xml"});
    QVERIFY(script.shown.isEmpty());
}

// Same path twice, a sixth path, a middle entry loaded, a free slot chosen.
void TestPollFiles::recentList()
{
    DialogScript script;
    WindowDriver driver;
    const QString home = driver.home() + "/";
    for (const char *name : {"a", "b"})
        QVERIFY(choose(driver, "actionSave", name));
    script.button(QMessageBox::Save); // a.xml is there: overwrite it
    QVERIFY(choose(driver, "actionSave", "a"));
    QCOMPARE(script.titles(), QStringList{"Save: Are you sure you want \n to overwrite this file?"});
    script.shown.clear();
    QCOMPARE(recentTexts(driver), (QStringList{home + "a.xml", home + "b.xml", "", "", ""}));
    // A free slot does nothing.
    action(driver, "actionRecent4")->trigger();
    QVERIFY(script.shown.isEmpty());
    QCOMPARE(recentTexts(driver), (QStringList{home + "a.xml", home + "b.xml", "", "", ""}));

    for (const char *name : {"c", "d", "e", "f"})
        QVERIFY(choose(driver, "actionSave", name));
    const QStringList six{home + "f.xml", home + "e.xml", home + "d.xml", home + "c.xml", home + "a.xml"};
    QCOMPARE(recentTexts(driver), six);

    PollStore[0].polldesc = "changed";
    action(driver, "actionRecent3")->trigger();
    QVERIFY(script.shown.isEmpty());
    QCOMPARE(PollStore[0].polldesc, QString()); // d.xml was saved with the defaults
    QCOMPARE(recentTexts(driver),
             (QStringList{home + "d.xml", home + "f.xml", home + "e.xml", home + "c.xml", home + "a.xml"}));
    // The list survives a restart through the settings file.
    recentFiles = FreeSlots;
    loadSettings();
    QCOMPARE(recentFiles, recentTexts(driver));
}

// A file that does not load, chosen in the browser again and again, shows
// the real "File Error" box each time while the folder changes under it
// (downloads, other programs), and the window goes on: the recent list keeps
// its entries, the editor shows poll 1, and a good file still loads. A file
// gone from the recent list fails the same way.
void TestPollFiles::failedLoad()
{
    WindowDriver driver;
    const QString home = driver.home();
    const QList<QPair<QString, QByteArray>> broken{
        {"text.xml", "polls, but not XML\n"},
        {"root.xml", "<other><x/></other>"},
        {"sequence.xml", "<polls><Sequence><S>1</S><S>100</S></Sequence><Poll1/><Poll2/></polls>"}};
    for (const auto &file : broken) {
        QFile out(home + "/" + file.first);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file.second) > 0);
    }
    // The connection dialog reads the settings file, recent list included.
    QVERIFY(driver.waitForDialog());
    recentFiles = QStringList{home + "/gone.xml", "/elsewhere/x.xml", "", "", ""};
    DialogScript boxes;
    int made = 0;
    boxes.whileOpen = [&] { QDir(home).mkdir(QString("new %1").arg(++made)); };
    boxes.holdMs = 50;
    QStringList expected;
    for (int i = 0; i < 21; ++i) {
        driver.widget<QSpinBox>("spinBox")->setValue(7);
        const QString name = broken.at(i % 3).first;
        QVERIFY(choose(driver, "actionLoad", name));
        expected << (name == "text.xml" ? "File Error: Couldn't Load File" : "File Error: Invalid file");
        QTRY_COMPARE(boxes.titles(), expected);
        QTRY_COMPARE(boxes.answered, expected.size());
        QCOMPARE(driver.widget<QSpinBox>("spinBox")->value(), 1);
    }
    QCOMPARE(recentFiles, (QStringList{home + "/gone.xml", "/elsewhere/x.xml", "", "", ""}));

    action(driver, "actionRecent1")->trigger();
    QTRY_COMPARE(boxes.answered, 22);
    QCOMPARE(boxes.titles().last(), QString("File Error: Couldn't Load File"));
    // The next browser starts at the file that failed.
    fileexplorer *browser = openBrowser(driver, "actionSave");
    QVERIFY(browser);
    QCOMPARE(browser->findChild<QLineEdit *>("filename")->text(), QString("gone.xml"));
    QPointer<fileexplorer> closed(browser);
    browser->close();
    QTRY_VERIFY(closed.isNull());

    setUpPolls();
    savePollFile(home + "/good.xml");
    fillPollDefaults();
    QVERIFY(choose(driver, "actionLoad", "good.xml"));
    QCOMPARE(PollStore[1].polldesc, QString("setpoints"));
    QCOMPARE(boxes.shown.size(), 22);
}

// After a load the browser starts at that file; after a save at the last
// loaded one; after a cancel at the most recent file.
void TestPollFiles::browserStartFolder()
{
    DialogScript script;
    WindowDriver driver;
    QVERIFY(QDir(driver.home()).mkpath("site one/sub"));
    const QString loaded = driver.home() + "/site one/sub/loaded.xml";
    savePollFile(loaded);
    recentFiles = QStringList{loaded, "", "", "", ""};
    action(driver, "actionRecent1")->trigger();
    QVERIFY(script.shown.isEmpty());

    const auto startOf = [&](const char *menuAction) {
        fileexplorer *browser = openBrowser(driver, menuAction);
        if (!browser)
            return QStringList();
        const QStringList start{browser->findChild<QLineEdit *>("directory")->text(),
                                browser->findChild<QLineEdit *>("filename")->text()};
        browser->close();
        QTest::qWait(0);
        return start;
    };
    const QString folder = driver.home() + "/site one/sub/";
    QCOMPARE(startOf("actionSave"), (QStringList{folder, "loaded.xml"}));
    QCOMPARE(startOf("actionLoad"), (QStringList{folder, ""}));

    // A cancelled browser left chosenPath empty: the most recent file leads.
    recentFiles = QStringList{driver.home() + "/recent.xml", "", "", "", ""};
    QCOMPARE(startOf("actionSave"), (QStringList{driver.home() + "/", "recent.xml"}));
}

// Started with a relative HOME, as some launchers do, the browsers and the
// logging window open at that folder made absolute, and a Save writes where
// the browser showed.
void TestPollFiles::relativeHome()
{
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkdir("relhome"));
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    const QString home = QDir::cleanPath(work.path() + "/relhome");
    {
        WindowDriver driver("relhome");
        QVERIFY(driver.waitForDialog());
        recentFiles = FreeSlots;
        for (const char *menuAction : {"actionLoad", "actionSave"}) {
            fileexplorer *browser = openBrowser(driver, menuAction);
            QVERIFY(browser);
            QCOMPARE(browser->findChild<QLineEdit *>("directory")->text(), home + "/");
            browser->close();
            QTRY_VERIFY(!QApplication::topLevelWidgets().contains(browser));
        }
        QVERIFY(choose(driver, "actionSave", "site.xml"));
        QVERIFY(QFileInfo::exists(home + "/site.xml"));
        QCOMPARE(recentTexts(driver).first(), home + "/site.xml");

        action(driver, "actionLogging")->trigger();
        QWidget *logging = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "logging" && w->isVisible())
                logging = w;
        }
        QVERIFY(logging);
        auto *tree = logging->findChild<QTreeView *>("treeView");
        auto *model = qobject_cast<QFileSystemModel *>(tree->model());
        QCOMPARE(model->filePath(tree->currentIndex()), home);
    }
    QDir::setCurrent(cwd);
}

// A poll file saved through the browser and loaded back from "Recent Poll
// Files" by a new process gives the same polls and sequence, and the same
// frames on the wire.
void TestPollFiles::recentFileInNewProcess()
{
    SlaveProcess slave;
    QVERIFY2(slave.startTcp(), qPrintable(slave.errorString()));
    setUpPolls();
    QTemporaryDir home; // shared with the second process
    const QString savedPath = home.path() + "/run.xml";
    QStringList firstRun;
    {
        WindowDriver driver(home.path());
        setUpPolls();
        QVERIFY(driver.connectTcp(slave.port(), true));
        QVERIFY(choose(driver, "actionSave", "run.xml"));
        QVERIFY(runSequence(driver, 6));
        firstRun = frames(slave, 6);
    }
    const int before = slave.requests().size();

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--load-recent-and-run", QString::number(slave.port()), home.path() + "/resaved.xml"});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 0);

    // A field never set comes back empty rather than null, so both sides
    // compare as loaded and saved again.
    QCOMPARE(loadPollFile(savedPath), QString());
    savePollFile(home.path() + "/expected.xml");
    QVERIFY(!fileBytes(home.path() + "/expected.xml").isEmpty());
    QCOMPARE(fileBytes(home.path() + "/resaved.xml"), fileBytes(home.path() + "/expected.xml"));
    QCOMPARE(frames(slave, before + 6).mid(before), firstRun);
}

// Closing the main window ends the program while a sequence runs and other
// windows are open: within a second, and with no request to the slave after
// the close.
void TestPollFiles::closingEndsTheProgram_data()
{
    QTest::addColumn<QString>("open");
    QTest::newRow("two logging windows") << "logging";
    QTest::newRow("sequence editor") << "sequence";
    QTest::newRow("load browser") << "load";
    QTest::newRow("save browser") << "save";
}

void TestPollFiles::closingEndsTheProgram()
{
    QFETCH(QString, open);
    SlaveProcess slave;
    QVERIFY2(slave.startTcp(), qPrintable(slave.errorString()));
    QTemporaryDir home;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--run-and-close", QString::number(slave.port()), open});
    QVERIFY(child.waitForReadyRead(30000));
    const QList<QByteArray> line = child.readLine().trimmed().split(' ');
    QVERIFY2(line.size() == 3 && line.at(0) == "closing", line.join(' ').constData());
    const qint64 closedAt = line.at(1).toLongLong();
    const int sent = line.at(2).toInt();
    QVERIFY(child.waitForFinished(10000));
    const qint64 endedAt = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(endedAt - closedAt < 1000,
             qPrintable(QString("ended %1 ms after the close").arg(endedAt - closedAt)));
    // Every request the slave saw was sent before the close; the last one
    // may still have sat in the socket's buffer.
    QVERIFY(sent >= 5);
    QTest::qWait(200);
    const int seen = slave.requests().size();
    QVERIFY2(seen == sent || seen == sent - 1, qPrintable(QString("%1 sent, %2 seen").arg(sent).arg(seen)));
}

// The second process of recentFileInNewProcess: a fresh window on the given
// home loads the first recent file, resaves it and runs its sequence.
static int loadRecentAndRun(quint16 port, const QString &resavePath)
{
    fillPollDefaults();
    Sequence.clear();
    WindowDriver driver(QFile::decodeName(qgetenv("HOME")));
    if (!driver.connectTcp(port, true))
        return 2;
    action(driver, "actionRecent1")->trigger();
    savePollFile(resavePath);
    return runSequence(driver, 6) ? 0 : 3;
}

// The child of closingEndsTheProgram: runs a sequence at full speed, opens
// the windows named, closes the main window as a user does and runs the
// event loop as the program does, saying when it closed.
static int runAndClose(quint16 port, const QString &open)
{
    fillPollDefaults();
    Sequence = {1, 2};
    WindowDriver driver(QFile::decodeName(qgetenv("HOME")));
    if (!driver.connectTcp(port, true))
        return 2;
    driver.widget<QDoubleSpinBox>("timebetweenpolls")->setValue(0);
    driver.widget<QDoubleSpinBox>("repeatspin")->setValue(0);
    driver.click("sequencetoggle");
    driver.click("gobutton");
    if (!pumpUntil([&] { return driver.count("numofvalid") >= 5; }, 10000))
        return 3;
    if (open == "logging") {
        action(driver, "actionLogging")->trigger();
        action(driver, "actionLogging")->trigger();
    } else if (open == "sequence") {
        driver.click("sequencebutton");
    } else {
        action(driver, open == "load" ? "actionLoad" : "actionSave")->trigger();
    }
    QTimer::singleShot(100, driver.window(), [&driver] {
        printf("closing %lld %d\n", QDateTime::currentMSecsSinceEpoch(), driver.count("numofpolls"));
        fflush(stdout);
        QCloseEvent close;
        QApplication::sendEvent(driver.window(), &close);
    });
    return QApplication::exec();
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--run-and-close")
        return runAndClose(quint16(QByteArray(argv[2]).toUInt()), QString::fromLocal8Bit(argv[3]));
    if (argc == 4 && QByteArray(argv[1]) == "--load-recent-and-run")
        return loadRecentAndRun(quint16(QByteArray(argv[2]).toUInt()), QString::fromLocal8Bit(argv[3]));
    TestPollFiles test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pollfiles.moc"
