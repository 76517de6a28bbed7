#include "app/DeferredClose.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QByteArray>
#include <QEvent>
#include <QMetaObject>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace gridmoor {
namespace {

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

// The atom's number on this display; 0 when the server does not answer.
std::uint32_t internAtom(xcb_connection_t* connection, std::string_view name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(
        connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : 0;
}

}  // namespace

DeferredClose::DeferredClose(QWidget& window) : window_(window) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr) return;  // not on X11: Qt's own handling is all there is
    protocolsAtom_ = internAtom(x11->connection(), "WM_PROTOCOLS");
    deleteWindowAtom_ = internAtom(x11->connection(), "WM_DELETE_WINDOW");
    if (protocolsAtom_ == 0 || deleteWindowAtom_ == 0) return;
    qApp->installNativeEventFilter(this);
    window_.installEventFilter(this);
    installed_ = true;
}

DeferredClose::~DeferredClose() {
    if (installed_) qApp->removeNativeEventFilter(this);
}

bool DeferredClose::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    // The window's native id is read at each event: changing its flags (keep-above)
    // recreates the native window.
    if (client->window != window_.winId() || client->type != protocolsAtom_ ||
        client->data.data32[0] != deleteWindowAtom_)
        return false;
    // Qt delivers the request itself unless a modal window blocks this one.
    if (QApplication::activeModalWidget() != nullptr) pending_ = true;
    return false;
}

bool DeferredClose::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::WindowUnblocked && pending_) {
        pending_ = false;
        // Queued: the modal box is still being torn down inside its own event loop here.
        QMetaObject::invokeMethod(&window_, &QWidget::close, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace gridmoor
