#include "app/mainwindow.h"
#include "app/pollstore.h"
#include "support/formcheck.h"

#include <QtTest>
#include <QtWidgets>

// The main window as built from its form: widgets found by object name.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void privateSlots();
    void menus();
    void startState();
    void labelsReadable();
    void controlsTakeClicks_data();
    void controlsTakeClicks();
    void freshPollStore();
    void reset_data();
    void reset();
    void resizeThresholds_data();
    void resizeThresholds();
    void checkBoxSizing_data();
    void checkBoxSizing();

private:
    template<typename T = QWidget>
    T *widget(const char *name) const
    {
        return namedChild<T>(m_window, name);
    }
    void show()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    MainWindow *m_window = nullptr;
    QTemporaryDir m_home;
};

void TestMainWindow::initTestCase()
{
    // The window reads its settings from the home folder: keep it private.
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
}

void TestMainWindow::init()
{
    m_window = new MainWindow;
}

void TestMainWindow::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

// The widgets by name, with what each shows (a spin box its range); the
// editor shows poll 1, function 3.
void TestMainWindow::form()
{
    QCOMPARE(m_window->windowTitle(), QString("Quarvel - Pollwright v1.9"));
    QVERIFY(showsAppIcon(m_window));
    const QString functions = "01 - Read Coil Status|02 - Read Input Coil|03 - Read Holding Reg|"
                              "04 - Read Input Reg|05 - Force Single Coil|06 - Preset Single Register|"
                              "15 - Force Multiple Coils|16 - Write Reg";
    const QVector<FormRow> rows = {
        {"footer2", "QLabel", "status"},
        {"sequencetoggle", "QRadioButton", "Sequence"},
        {"sequencebutton", "QPushButton", "Edit Sequence"},
        {"gobutton", "QPushButton", "GO"},
        {"stopbutton", "QPushButton", "STOP"},
        {"label", "QLabel", "Poll Time"},
        {"timebetweenpolls", "QDoubleSpinBox", "0..99.99"},
        {"label_2", "QLabel", "Repeat"},
        {"repeatspin", "QDoubleSpinBox", "0..99.9"},
        {"nextpoll", "QLabel", "NEXT:"}, // the constructor shows the empty sequence
        {"progressBar", "QProgressBar", "0%"},
        {"groupBox_4", "QGroupBox", "Frame Counters"},
        {"label24242", "QLabel", "Number of polls:"},
        {"label2323", "QLabel", "Valid responses:"},
        {"label_3", "QLabel", "Errors:"},
        {"numofpolls", "QLabel", "0"},
        {"numofvalid", "QLabel", "0"},
        {"numoferror", "QLabel", "0"},
        {"reset", "QPushButton", "reset"},
        {"edittoggle", "QRadioButton", "Edit Polls"},
        {"groupBox", "QGroupBox", "POLL"},
        {"spinBox", "QSpinBox", "1..99"},
        {"singlepoll", "QPushButton", "Single Poll"},
        {"label_6", "QLabel", "Desc"},
        {"label_5", "QLabel", "Slave Addr"},
        {"slaveaddr", "QSpinBox", "1..256"},
        {"addressType", "QLabel", "Reg Addr"},
        {"startaddr", "QSpinBox", "0..300000"},
        {"timeseight", "QPushButton", "x8"},
        {"lblAddrPerItem", "QLabel", "Addresses / item"},
        {"spinAddrPerItem", "QSpinBox", "1..256"},
        {"label_4", "QLabel", "Function"},
        {"fucnum", "QComboBox", functions},
        {"spinName", "QLabel", "# of Items"},
        {"numreg", "QSpinBox", "1..125"},
        {"datatype", "QComboBox", "uInt16|uInt32|Int64|Float32|Double64|SpecialInt|String"},
        {"ordercombo", "QComboBox", "10|01"},
        {"treeWidget", "QTreeWidget", ""},
        {"messagelogcheck", "QCheckBox", "Message Log"},
        {"displaycheck", "QCheckBox", "Display Table"},
        {"feedback", "QPlainTextEdit", ""},
    };
    QCOMPARE(formMismatches(m_window, rows), QString());

    auto *tree = widget<QTreeWidget>("treeWidget");
    QStringList headers;
    for (int column = 0; column < tree->columnCount(); ++column)
        headers << tree->headerItem()->text(column);
    QCOMPARE(headers, QStringList({"Polls", "Address", "Value", "Description"}));
}

