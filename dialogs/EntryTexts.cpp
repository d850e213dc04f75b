#include "EntryTexts.h"

#include "ControlText.h"

namespace belvane {

QString enabledMarkText()
{
    return QStringLiteral("●");
}

QString disabledMarkText()
{
    return QStringLiteral("…");
}

QString windowSizeName(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("最小化");
    case 2:
        return QStringLiteral("最大化");
    default:
        return QStringLiteral("通常");
    }
}

std::int32_t windowSizeCode(const std::string &bytes)
{
    if (bytes == cp932Text(windowSizeName(1))) {
        return 1;
    }
    if (bytes == cp932Text(windowSizeName(2))) {
        return 2;
    }
    return 0;
}

} // namespace belvane
