#include "app/mainwindow.h"
#include "app/pollstore.h"

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

    void widgets_data();
    void widgets();
    void properties_data();
    void properties();
    void layouts_data();
    void layouts();
    void window();
    void menus_data();
    void menus();
    void menuBarPalette_data();
    void menuBarPalette();
    void labelsReadable();
    void controlsTakeClicks_data();
    void controlsTakeClicks();
    void startState();
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
        T *found = m_window->findChild<T *>(QLatin1String(name));
        if (!found)
            qWarning("no %s named %s", T::staticMetaObject.className(), name);
        return found;
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

// Identity and placement of every widget. Geometry is left null for widgets a
// layout places; text is null for widgets without one (group boxes: title).
void TestMainWindow::widgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QVariant>("text");

    const QVariant none;
    const QRect byLayout;
    auto row = [](const char *name, const char *cls, const char *parent, QRect geometry, QVariant text) {
        QTest::newRow(name) << QString(cls) << QString(parent) << geometry << text;
    };
    row("centralWidget", "QWidget", "MainWindow", byLayout, none);
    row("footer2", "QLabel", "centralWidget", {5, 0, 271, 25}, "status");
    row("sequencetoggle", "QRadioButton", "centralWidget", {10, 30, 115, 24}, "Sequence");
    row("sequencebutton", "QPushButton", "centralWidget", {110, 30, 121, 21}, "Edit Sequence");
    row("groupBox_3", "QGroupBox", "centralWidget", {10, 30, 265, 121}, "");
    row("gobutton", "QPushButton", "groupBox_3", {0, 40, 51, 27}, "GO");
    row("stopbutton", "QPushButton", "groupBox_3", {50, 40, 51, 27}, "STOP");
    row("label", "QLabel", "groupBox_3", {110, 23, 69, 18}, "Poll Time");
    row("timebetweenpolls", "QDoubleSpinBox", "groupBox_3", {110, 40, 71, 27}, none);
    row("label_2", "QLabel", "groupBox_3", {190, 21, 91, 21}, "Repeat");
    row("repeatspin", "QDoubleSpinBox", "groupBox_3", {190, 40, 71, 27}, none);
    // The constructor shows the (empty) sequence in the NEXT queue.
    row("nextpoll", "QLabel", "groupBox_3", {0, 70, 81, 31}, "NEXT:");
    row("horizontalLayoutWidget", "QWidget", "groupBox_3", {90, 70, 187, 31}, none);
    for (int i = 1; i <= 9; ++i) {
        const QByteArray name = "pollqueue" + QByteArray::number(i);
        row(name.constData(), "QLabel", "horizontalLayoutWidget", byLayout, "");
    }
    row("progressBar", "QProgressBar", "groupBox_3", {0, 100, 261, 16}, none);
    row("groupBox_4", "QGroupBox", "centralWidget", {10, 150, 261, 101}, "Frame Counters");
    row("horizontalLayoutWidget_2", "QWidget", "groupBox_4", {10, 20, 161, 72}, none);
    row("label24242", "QLabel", "horizontalLayoutWidget_2", byLayout, "Number of polls:");
    row("label2323", "QLabel", "horizontalLayoutWidget_2", byLayout, "Valid responses:");
    row("label_3", "QLabel", "horizontalLayoutWidget_2", byLayout, "Errors:");
    row("numofpolls", "QLabel", "horizontalLayoutWidget_2", byLayout, "0");
    row("numofvalid", "QLabel", "horizontalLayoutWidget_2", byLayout, "0");
    row("numoferror", "QLabel", "horizontalLayoutWidget_2", byLayout, "0");
    row("reset", "QPushButton", "groupBox_4", {190, 70, 61, 21}, "reset");
    row("edittoggle", "QRadioButton", "centralWidget", {10, 260, 115, 24}, "Edit Polls");
    row("groupBox", "QGroupBox", "centralWidget", {10, 290, 261, 301}, "POLL");
    row("spinBox", "QSpinBox", "groupBox", {40, 10, 53, 26}, none);
    row("singlepoll", "QPushButton", "groupBox", {110, 8, 141, 26}, "Single Poll");
    row("label_6", "QLabel", "groupBox", {10, 40, 61, 21}, "Desc");
    row("descEdit", "QLineEdit", "groupBox", {40, 40, 211, 24}, "");
    row("label_5", "QLabel", "groupBox", {10, 70, 61, 21}, "Slave Addr");
    row("slaveaddr", "QSpinBox", "groupBox", {70, 70, 61, 21}, none);
    // The constructor loads poll 1 (function 3) into the editor.
    row("addressType", "QLabel", "groupBox", {10, 100, 81, 18}, "Reg Addr");
    row("startaddr", "QSpinBox", "groupBox", {70, 100, 91, 21}, none);
    row("timeseight", "QPushButton", "groupBox", {190, 100, 51, 21}, "x8");
    row("lblAddrPerItem", "QLabel", "groupBox", {10, 130, 81, 21}, "Addresses / item");
    row("spinAddrPerItem", "QSpinBox", "groupBox", {100, 130, 61, 21}, none);
    row("label_4", "QLabel", "groupBox", {10, 160, 69, 18}, "Function");
    row("fucnum", "QComboBox", "groupBox", {10, 180, 251, 26}, none);
    row("stackedWidget", "QStackedWidget", "groupBox", {10, 220, 251, 71}, none);
    row("page", "QWidget", "stackedWidget", byLayout, none);
    row("page_2", "QWidget", "stackedWidget", byLayout, none);
    row("page_3", "QWidget", "stackedWidget", byLayout, none);
    row("spinName", "QLabel", "page_2", {10, 10, 141, 21}, "# of Items");
    row("numreg", "QSpinBox", "page_2", {160, 10, 81, 21}, none);
    row("datatype", "QComboBox", "page_2", {10, 40, 111, 26}, none);
    row("ordercombo", "QComboBox", "page_2", {130, 40, 111, 26}, none);
    row("treeWidget", "QTreeWidget", "centralWidget", {280, 0, 491, 611}, none);
    row("messagelogcheck", "QCheckBox", "centralWidget", {20, 590, 121, 24}, "Message Log");
    row("displaycheck", "QCheckBox", "centralWidget", {150, 590, 121, 24}, "Display Table");
    row("feedback", "QPlainTextEdit", "centralWidget", {10, 630, 761, 171}, none);
    row("menuBar", "QMenuBar", "MainWindow", {0, 0, 774, 21}, none);
}

