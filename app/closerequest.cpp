#include "app/closerequest.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// Atoms are the server's: any connection to it learns the same values.
quint32 internAtom(xcb_connection_t *connection, const char *name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 1, uint16_t(strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const quint32 atom = reply ? reply->atom : 0;
    free(reply);
    return atom;
}

} // namespace

CloseRequestFilter::CloseRequestFilter(QWidget *window_)
    : window(window_)
{}

bool CloseRequestFilter::nativeEventFilter(const QByteArray &eventType, void *message, long *)
{
    if (!window || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    // Looked up at the first client message, not at start-up: a connection
    // of its own costs a round trip to the server.
    if (!protocolsAtom) {
        xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
        if (!xcb_connection_has_error(connection)) {
            protocolsAtom = internAtom(connection, "WM_PROTOCOLS");
            deleteAtom = internAtom(connection, "WM_DELETE_WINDOW");
        }
        xcb_disconnect(connection);
    }
    const auto *client = static_cast<const xcb_client_message_event_t *>(message);
    const QWindow *modal = QGuiApplication::modalWindow();
    if (!protocolsAtom || client->format != 32 || client->type != protocolsAtom
        || client->data.data32[0] != deleteAtom || client->window != window->winId() || !modal
        || modal == window->windowHandle())
        return false;
    // Queued: the modal window's own event loop may be the one running here.
    QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
    return true;
}
