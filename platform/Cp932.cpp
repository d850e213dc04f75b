#include "Cp932.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace belvane::cp932 {

namespace {
// Microsoft's cp932 (0x5C is a backslash, 0x81 0x60 is U+FF5E); glibc's SJIS and IBM-943 differ.
constexpr const char *codecName = "windows-31j";

// Whether the converter would map `c` (a byte or a character) to itself: all of ASCII but the three
// control codes it exchanges (0x1A, 0x1C, 0x7F). Texts made only of these are converted here, so
// that a program that meets no other text (its folder, its settings) never loads the converter and
// its tables.
bool same(char16_t c)
{
    return c < 0x80 && c != 0x1A && c != 0x1C && c != 0x7F;
}

bool plain(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return same(static_cast<unsigned char>(c)); });
}

bool plain(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return same(c.unicode()); });
}
} // namespace

QString toUnicode(std::string_view bytes)
{
    if (plain(bytes)) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    QStringDecoder decoder(codecName, QStringDecoder::Flag::Stateless);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::optional<QString> toUnicodeExactly(std::string_view bytes)
{
    if (bytes.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    if (plain(bytes)) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    QStringDecoder decoder(codecName, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> fromUnicode(const QString &text)
{
    if (plain(text)) {
        return text.toLatin1().toStdString();
    }
    QStringEncoder encoder(codecName, QStringEncoder::Flag::Stateless);
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError()) {
        return std::nullopt;
    }
    return bytes.toStdString();
}

std::size_t byteLength(const QString &text)
{
    if (plain(text)) {
        return static_cast<std::size_t>(text.size());
    }
    // An unencodable character comes out as the two bytes FC FC, which is the count wanted here.
    QStringEncoder encoder(codecName, QStringEncoder::Flag::Stateless);
    return static_cast<std::size_t>(QByteArray(encoder.encode(text)).size());
}

std::string toNativePath(std::string_view cp932Path)
{
    // A lenient decoding could name another file than the bytes do (a lone lead byte is dropped);
    // bytes that are not cp932 name no file at all.
    const std::optional<QString> path = toUnicodeExactly(cp932Path);
    return path ? QFile::encodeName(*path).toStdString() : std::string();
}

std::optional<std::string> fromNativePath(std::string_view nativePath)
{
    const QByteArray native(nativePath.data(), static_cast<qsizetype>(nativePath.size()));
    const QString text = QFile::decodeName(native);
    if (QFile::encodeName(text) != native) {
        return std::nullopt; // not valid in the file system's encoding: it would not round-trip
    }
    return fromUnicode(text);
}

} // namespace belvane::cp932