void TestMainWindow::widgets()
{
    QFETCH(QString, className);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QVariant, text);

    QWidget *w = widget(QTest::currentDataTag());
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), className);
    QVERIFY(w->parentWidget());
    QCOMPARE(w->parentWidget()->objectName(), parent);
    if (!geometry.isNull())
        QCOMPARE(w->geometry(), geometry);
    if (text.isValid()) {
        const char *property = qobject_cast<QGroupBox *>(w) ? "title" : "text";
        QCOMPARE(w->property(property).toString(), text.toString());
    }
}

// Ranges, defaults, frames and flags, read back through Qt's property system.
void TestMainWindow::properties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    auto row = [](const char *name, const char *property, QVariant expected) {
        QTest::addRow("%s.%s", name, property) << QString(name) << QByteArray(property) << expected;
    };
    const int winPanel = QFrame::WinPanel;
    const int sunken = QFrame::Sunken;
    const int raised = QFrame::Raised;

    row("footer2", "frameShape", winPanel);
    row("footer2", "frameShadow", sunken);
    row("footer2", "sizePolicy", QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred));
    row("sequencetoggle", "checked", false);
    row("sequencebutton", "enabled", false);
    row("groupBox_3", "enabled", false);
    row("groupBox_3", "minimumSize", QSize(262, 0));
    row("groupBox_3", "maximumSize", QSize(16777215, 262));
    row("timebetweenpolls", "decimals", 2);
    row("timebetweenpolls", "singleStep", 0.01);
    row("timebetweenpolls", "minimum", 0.0);
    row("timebetweenpolls", "maximum", 99.99);
    row("timebetweenpolls", "value", 0.5);
    row("repeatspin", "decimals", 1);
    row("repeatspin", "singleStep", 0.1);
    row("repeatspin", "minimum", 0.0);
    row("repeatspin", "maximum", 99.9);
    row("repeatspin", "value", 0.0);
    row("nextpoll", "autoFillBackground", true);
    row("nextpoll", "frameShape", winPanel);
    for (int i = 1; i <= 9; ++i) {
        const QByteArray name = "pollqueue" + QByteArray::number(i);
        row(name.constData(), "autoFillBackground", true);
        row(name.constData(), "frameShape", winPanel);
        if (i >= 2)
            row(name.constData(), "frameShadow", raised);
        if (i <= 4)
            row(name.constData(), "minimumWidth", 42);
        else
            row(name.constData(), "maximumWidth", i == 5 ? 1 : 2);
    }
    row("progressBar", "value", 0);
    row("progressBar", "textVisible", true);
    row("groupBox_4", "flat", false);
    row("edittoggle", "checked", true);
    row("spinBox", "minimum", 1);
    row("spinBox", "maximum", 99);
    row("spinBox", "value", 1);
    row("slaveaddr", "minimum", 1);
    row("slaveaddr", "maximum", 256);
    row("slaveaddr", "value", 1);
    row("startaddr", "minimum", 0);
    row("startaddr", "maximum", 300000);
    row("startaddr", "value", 1); // poll 1's start address
    row("timeseight", "enabled", true);
    row("spinAddrPerItem", "minimum", 1);
    row("spinAddrPerItem", "maximum", 256);
    row("spinAddrPerItem", "value", 1);
    row("stackedWidget", "currentIndex", 1);
    row("stackedWidget", "minimumSize", QSize(213, 0));
    row("stackedWidget", "frameShape", int(QFrame::Panel));
    row("stackedWidget", "frameShadow", sunken);
    row("spinName", "layoutDirection", int(Qt::LeftToRight));
    row("numreg", "minimum", 1);
    row("numreg", "maximum", 125);
    row("numreg", "value", 1);
    row("treeWidget", "enabled", true);
    row("treeWidget", "columnCount", 4);
    row("treeWidget", "editTriggers", int(QAbstractItemView::NoEditTriggers));
    row("treeWidget", "selectionMode", int(QAbstractItemView::NoSelection));
    row("treeWidget", "selectionBehavior", int(QAbstractItemView::SelectItems));
    row("treeWidget", "textElideMode", int(Qt::ElideRight));
    row("treeWidget", "indentation", 20);
    row("treeWidget", "rootIsDecorated", true);
    row("treeWidget", "itemsExpandable", true);
    // The poll table keeps blocks in poll order: sorting goes off.
    row("treeWidget", "sortingEnabled", false);
    row("treeWidget", "animated", true);
    row("treeWidget", "verticalScrollBarPolicy", int(Qt::ScrollBarAlwaysOn));
    row("treeWidget", "horizontalScrollBarPolicy", int(Qt::ScrollBarAsNeeded));
    row("treeWidget", "autoScroll", false);
    row("treeWidget", "dragDropMode", int(QAbstractItemView::NoDragDrop));
    row("treeWidget", "frameShadow", sunken);
    row("messagelogcheck", "checked", true);
    row("displaycheck", "checked", true);
    row("feedback", "readOnly", true);
    row("feedback", "plainText", QString());
    row("menuBar", "focusPolicy", int(Qt::NoFocus));
    row("menuBar", "defaultUp", false);
    row("menuBar", "nativeMenuBar", false);
}

