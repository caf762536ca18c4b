#include "app/repaintlimiter.h"

#include <QWidget>
#include <QtTest>

// A change right after a paint is held back, and painted when the interval
// ends without any further change to prompt it. A child's changes go through
// the window, so the child stands for both.
class TestRepaintLimiter : public QObject
{
    Q_OBJECT

    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }

private slots:
    void holdsBackThenPaints()
    {
        QWidget window;
        QWidget *child = new QWidget(&window);
        child->setGeometry(10, 10, 50, 50);
        child->installEventFilter(this);
        new RepaintLimiter(&window, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(900);
        const int before = paints;
        child->update(); // the first after a quiet interval goes through
        QTRY_COMPARE(paints, before + 1);
        for (int i = 0; i < 20; ++i) {
            child->update();
            QCoreApplication::processEvents();
        }
        QCOMPARE(paints, before + 1);
        QTRY_COMPARE_WITH_TIMEOUT(paints, before + 2, 3000);
        QTest::qWait(900);
        QCOMPARE(paints, before + 2);
    }
};

QTEST_MAIN(TestRepaintLimiter)
#include "tst_repaintlimiter.moc"
