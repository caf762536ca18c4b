#include "modbus/busywait.h"

#include <QCoreApplication>
#include <QTime>

void busyWait(int ms)
{
    const QTime target = QTime::currentTime().addMSecs(ms);
    // addMSecs wraps at midnight; a target before now then ends the wait at once.
    while (QTime::currentTime() < target)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
}
