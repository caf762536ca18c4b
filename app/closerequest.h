#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QWidget>

// Qt drops the window system's close request for a window that a modal
// window blocks (the connection dialog, the browser, the sequence editor, a
// message box). Closing the main window must end the program all the same,
// so on X11 this passes such a request for the main window on as a close.
class CloseRequestFilter : public QAbstractNativeEventFilter
{
public:
    explicit CloseRequestFilter(QWidget *window);
    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;

private:
    QPointer<QWidget> window;
    quint32 protocolsAtom = 0;
    quint32 deleteAtom = 0;
};
