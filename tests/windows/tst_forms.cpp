// Every window as the main window opens it, against the table of its named
// widgets and what each shows the user (tests/data/windows/forms.tsv).
#include "app/windowdriver.h"
#include "support/files.h"

namespace {

// A combo box's items or a tab widget's tabs joined by '|', a spin box's
// range and value, a group box's title, a window's title; else the text.
QString shownText(const QWidget *w)
{
    QStringList texts;
    auto *box = qobject_cast<const QComboBox *>(w);
    auto *tabs = qobject_cast<const QTabWidget *>(w);
    for (int i = 0; i < (box ? box->count() : tabs ? tabs->count() : 0); ++i)
        texts << (box ? box->itemText(i) : tabs->tabText(i));
    if (box || tabs)
        return texts.join('|');
    if (qobject_cast<const QAbstractSpinBox *>(w))
        return QString("%1..%2=%3")
            .arg(w->property("minimum").toString(), w->property("maximum").toString(),
                 w->property("value").toString());
    return w->isWindow() ? w->windowTitle()
                         : w->property(qobject_cast<const QGroupBox *>(w) ? "title" : "text").toString();
}

} // namespace

class TestForms : public QObject
{
    Q_OBJECT

private slots:
    void forms();
};

void TestForms::forms()
{
    Rig rig;
    QVERIFY2(rig.start(false), qPrintable(rig.error));
    WindowDriver driver;
    QVERIFY(driver.waitForDialog());
    // Each window's widgets as the table lists them, and the application icon,
    // the windows opened as a user does.
    QStringList wrong, checked;
    const QImage icon = QIcon(":/appicon.png").pixmap(32).toImage();
    const QStringList table = QString(readBytes(TEST_DATA "/windows/forms.tsv")).split('\n');
    for (const char *step : {"", "connect", "actionSave", "actionLogging", "sequencetoggle"}) {
        if (QByteArray(step) == "connect")
            QVERIFY(rig.connect(driver));
        else if (*step)
            driver.act(step); // the sequence is empty: its editor opens
        QWidget *window = QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                            : QApplication::activeWindow();
        const QString name = window->objectName();
        if (window->windowIcon().pixmap(32).toImage() != icon)
            wrong << name + ": no icon";
        for (const QString &line : table) {
            const QStringList cells = line.split('\t');
            if (cells.size() < 4 || cells.first() != name)
                continue;
            checked << line;
            QWidget *w = cells.at(1) == name ? window : window->findChild<QWidget *>(cells.at(1));
            const QString found = w ? QString(w->metaObject()->className()) + '\t' + shownText(w) : "missing";
            if (found != cells.mid(2).join('\t'))
                wrong << cells.mid(0, 2).join(' ') + ": " + found;
        }
    }
    QCOMPARE(wrong.join('\n'), QString());
    QCOMPARE(checked.size(), table.filter("\t").size() - 1); // each row but the header
    // Pauses and the reply time-out are counted in ticks of the two 1 ms
    // timers; the third opens the connection dialog once, 200 ms after start.
    QList<int> intervals;
    for (QTimer *timer : driver.window()->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
        intervals << timer->interval();
    std::sort(intervals.begin(), intervals.end());
    QCOMPARE(intervals, QList<int>({1, 1, 200}));

    // A control drawn over a group box must also lie above it: a disabled
    // group box on top swallows the clicks meant for the switch beneath.
    delete openWindow("polls");
    for (const char *mode : {"sequencetoggle", "edittoggle"}) {
        driver.click(mode);
        for (QWidget *control : driver.window()->findChildren<QAbstractButton *>()) {
            QWidget *hit =
                driver.window()->childAt(control->mapTo(driver.window(), control->rect().center()));
            QVERIFY2(!control->isVisibleTo(driver.window()) || hit == control || control->isAncestorOf(hit),
                     qPrintable(control->objectName()));
        }
    }
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
