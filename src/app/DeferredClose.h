// A close request that Qt would drop, kept until the window can take it.
//
// A window manager's close (WM_DELETE_WINDOW) that reaches the window while a modal message
// box blocks it is dropped by Qt. That is what becomes of a close asked for during a
// command: the command runs inside the button's slot, so the request waits in the event
// queue until the command's message box is up, and then meets a blocked window. The user
// asked to close, and the command rightly finished first; the window should close once its
// message has been dismissed, not stay open. DeferredClose watches the X events for such a
// request and closes the window, after the slot that showed the message has returned, once
// the window is no longer blocked.
//
// Only on X11 (also XWayland, which the tool prefers); elsewhere it does nothing.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

class QWidget;

namespace gridmoor {

class DeferredClose final : public QObject, public QAbstractNativeEventFilter {
public:
    // `window` must outlive this object; QApplication must exist.
    explicit DeferredClose(QWidget& window);
    ~DeferredClose() override;
    DeferredClose(const DeferredClose&) = delete;
    DeferredClose& operator=(const DeferredClose&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    bool installed_ = false;
    std::uint32_t protocolsAtom_ = 0;
    std::uint32_t deleteWindowAtom_ = 0;
    bool pending_ = false;
};

}  // namespace gridmoor