void TestMainWindow::properties()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);

    QWidget *w = widget(qPrintable(name));
    QVERIFY(w);
    QVariant actual = w->property(property.constData());
    QVERIFY2(actual.isValid(), property.constData());
    if (expected.userType() == QMetaType::Double)
        QVERIFY2(qFuzzyCompare(actual.toDouble(), expected.toDouble()), qPrintable(actual.toString()));
    else if (expected.userType() == QMetaType::Int)
        QCOMPARE(actual.toInt(), expected.toInt());
    else
        QCOMPARE(actual, expected);
}

void TestMainWindow::layouts_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("spacing");

    QStringList queue;
    for (int i = 1; i <= 9; ++i)
        queue << QString("pollqueue%1").arg(i);
    QTest::newRow("queue") << "horizontalLayout" << queue << 1;
    QTest::newRow("counter names") << "verticalLayout_2" << QStringList{"label24242", "label2323", "label_3"}
                                   << -1;
    QTest::newRow("counters") << "verticalLayout_3" << QStringList{"numofpolls", "numofvalid", "numoferror"}
                              << 6;
}

void TestMainWindow::layouts()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, items);
    QFETCH(int, spacing);

    auto *box = m_window->findChild<QBoxLayout *>(layout);
    QVERIFY(box);
    QStringList names;
    for (int i = 0; i < box->count(); ++i)
        names << (box->itemAt(i)->widget() ? box->itemAt(i)->widget()->objectName() : QString());
    QCOMPARE(names, items);
    if (spacing >= 0)
        QCOMPARE(box->spacing(), spacing);
}