// The window's slots in their fixed order, the two that do nothing included.
void TestMainWindow::privateSlots()
{
    const QMetaObject *meta = m_window->metaObject();
    QStringList found;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Slot && method.access() == QMetaMethod::Private)
            found << QString::fromLatin1(method.methodSignature());
    }
    const QString expected =
        "ConnectToPort()|errorReport(QSerialPort::SerialPortError)|readData(int)|"
        "on_numreg_valueChanged(int)|actionLoad_clicked()|on_slaveaddr_valueChanged(int)|"
        "on_startaddr_valueChanged(int)|on_spinBox_valueChanged(int)|actionLogging_clicked()|"
        "on_sequencebutton_clicked()|on_sequencetoggle_toggled(bool)|on_singlepoll_clicked()|"
        "on_datatype_currentIndexChanged(int)|actionSave_clicked()|on_gobutton_clicked()|"
        "on_stopbutton_clicked()|TimeOut()|Sequence_Destroyed()|CheckReadyRead()|"
        "Settings_Clicked()|on_reset_clicked()|abc()|on_timebetweenpolls_valueChanged(double)|"
        "on_ordercombo_currentIndexChanged(QString)|on_fucnum_currentIndexChanged(int)|"
        "onTreeWidgetItemDoubleClicked(QTreeWidgetItem*,int)|LoadRecentPoll(int)|"
        "on_treeWidget_itemChanged(QTreeWidgetItem*,int)|on_timeseight_clicked()|on_SaveClose()|"
        "on_LoadClose()|on_displaycheck_toggled(bool)|on_messagelogcheck_toggled(bool)|"
        "on_spinAddrPerItem_valueChanged(int)|on_ordercombo_activated(QString)|"
        "on_descEdit_editingFinished()|on_datatype_activated(QString)";
    QCOMPARE(found, expected.split('|'));
}

// Each menu's entries in order ("-": a separator) and the names of their
// actions. A home without settings gives five free recent-file slots.
void TestMainWindow::menus()
{
    auto entries = [this](const char *name) {
        QStringList texts;
        auto *menu = widget<QMenu>(name);
        if (!menu)
            return texts;
        texts << menu->title();
        for (QAction *action : menu->actions())
            texts << (action->isSeparator() ? "-" : action->text() + " " + action->objectName());
        return texts;
    };
    QCOMPARE(entries("menuPolls"), QStringList({"File", "Recent Poll Files ", "Save Polls actionSave",
                                                "Load Polls actionLoad", "-", "Logging actionLogging", "-"}));
    QCOMPARE(entries("menuRecent_Polls"),
             QStringList({"Recent Poll Files", " actionRecent1", " actionRecent2", " actionRecent3",
                          " actionRecent4", " actionRecent5"}));
    QCOMPARE(entries("menuComs"), QStringList({"Comms", "new connection actionMenu"}));
    QStringList barMenus;
    for (QAction *action : widget<QMenuBar>("menuBar")->actions())
        barMenus << action->menu()->objectName();
    QCOMPARE(barMenus, (QStringList{"menuPolls", "menuComs"}));
}

void TestMainWindow::startState()
{
    QVERIFY(widget<QRadioButton>("edittoggle")->isChecked());
    QVERIFY(!widget<QRadioButton>("sequencetoggle")->isChecked());
    QVERIFY(!widget("sequencebutton")->isEnabled());
    QVERIFY(!widget("groupBox_3")->isEnabled());
    QVERIFY(widget<QCheckBox>("messagelogcheck")->isChecked());
    QVERIFY(widget<QCheckBox>("displaycheck")->isChecked());
    QVERIFY(widget<QPlainTextEdit>("feedback")->isReadOnly());
    QVERIFY(widget("timeseight")->isHidden());
    QCOMPARE(widget<QDoubleSpinBox>("timebetweenpolls")->value(), 0.5);
    // Poll Time 0.5 s gives a 500 ms countdown on the progress bar.
    QCOMPARE(widget<QProgressBar>("progressBar")->maximum(), 500);
    // Sorting would put poll 12 before poll 3.
    QVERIFY(!widget<QTreeWidget>("treeWidget")->isSortingEnabled());
    // The log check box brings the width up to 778 while the window is built.
    QCOMPARE(m_window->size(), QSize(778, 830));
}

