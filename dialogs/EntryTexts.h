#pragma once

#include <QString>

#include <cstdint>
#include <string>

// How the dialogs show an entry's enabled state and window size.
namespace belvane {

// The mark of an enabled entry, "●", and of a disabled one, "…".
QString enabledMarkText();
QString disabledMarkText();
// The window-size texts "通常", "最小化", "最大化" for the codes 0, 1 and 2.
QString windowSizeName(int code);
// The window-size code of a text: 1 for exactly "最小化", 2 for exactly "最大化", 0 for anything else.
std::int32_t windowSizeCode(const std::string &bytes);

} // namespace belvane
