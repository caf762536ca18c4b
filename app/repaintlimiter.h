#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

// Lets a window repaint at most once per interval. A fast sequence changes
// the counters, the log and the table hundreds of times a second; painting
// each change cost more than the polling itself and shows nothing the eye
// can follow. A repaint asked for too soon is held back and done when the
// interval ends, so the last state always reaches the screen.
class RepaintLimiter : public QObject
{
    Q_OBJECT

public:
    RepaintLimiter(QWidget *window, int intervalMs);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void release();

    QWidget *window;
    int intervalMs;
    QElapsedTimer sincePaint;
    QTimer heldBack;
};
