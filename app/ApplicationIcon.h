#pragma once

#include <QIcon>

namespace belvane {

// The application icon in its three sizes (48, 32 and 16 pixels).
QIcon ApplicationIcon();

} // namespace belvane
