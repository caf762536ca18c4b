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
    if (auto *box = qobject_cast<const QComboBox *>(w)) {
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
    } else if (auto *tabs = qobject_cast<const QTabWidget *>(w)) {
        for (int i = 0; i < tabs->count(); ++i)
            texts << tabs->tabText(i);
    } else if (qobject_cast<const QAbstractSpinBox *>(w)) {
        return w->property("minimum").toString() + ".." + w->property("maximum").toString() + "="
               + w->property("value").toString();
    } else {
        return w->isWindow() ? w->windowTitle()
                             : w->property(qobject_cast<const QGroupBox *>(w) ? "title" : "text").toString();
    }
    return texts.join('|');
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
    QMap<QString, QWidget *> windows{{"MainWindow", driver.window()}, {"serialinfo", driver.waitForDialog()}};
    QVERIFY(windows.last());
    // Each window's widgets as the table lists them, and the application icon.
    QStringList wrong;
    const auto check = [&](const QString &name) {
        QWidget *window = windows.value(name);
        const QIcon icon(":/appicon.png");
        if (!window || window->windowIcon().pixmap(32).toImage() != icon.pixmap(32).toImage())
            wrong << name + ": no window or no icon";
        for (const QString &line : QString::fromUtf8(readBytes(TEST_DATA "/windows/forms.tsv")).split('\n')) {
            const QStringList cells = line.split('\t');
            if (cells.size() < 4 || cells.first() != name || !window)
                continue;
            QWidget *w = cells.at(1) == name ? window : window->findChild<QWidget *>(cells.at(1));
            const QString found = w ? QString(w->metaObject()->className()) + '\t' + shownText(w) : "missing";
            if (found != cells.mid(2).join('\t'))
                wrong << cells.mid(0, 2).join(' ') + ": " + found;
        }
    };
    check("serialinfo");
    QVERIFY(rig.connect(driver));
    check("MainWindow");
    driver.trigger("actionSave");
    windows["fileexplorer"] = openWindow("fileexplorer");
    check("fileexplorer");
    driver.trigger("actionLogging");
    windows["logging"] = openWindow("logging");
    check("logging");
    driver.click("sequencetoggle"); // the sequence is empty: the editor opens
    windows["polls"] = openWindow("polls");
    check("polls");
    QCOMPARE(wrong.join('\n'), QString());
    // Pauses and the reply time-out are counted in ticks of the two 1 ms
    // timers; the third opens the connection dialog once, 200 ms after start.
    QList<int> intervals;
    for (QTimer *timer : driver.window()->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
        intervals << timer->interval();
    std::sort(intervals.begin(), intervals.end());
    QCOMPARE(intervals, QList<int>({1, 1, 200}));

    // A control drawn over a group box must also lie above it: a disabled
    // group box on top swallows the clicks meant for the switch beneath.
    delete windows["polls"];
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