void TestMainWindow::window()
{
    QCOMPARE(m_window->objectName(), QString("MainWindow"));
    QCOMPARE(m_window->windowTitle(), QString("Quarvel - Pollwright v1.9"));
    QCOMPARE(m_window->contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(m_window->dockOptions(), QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    QVERIFY(!m_window->isDockNestingEnabled());
    QVERIFY(!m_window->documentMode());
    QVERIFY(!m_window->windowIcon().isNull());
    QVERIFY(!QIcon(":/appicon.png").isNull());

    auto *group = m_window->findChild<QButtonGroup *>("buttonGroup");
    QVERIFY(group);
    QVERIFY(group->exclusive());
    QCOMPARE(group->buttons().size(), 2);
    QVERIFY(group->buttons().contains(widget<QAbstractButton>("edittoggle")));
    QVERIFY(group->buttons().contains(widget<QAbstractButton>("sequencetoggle")));

    auto *spinName = widget<QLabel>("spinName");
    QCOMPARE(spinName->alignment(), Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);

    auto *tree = widget<QTreeWidget>("treeWidget");
    const QStringList headers{"Polls", "Address", "Value", "Description"};
    for (int column = 0; column < 4; ++column) {
        QCOMPARE(tree->headerItem()->text(column), headers.at(column));
        QCOMPARE(tree->headerItem()->textAlignment(column), int(Qt::AlignCenter));
    }
    QHeaderView *header = tree->header();
    QCOMPARE(header->defaultSectionSize(), 100);
    QCOMPARE(header->minimumSectionSize(), 50);
    QVERIFY(header->highlightSections());
    QVERIFY(header->stretchLastSection());
    QVERIFY(!header->cascadingSectionResizes());

    auto *menuBar = widget<QMenuBar>("menuBar");
    QCOMPARE(menuBar->font().pointSize(), 9);
    QVERIFY(!menuBar->font().italic());
    QVERIFY(!menuBar->font().underline());
    QCOMPARE(menuBar->cursor().shape(), Qt::ArrowCursor);
}

// Each menu's entries in order; "-" is a separator, a submenu shows its title.
void TestMainWindow::menus_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("actionNames");

    QTest::newRow("menuPolls") << "File" << QStringList{"Recent Poll Files", "Save Polls", "Load Polls", "-",
                                                        "Logging",           "-"}
                               << QStringList{"", "actionSave", "actionLoad", "", "actionLogging", ""};
    // The form's "recent1".."recent5" give way to the five free slots of a
    // home without settings.
    QTest::newRow("menuRecent_Polls")
        << "Recent Poll Files" << QStringList{"", "", "", "", ""}
        << QStringList{"actionRecent1", "actionRecent2", "actionRecent3", "actionRecent4", "actionRecent5"};
    QTest::newRow("menuComs") << "Comms" << QStringList{"new connection"} << QStringList{"actionMenu"};
}

void TestMainWindow::menus()
{
    QFETCH(QString, title);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, actionNames);

    auto *menu = widget<QMenu>(QTest::currentDataTag());
    QVERIFY(menu);
    QCOMPARE(menu->title(), title);
    QStringList texts, names;
    for (QAction *action : menu->actions()) {
        texts << (action->isSeparator() ? QString("-") : action->text());
        names << (action->menu() || action->isSeparator() ? QString() : action->objectName());
        if (!action->isSeparator() && !action->menu())
            QCOMPARE(action->parent(), m_window);
    }
    QCOMPARE(texts, entries);
    QCOMPARE(names, actionNames);

    auto *bar = widget<QMenuBar>("menuBar");
    QStringList barMenus;
    for (QAction *action : bar->actions())
        barMenus << action->menu()->objectName();
    QCOMPARE(barMenus, (QStringList{"menuPolls", "menuComs"}));
}

