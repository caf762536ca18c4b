#include "app/repaintlimiter.h"

#include <QPaintEvent>
#include <QWidget>
#include <QtTest>

namespace {

class PaintCounter : public QWidget
{
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override { ++paints; }
};

} // namespace

class TestRepaintLimiter : public QObject
{
    Q_OBJECT

private slots:
    void holdsBackThenPaints();
    void childChangesWaitToo();
};

// A change right after a paint is not painted at once, but it is painted
// when the interval ends, without any further change to prompt it.
void TestRepaintLimiter::holdsBackThenPaints()
{
    PaintCounter window;
    window.resize(100, 100);
    new RepaintLimiter(&window, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(window.paints > 0);
    // The first request after a quiet interval goes through.
    QTest::qWait(900);
    int before = window.paints;
    window.update();
    QTRY_COMPARE(window.paints, before + 1);

    before = window.paints;
    for (int i = 0; i < 20; ++i) {
        window.update();
        QCoreApplication::processEvents();
    }
    QCOMPARE(window.paints, before);
    // Twenty changes held back become one paint.
    QTRY_COMPARE_WITH_TIMEOUT(window.paints, before + 1, 3000);
    QTest::qWait(900);
    QCOMPARE(window.paints, before + 1);
}

// Changes to a child widget go through the same window and are held back
// with it.
void TestRepaintLimiter::childChangesWaitToo()
{
    QWidget window;
    window.resize(100, 100);
    auto *child = new PaintCounter;
    child->setParent(&window);
    child->setGeometry(10, 10, 50, 50);
    new RepaintLimiter(&window, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(child->paints > 0);
    QTest::qWait(900);

    const int before = child->paints;
    child->update();
    QTRY_COMPARE(child->paints, before + 1);
    child->update();
    QCoreApplication::processEvents();
    QCOMPARE(child->paints, before + 1);
    QTRY_COMPARE_WITH_TIMEOUT(child->paints, before + 2, 3000);
}

QTEST_MAIN(TestRepaintLimiter)
#include "tst_repaintlimiter.moc"
