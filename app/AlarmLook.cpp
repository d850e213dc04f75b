#include "AlarmLook.h"

#include "Cp932.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace belvane {

namespace {
constexpr qsizetype shownCharacters = 64 * 1024;
constexpr qsizetype shownLines = 2000;
} // namespace

QRegion windowRegion()
{
    constexpr int w = windowWidth;
    constexpr int h = windowHeight;
    constexpr int d = 20; // the corner ellipse
    QRegion region(d / 2, 0, w - d, h);
    region += QRegion(0, d / 2, w, h - d);
    region += QRegion(0, 0, d, d, QRegion::Ellipse);
    region += QRegion(w - d, 0, d, d, QRegion::Ellipse);
    region += QRegion(0, h - d, d, d, QRegion::Ellipse);
    region += QRegion(w - d, h - d, d, d, QRegion::Ellipse);
    return region;
}

QPalette lightPalette()
{
    QPalette light(Qt::white); // black text on white, grey when disabled
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool enabled = group != QPalette::Disabled;
        const QColor text = enabled ? QColor(Qt::black) : QColor(109, 109, 109);
        light.setColor(group, QPalette::Window, Qt::white);
        light.setColor(group, QPalette::Base, Qt::white);
        light.setColor(group, QPalette::Button, Qt::white);
        light.setColor(group, QPalette::WindowText, text);
        light.setColor(group, QPalette::Text, text);
        light.setColor(group, QPalette::ButtonText, text);
        light.setColor(group, QPalette::PlaceholderText, QColor(109, 109, 109));
        light.setColor(group, QPalette::Highlight, enabled ? QColor(0, 120, 215) : QColor(200, 200, 200));
        light.setColor(group, QPalette::HighlightedText, enabled ? QColor(Qt::white) : text);
    }
    return light;
}

namespace {
// Cuts `text` to `length` characters and marks the cut; a pair of surrogates stays whole or goes.
QString cutShown(QString text, qsizetype length)
{
    if (text.at(length - 1).isHighSurrogate()) {
        --length;
    }
    text.truncate(length);
    return text + QStringLiteral("…");
}
} // namespace

QString shownSender(const std::string &cp932Sender)
{
    // A character takes at most two bytes: converting one more pair than is shown tells whether
    // anything was cut, without converting a megabyte.
    constexpr std::size_t enough = 2 * (shownSenderCharacters + 1);
    const QString text = cp932::toUnicode(std::string_view(cp932Sender).substr(0, enough));
    return text.size() > shownSenderCharacters ? cutShown(text, shownSenderCharacters) : text;
}

QString shownMessage(QString text)
{
    qsizetype cut = std::min(text.size(), shownCharacters);
    for (qsizetype i = 0, lines = 0; i < cut; ++i) {
        if (text.at(i) == u'\n' && ++lines == shownLines) {
            cut = i + 1;
            break;
        }
    }
    return cut == text.size() ? text : cutShown(std::move(text), cut);
}

bool onSomeScreen(const QRect &area)
{
    for (const QScreen *screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(area)) {
            return true;
        }
    }
    return false;
}

} // namespace belvane
