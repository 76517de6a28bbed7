// Platform choices that must be made before the QApplication exists.
#pragma once

namespace gridmoor {

// On a Wayland session, runs the window through XWayland, where the keep-above request
// holds (Wayland compositors ignore it); falls back to Wayland where no X server is
// available. A platform chosen explicitly for Qt is left as it is.
void preferX11Platform();

}  // namespace gridmoor