// Every label's text fits in the part of it that no sibling covers. The
// fixed geometries leave little room, so this guards the form's font choice.
void TestMainWindow::labelsReadable()
{
    REQUIRE_FORM_FONT(widget("centralWidget"));
    show();
    for (QLabel *label : m_window->findChildren<QLabel *>()) {
        if (label->text().isEmpty() || label->maximumWidth() <= 2)
            continue; // the queue labels past the fourth are meant to be slivers
        int visible = label->width();
        for (QObject *object : label->parent()->children()) {
            auto *sibling = qobject_cast<QWidget *>(object);
            if (!sibling || sibling == label || sibling->isHidden())
                continue;
            const QRect other = sibling->geometry();
            const QRect mine = label->geometry();
            if (other.x() > mine.x() && other.top() < mine.bottom() && other.bottom() > mine.top())
                visible = qMin(visible, other.x() - mine.x());
        }
        const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->margin();
        QVERIFY2(needed <= visible, qPrintable(QString("%1 \"%2\" needs %3 px, has %4")
                                                   .arg(label->objectName(), label->text())
                                                   .arg(needed)
                                                   .arg(visible)));
    }
}

// A control drawn over a group box must also lie above it: a disabled group
// box on top swallows the clicks meant for the switch beneath.
void TestMainWindow::controlsTakeClicks_data()
{
    QTest::addColumn<bool>("sequenceMode");
    QTest::newRow("edit mode") << false;
    QTest::newRow("sequence mode") << true;
}

void TestMainWindow::controlsTakeClicks()
{
    QFETCH(bool, sequenceMode);
    show();
    if (sequenceMode)
        widget<QRadioButton>("sequencetoggle")->setChecked(true);
    for (QWidget *control : m_window->findChildren<QWidget *>()) {
        const bool input = qobject_cast<QAbstractButton *>(control)
                           || qobject_cast<QAbstractSpinBox *>(control) || qobject_cast<QComboBox *>(control)
                           || qobject_cast<QLineEdit *>(control);
        if (!input || !control->isVisibleTo(m_window) || !control->isEnabled()
            || qobject_cast<QAbstractSpinBox *>(control->parentWidget()))
            continue;
        const QPoint centre = control->mapTo(m_window, control->rect().center());
        QWidget *hit = m_window->childAt(centre);
        QVERIFY2(hit == control || control->isAncestorOf(hit),
                 qPrintable(control->objectName() + " lies under " + (hit ? hit->objectName() : "nothing")));
    }
    // The two switches take turns.
    QTest::mouseClick(widget("edittoggle"), Qt::LeftButton, {}, QPoint(6, 12));
    QVERIFY(widget<QRadioButton>("edittoggle")->isChecked());
    QVERIFY(!widget<QRadioButton>("sequencetoggle")->isChecked());
}

// The window fills the store afresh (the defaults themselves: tst_pollstore).
void TestMainWindow::freshPollStore()
{
    delete m_window;
    PollStore[7].function = "16";
    PollStore[7].write = QStringList{"1", "2"};
    PollStore[98].slave = "junk";
    m_window = new MainWindow;
    // Poll 1, loaded into the editor, takes the shown order as well.
    QCOMPARE(QStringList({PollStore[1].slave, PollStore[1].function, PollStore[1].write.join(',')}),
             QStringList({"1", "3", "0"}));
    for (int i = 1; i < MaxPolls; ++i)
        QVERIFY2(PollStore[size_t(i)] == PollStore[1], qPrintable(QString::number(i + 1)));
}

