#include "app/repaintlimiter.h"

#include <QWidget>
#include <QtTest>

struct PaintCounter : QWidget
{
    using QWidget::QWidget;
    void paintEvent(QPaintEvent *) override { ++paints; }
    int paints = 0;
};

// A change right after a paint is held back, and painted when the interval
// ends without any further change to prompt it. A child's changes go through
// the window, so the child stands for both.
class TestRepaintLimiter : public QObject
{
    Q_OBJECT

private slots:
    void holdsBackThenPaints()
    {
        QWidget window;
        PaintCounter *child = new PaintCounter(&window);
        new RepaintLimiter(&window, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(900);
        const int before = child->paints;
        child->update(); // the first after a quiet interval goes through
        QTRY_COMPARE(child->paints, before + 1);
        child->update(); // held back
        QTest::qWait(200);
        QCOMPARE(child->paints, before + 1);
        QTRY_COMPARE_WITH_TIMEOUT(child->paints, before + 2, 3000);
        QTest::qWait(900);
        QCOMPARE(child->paints, before + 2);
    }
};

QTEST_MAIN(TestRepaintLimiter)
#include "tst_repaintlimiter.moc"
