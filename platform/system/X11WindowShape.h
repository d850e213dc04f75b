#pragma once

#include "Launcher.h"

#include <QList>
#include <QRect>

namespace belvane {

// Shapes the X11 window `window` to the union of `rects`, given in the window's own device pixels. A
// window's mask set in device-independent pixels is scaled by the platform, so at 125 % or 150 % its
// curves come out in steps of whole scaled pixels; this one is as fine as the screen. False where
// there is no X11 window to shape (Wayland, headless) or the display has no shape extension.
bool setX11WindowShape(WindowHandle window, const QList<QRect> &rects);

} // namespace belvane