void TestMainWindow::menuBarPalette_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("role");
    QTest::addColumn<QColor>("colour");

    const QColor black(0, 0, 0), white(255, 255, 255), button(226, 224, 222), midlight(240, 239, 238),
        dark(113, 112, 111), mid(151, 149, 148), tipBase(255, 255, 220);
    const struct
    {
        QPalette::ColorGroup group;
        const char *name;
    } groups[] = {
        {QPalette::Active, "active"}, {QPalette::Inactive, "inactive"}, {QPalette::Disabled, "disabled"}};
    for (const auto &g : groups) {
        const QColor fore = g.group == QPalette::Disabled ? dark : black;
        const struct
        {
            QPalette::ColorRole role;
            const char *name;
            QColor colour;
        } roles[] = {
            {QPalette::WindowText, "windowText", fore},
            {QPalette::Text, "text", fore},
            {QPalette::ButtonText, "buttonText", fore},
            {QPalette::Shadow, "shadow", black},
            {QPalette::ToolTipText, "toolTipText", black},
            {QPalette::Button, "button", button},
            {QPalette::Window, "window", button},
            {QPalette::Light, "light", white},
            {QPalette::BrightText, "brightText", white},
            {QPalette::Base, "base", white},
            {QPalette::Midlight, "midlight", midlight},
            {QPalette::AlternateBase, "alternateBase", midlight},
            {QPalette::Dark, "dark", dark},
            {QPalette::Mid, "mid", mid},
            {QPalette::ToolTipBase, "toolTipBase", tipBase},
        };
        for (const auto &r : roles)
            QTest::addRow("%s %s", g.name, r.name) << int(g.group) << int(r.role) << r.colour;
    }
}

void TestMainWindow::menuBarPalette()
{
    QFETCH(int, group);
    QFETCH(int, role);
    QFETCH(QColor, colour);

    const QBrush brush =
        widget("menuBar")->palette().brush(QPalette::ColorGroup(group), QPalette::ColorRole(role));
    QCOMPARE(brush.style(), Qt::SolidPattern);
    QCOMPARE(brush.color(), colour);
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
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    if (sequenceMode)
        widget<QRadioButton>("sequencetoggle")->setChecked(true);
    for (QWidget *control : m_window->findChildren<QWidget *>()) {
        const bool input = qobject_cast<QAbstractButton *>(control) || qobject_cast<QAbstractSpinBox *>(control)
                           || qobject_cast<QComboBox *>(control) || qobject_cast<QLineEdit *>(control);
        if (!input || !control->isVisibleTo(m_window) || !control->isEnabled()
            || qobject_cast<QAbstractSpinBox *>(control->parentWidget()))
            continue;
        const QPoint centre = control->mapTo(m_window, control->rect().center());
        QWidget *hit = m_window->childAt(centre);
        QVERIFY2(hit == control || control->isAncestorOf(hit),
                 qPrintable(control->objectName() + " lies under " + (hit ? hit->objectName() : "nothing")));
    }
}

