#include "AlarmLook.h"

#include "Cp932.h"
#include "X11WindowShape.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace belvane {

namespace {
constexpr qsizetype shownCharacters = 64 * 1024;
constexpr qsizetype shownLines = 2000;
} // namespace

QRegion windowRegion(qreal ratio)
{
    // The window's size in device pixels as the platform rounds it.
    const QSize size = QSize(windowWidth, windowHeight) * ratio;
    const int w = size.width();
    const int h = size.height();
    const qreal r = 10 * ratio; // the corner ellipse's radius
    // Each row of pixels spans what the corner circle leaves of it at the row's middle, so the curve is
    // drawn in the pixels it is shown in.
    QRegion region;
    int from = 0;
    int inset = -1;
    for (int y = 0; y <= h; ++y) {
        const qreal fromEdge = std::min(y, h - 1 - y) + 0.5;
        const int rowInset = y == h ? -1
            : fromEdge >= r         ? 0
                                    : qRound(r - std::sqrt(r * r - (r - fromEdge) * (r - fromEdge)));
        if (rowInset != inset) {
            if (inset >= 0) {
                region += QRect(inset, from, w - 2 * inset, y - from);
            }
            from = y;
            inset = rowInset;
        }
    }
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

void shapeWindow(QWidget *window)
{
    class Shaper final : public QObject
    {
    public:
        using QObject::QObject;

    protected:
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            // Shown, the window exists on the display with the mask the platform scaled; moved to a
            // screen of another density, it needs its curve anew.
            if (event->type() == QEvent::Show || event->type() == QEvent::ScreenChangeInternal) {
                auto *shaped = static_cast<QWidget *>(watched);
                const QRegion region = windowRegion(shaped->devicePixelRatioF());
                setX11WindowShape(shaped->winId(), QList<QRect>(region.begin(), region.end()));
            }
            return QObject::eventFilter(watched, event);
        }
    };
    window->setMask(windowRegion());
    window->installEventFilter(new Shaper(window));
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
