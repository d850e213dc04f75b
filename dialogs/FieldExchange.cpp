#include "FieldExchange.h"

#include "Cp932.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QStringEncoder>

#include <filesystem>
#include <system_error>

namespace belvane {

std::size_t Cp932Length(const QString &text)
{
    // An unencodable character comes out as the two bytes FC FC, which is the count wanted here.
    QStringEncoder encoder("windows-31j", QStringEncoder::Flag::Stateless);
    return static_cast<std::size_t>(QByteArray(encoder.encode(text)).size());
}

Cp932LengthValidator::Cp932LengthValidator(QLineEdit *edit, std::size_t byteLimit)
    : QValidator(edit)
    , limit(byteLimit)
{
    edit->setValidator(this);
}

QValidator::State Cp932LengthValidator::validate(QString &input, int &) const
{
    // The edit undoes only changes that turn acceptable text into refused text, so a longer text that
    // the program put in can still be edited and shortened.
    return Cp932Length(input) <= limit ? Acceptable : Invalid;
}

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

ShownText ShowInCombo(QComboBox *combo, const std::string &bytes)
{
    const QString text = cp932::toUnicode(bytes);
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            combo->setCurrentIndex(i);
            return {combo->itemText(i), Cp932Text(combo->itemText(i))};
        }
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
    return {text, bytes};
}

std::optional<std::int32_t> ParseInteger(const QString &text)
{
    const auto blank = [](QChar c) {
        return c == u' ' || c == u'\t';
    };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && blank(text[begin])) {
        ++begin;
    }
    while (end > begin && blank(text[end - 1])) {
        --end;
    }
    bool negative = false;
    if (begin < end && (text[begin] == u'-' || text[begin] == u'+')) {
        negative = text[begin] == u'-';
        ++begin;
    }
    if (begin == end) {
        return std::nullopt;
    }
    long long value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        if (text[i] < u'0' || text[i] > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > 2147483648LL) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value > 2147483647LL) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::string Cp932Text(const QString &text)
{
    return cp932::fromUnicode(text).value_or(std::string());
}

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

QString UnencodableTextMessage()
{
    return QStringLiteral("シフトJIS(cp932)で表せない文字が含まれています。");
}

bool FileExists(const std::string &path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::exists(cp932::toNativePath(path), error);
}

} // namespace belvane
