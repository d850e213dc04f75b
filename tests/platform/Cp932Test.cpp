#include "Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

namespace cp932 = belvane::cp932;

// Texts of ASCII alone are converted without the converter: every way must give what it gives,
// also for the control codes it exchanges and for texts on both sides of the shortcut.
TEST(Cp932Test, EveryTextConvertsAsTheConverterHasIt)
{
    for (const std::string bytes :
         {"C:\\alarm\\a b~.wav", "\x1A", "a\x1C", "\x7F z", "\t\r\n", "\x95\x5C", "\x81", ""}) {
        SCOPED_TRACE(bytes);
        QStringDecoder decoder("windows-31j", QStringDecoder::Flag::Stateless);
        const QString decoded = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
        EXPECT_EQ(cp932::toUnicode(bytes), decoded);
        EXPECT_EQ(cp932::toUnicodeExactly(bytes), decoder.hasError() ? std::nullopt : std::optional(decoded));

        const QString text = QString::fromLatin1(bytes.data(), qsizetype(bytes.size())) + decoded;
        QStringEncoder encoder("windows-31j", QStringEncoder::Flag::Stateless);
        const QByteArray encoded = encoder.encode(text);
        EXPECT_EQ(cp932::fromUnicode(text),
                  encoder.hasError() ? std::nullopt : std::optional(encoded.toStdString()));
        EXPECT_EQ(cp932::byteLength(text), std::size_t(encoded.size()));
    }
}