void TestMainWindow::reset_data()
{
    QTest::addColumn<QStringList>("counters"); // polls, valid, errors
    QTest::newRow("counts") << QStringList{"12", "10", "2"};
    QTest::newRow("not numbers") << QStringList{"abc", "", "99999999999999999999"};
}

void TestMainWindow::reset()
{
    QFETCH(QStringList, counters);
    const char *names[] = {"numofpolls", "numofvalid", "numoferror"};
    for (int i = 0; i < 3; ++i)
        widget<QLabel>(names[i])->setText(counters[i]);
    QTest::mouseClick(widget<QPushButton>("reset"), Qt::LeftButton);
    for (const char *name : names)
        QCOMPARE(widget<QLabel>(name)->text(), QString("0"));
}

void TestMainWindow::resizeThresholds_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("display");
    QTest::addColumn<bool>("log");
    QTest::addColumn<QSize>("finalSize");

    QTest::newRow("narrow") << QSize(284, 830) << false << true << QSize(284, 830);
    QTest::newRow("at width threshold") << QSize(285, 830) << true << true << QSize(285, 830);
    QTest::newRow("low") << QSize(778, 639) << true << false << QSize(778, 640);
    QTest::newRow("at height threshold") << QSize(778, 640) << true << true << QSize(778, 640);
    QTest::newRow("small") << QSize(200, 300) << false << false << QSize(285, 640);
}

void TestMainWindow::resizeThresholds()
{
    QFETCH(QSize, size);
    QFETCH(bool, display);
    QFETCH(bool, log);
    QFETCH(QSize, finalSize);

    show();
    m_window->resize(size);

    QTRY_COMPARE(widget<QCheckBox>("displaycheck")->isChecked(), display);
    QTRY_COMPARE(widget<QCheckBox>("messagelogcheck")->isChecked(), log);
    QTRY_COMPARE(m_window->size(), finalSize);
    QCOMPARE(widget("treeWidget")->isHidden(), !display);
    QCOMPARE(widget("feedback")->isHidden(), !log);
    // The tree and the log follow the window's width, the log its height.
    QTRY_COMPARE(widget("treeWidget")->width(), finalSize.width() - 280 - 5);
    QTRY_COMPARE(widget("feedback")->width(), finalSize.width() - 10 - 5);
    QTRY_COMPARE(widget("feedback")->height(), finalSize.height() - 630 - 25);
    QCOMPARE(widget("treeWidget")->height(), 611);
}

// The check boxes, clicked in the given order (d: display, l: log), size the window.
void TestMainWindow::checkBoxSizing_data()
{
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<QSize>("size");

    QTest::newRow("log off") << "l" << QSize(778, 640);
    QTest::newRow("display off") << "d" << QSize(778, 830);
    QTest::newRow("display then log off") << "dl" << QSize(285, 640);
    QTest::newRow("log then display off") << "ld" << QSize(285, 640);
    QTest::newRow("both off, display on") << "ldd" << QSize(778, 640);
    QTest::newRow("both off, log on") << "ldl" << QSize(778, 830);
}

void TestMainWindow::checkBoxSizing()
{
    QFETCH(QString, clicks);
    QFETCH(QSize, size);

    show();
    auto *display = widget<QCheckBox>("displaycheck");
    auto *log = widget<QCheckBox>("messagelogcheck");
    for (QChar c : clicks)
        QTest::mouseClick(c == 'd' ? display : log, Qt::LeftButton, {}, QPoint(5, display->height() / 2));

    QTRY_COMPARE(m_window->size(), size);
    QCOMPARE(widget("treeWidget")->isVisible(), display->isChecked());
    QCOMPARE(widget("feedback")->isVisible(), log->isChecked());
    QCOMPARE(widget("treeWidget")->isEnabled(), display->isChecked());
    QCOMPARE(widget("feedback")->isEnabled(), log->isChecked());
    // Settled sizes sit on the thresholds and switch nothing else off.
    QTest::qWait(20);
    QCOMPARE(m_window->size(), size);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