// Every label's text fits in the part of it that no sibling covers. The
// fixed geometries leave little room, so this guards the form's font choice.
void TestMainWindow::labelsReadable()
{
    if (!QFontInfo(widget("centralWidget")->font()).family().startsWith("DejaVu Sans"))
        QSKIP("the form's font is not installed; widths differ with the fallback");
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
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

void TestMainWindow::startState()
{
    // The constructor fills the lists from the tables, in table order.
    auto *fucnum = widget<QComboBox>("fucnum");
    QCOMPARE(fucnum->count(), 8);
    QCOMPARE(fucnum->itemText(0), QString("01 - Read Coil Status"));
    QCOMPARE(fucnum->itemText(7), QString("16 - Write Reg"));
    auto *datatype = widget<QComboBox>("datatype");
    QCOMPARE(datatype->count(), 7);
    QCOMPARE(datatype->itemText(0), QString("uInt16"));
    QCOMPARE(datatype->itemText(6), QString("String"));
    for (int i = 0; i < datatype->count(); ++i)
        QVERIFY(!datatype->itemData(i).isValid());

    QVERIFY(widget("timeseight")->isHidden());
    QVERIFY(!widget<QTreeWidget>("treeWidget")->header()->isHidden());
    // Poll Time 0.5 s gives a 500 ms countdown on the progress bar.
    QCOMPARE(widget<QProgressBar>("progressBar")->maximum(), 500);
    // The log check box brings the width up to 778 while the window is built.
    QCOMPARE(m_window->size(), QSize(778, 830));
}

void TestMainWindow::freshPollStore()
{
    delete m_window;
    PollStore[7].function = "16";
    PollStore[7].write = QStringList{"1", "2"};
    PollStore[98].slave = "junk";
    m_window = new MainWindow;
    for (int n = 1; n <= MaxPolls; ++n) {
        const Poll &poll = PollStore[size_t(n - 1)];
        QCOMPARE(poll.slave, QString("1"));
        QCOMPARE(poll.function, QString("3"));
        QCOMPARE(poll.startaddr, QString("1"));
        QCOMPARE(poll.val1, QString("1"));
        QCOMPARE(poll.addrperitem, QString("1"));
        QCOMPARE(poll.write, QStringList{"0"});
        QCOMPARE(poll.desc, QStringList{QString()});
    }
}

void TestMainWindow::reset_data()
{
    QTest::addColumn<QString>("polls");
    QTest::addColumn<QString>("valid");
    QTest::addColumn<QString>("errors");
    QTest::newRow("counts") << "12"
                            << "10"
                            << "2";
    QTest::newRow("already zero") << "0"
                                  << "0"
                                  << "0";
    QTest::newRow("not numbers") << "abc"
                                 << ""
                                 << "-1";
    QTest::newRow("huge") << "99999999999999999999"
                          << "1e9"
                          << " 7 ";
}

void TestMainWindow::reset()
{
    QFETCH(QString, polls);
    QFETCH(QString, valid);
    QFETCH(QString, errors);
    widget<QLabel>("numofpolls")->setText(polls);
    widget<QLabel>("numofvalid")->setText(valid);
    widget<QLabel>("numoferror")->setText(errors);

    QTest::mouseClick(widget<QPushButton>("reset"), Qt::LeftButton);

    QCOMPARE(widget<QLabel>("numofpolls")->text(), QString("0"));
    QCOMPARE(widget<QLabel>("numofvalid")->text(), QString("0"));
    QCOMPARE(widget<QLabel>("numoferror")->text(), QString("0"));
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

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
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
    QTest::newRow("log off and on") << "ll" << QSize(778, 830);
}

void TestMainWindow::checkBoxSizing()
{
    QFETCH(QString, clicks);
    QFETCH(QSize, size);

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
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
