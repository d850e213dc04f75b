#include "EntryTexts.h"

#include "ControlText.h"

namespace belvane {

QString EnabledMarkText()
{
    return QStringLiteral("●");
}

QString DisabledMarkText()
{
    return QStringLiteral("…");
}

QString WindowSizeText(int code)
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

std::int32_t WindowSizeCode(const std::string &bytes)
{
    if (bytes == Cp932Text(WindowSizeText(1))) {
        return 1;
    }
    if (bytes == Cp932Text(WindowSizeText(2))) {
        return 2;
    }
    return 0;
}

} // namespace belvane
