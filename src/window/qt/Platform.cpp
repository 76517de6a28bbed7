#include "window/qt/Platform.h"

#include <QByteArray>
#include <QtGlobal>

namespace gridmoor {

void preferX11Platform() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return;
    qputenv("QT_QPA_PLATFORM", QByteArray("xcb;wayland"));
}

}  // namespace gridmoor
