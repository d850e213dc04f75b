#include "Cp932.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace belvane::cp932 {

namespace {
// Microsoft's cp932 (0x5C is a backslash, 0x81 0x60 is U+FF5E); glibc's SJIS and IBM-943 differ.
constexpr const char *codecName = "windows-31j";

// Opening a converter costs more than most conversions: one of each per thread, reset before use.
QStringDecoder &decoder()
{
    thread_local QStringDecoder converter(codecName, QStringDecoder::Flag::Stateless);
    converter.resetState();
    return converter;
}

QStringEncoder &encoder()
{
    thread_local QStringEncoder converter(codecName, QStringEncoder::Flag::Stateless);
    converter.resetState();
    return converter;
}
} // namespace

QString toUnicode(std::string_view bytes)
{
    return decoder().decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::optional<QString> toUnicodeExactly(std::string_view bytes)
{
    if (bytes.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    QStringDecoder &converter = decoder();
    QString text = converter.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (converter.hasError()) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> fromUnicode(const QString &text)
{
    QStringEncoder &converter = encoder();
    const QByteArray bytes = converter.encode(text);
    if (converter.hasError()) {
        return std::nullopt;
    }
    return bytes.toStdString();
}

std::size_t byteLength(const QString &text)
{
    // An unencodable character comes out as the two bytes FC FC, which is the count wanted here.
    return static_cast<std::size_t>(QByteArray(encoder().encode(text)).size());
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
