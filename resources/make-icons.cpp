// Writes the desktop icons from the bell the program draws: a scalable SVG and PNGs of the usual
// sizes, in a hicolor icon theme folder.
//   make-icons <theme folder>
#include "ApplicationIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icons <theme folder>\n");
        return 2;
    }
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    char *qtArgv[] = {argv[0], platform, offscreen, nullptr};
    int qtArgc = 3;
    QGuiApplication application(qtArgc, qtArgv);
    const QString theme = QString::fromLocal8Bit(argv[1]);

    const QString scalable = theme + QStringLiteral("/scalable/apps");
    QSvgGenerator svg;
    svg.setFileName(scalable + QStringLiteral("/belvane.svg"));
    svg.setSize(QSize(48, 48));
    svg.setViewBox(QRect(0, 0, 48, 48));
    svg.setTitle(QStringLiteral("Belvane"));
    if (!QDir().mkpath(scalable)) {
        return 1;
    }
    {
        QPainter painter(&svg);
        painter.setRenderHint(QPainter::Antialiasing);
        belvane::paintBell(painter);
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = theme + QStringLiteral("/%1x%1/apps").arg(size);
        if (!QDir().mkpath(folder)
            || !belvane::bellImage(size).save(folder + QStringLiteral("/belvane.png"))) {
            std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
