#pragma once

#include <QIcon>

class QImage;
class QPainter;

namespace belvane {

// The application icon in its three sizes (48, 32 and 16 pixels).
QIcon applicationIcon();

// The bell on a lavender disc, painted into a 48 x 48 square of `painter`'s coordinates; the
// installed desktop icons are made from the same drawing.
void paintBell(QPainter &painter);
// The bell drawn at `size` pixels, so every size is sharp.
QImage bellImage(int size);

} // namespace belvane
