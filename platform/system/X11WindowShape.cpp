#include "X11WindowShape.h"

#include <QGuiApplication>

#include <vector>

#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace belvane {

bool setX11WindowShape(WindowHandle window, const QList<QRect> &rects)
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    // Not the native interface alone: the offscreen platform offers one too.
    if (x11 == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return false;
    }
    xcb_connection_t *connection = x11->connection();
    const xcb_query_extension_reply_t *shape = xcb_get_extension_data(connection, &xcb_shape_id);
    if (shape == nullptr || !shape->present) {
        return false;
    }
    std::vector<xcb_rectangle_t> shapeRects;
    shapeRects.reserve(static_cast<std::size_t>(rects.size()));
    for (const QRect &rect : rects) {
        shapeRects.push_back({static_cast<std::int16_t>(rect.x()), static_cast<std::int16_t>(rect.y()),
                              static_cast<std::uint16_t>(rect.width()),
                              static_cast<std::uint16_t>(rect.height())});
    }
    xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED,
                         static_cast<xcb_window_t>(window), 0, 0,
                         static_cast<std::uint32_t>(shapeRects.size()), shapeRects.data());
    xcb_flush(connection);
    return true;
}

} // namespace belvane
