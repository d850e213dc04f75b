#include "ControlText.h"

#include "Cp932.h"

#include <QComboBox>

namespace belvane {

ShownText ShownText::of(const std::string &bytes)
{
    return {cp932::toUnicode(bytes), bytes};
}

std::optional<std::string> ShownText::take(const QString &now) const
{
    if (now == text) {
        return bytes;
    }
    return cp932::fromUnicode(now);
}

ShownText showInCombo(QComboBox *combo, const std::string &bytes)
{
    const QString text = cp932::toUnicode(bytes);
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            combo->setCurrentIndex(i);
            return {combo->itemText(i), cp932Text(combo->itemText(i))};
        }
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
    return {text, bytes};
}

std::string cp932Text(const QString &text)
{
    return cp932::fromUnicode(text).value_or(std::string());
}

QString unencodableTextMessage()
{
    return QStringLiteral("シフトJIS(cp932)で表せない文字が含まれています。");
}

} // namespace belvane
