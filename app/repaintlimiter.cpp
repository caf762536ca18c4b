#include "app/repaintlimiter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

RepaintLimiter::RepaintLimiter(QWidget *window_, int intervalMs_)
    : QObject(window_)
    , window(window_)
    , intervalMs(intervalMs_)
{
    heldBack.setSingleShot(true);
    heldBack.setTimerType(Qt::PreciseTimer);
    connect(&heldBack, &QTimer::timeout, this, &RepaintLimiter::release);
    window->installEventFilter(this);
}

bool RepaintLimiter::eventFilter(QObject *watched, QEvent *event)
{
    // Qt asks a top-level widget to paint its dirty regions with one
    // UpdateRequest and asks no more until that request is handled, so a
    // request held here keeps every later change waiting with it.
    if (watched != window || event->type() != QEvent::UpdateRequest)
        return false;
    if (!sincePaint.isValid() || sincePaint.elapsed() >= intervalMs) {
        sincePaint.start();
        return false;
    }
    if (!heldBack.isActive())
        heldBack.start(int(qMax<qint64>(1, intervalMs - sincePaint.elapsed())));
    return true;
}

void RepaintLimiter::release()
{
    sincePaint.invalidate();
    QCoreApplication::postEvent(window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}
