// Renders the alarm window with a Japanese alarm, its command menu, the window beside a dialog under a
// dark theme, and (when a window manager and a taskbar without tray run on the display) the confirmed
// window minimised in the taskbar, on the current X display, and saves them as PNG files into the
// folder given: run under Xvfb, e.g.
//   xvfb-run -a -s "-screen 0 1024x768x24" sh -c 'openbox & tint2 -c tools/screenshots/taskbar.tint2rc &
//       sleep 2; build/tools/screenshots/alarm_window_screenshots docs'
// Each run also saves the window above the About dialog at the display's scale as scale-<percent>.png;
// at a scale other than 100 % (QT_SCALE_FACTOR) that is all it saves:
//   for s in 1.25 1.5 2; do QT_SCALE_FACTOR=$s xvfb-run -a -s "-screen 0 1280x960x24"
//       sh -c 'openbox & sleep 1; build/tools/screenshots/alarm_window_screenshots docs'; done
#include "AboutDialog.h"
#include "ActionPerformer.h"
#include "AlarmWindow.h"
#include "Cp932.h"
#include "FakeServices.h"
#include "ScriptedPrompts.h"
#include "TempDir.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    belvane::testing::TempDir folder;
    belvane::testing::RecordingServices services;
    belvane::ActionPerformer performer(services.wavePlayer, services.mediaCommands, services.launcher);
    belvane::testing::ScriptedPrompts prompts;
    belvane::AlarmWindow window(
        belvane::chooseFolders(belvane::ProgramFolder::fromNative(folder.path().string())), performer,
        prompts);
    window.Initialise();
    window.show();
    window.station().deliver(
        belvane::cp932::fromUnicode(QStringLiteral("#Sender=経理部 PC-07\n"
                                                   "#Message=12:00 お昼休みです。\r\n"
                                                   "午後の会議は 13:30 から第二会議室で。\n"
                                                   "#Level=0\n"))
            .value());
    QTest::qWait(500);

    const auto grab = [&](const QRect &area, const QString &name) {
        const QPixmap shot =
            QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        return shot.save(out.filePath(name));
    };
    belvane::AboutDialog scaled(&window);
    scaled.move(window.geometry().bottomLeft() + QPoint(0, 20));
    scaled.show();
    QTest::qWait(500);
    const qreal ratio = window.devicePixelRatioF();
    bool saved = grab(window.geometry().united(scaled.frameGeometry()).adjusted(-12, -12, 12, 12),
                      QStringLiteral("scale-%1.png").arg(qRound(ratio * 100)));
    scaled.hide();
    if (ratio != 1) {
        return saved ? 0 : 1;
    }
    saved = grab(window.geometry().adjusted(-12, -12, 12, 12), QStringLiteral("alarm-window.png")) && saved;

    QTimer::singleShot(500, [&] {
        const QMenu *menu = window.findChild<QMenu *>();
        if (menu != nullptr) {
            const QRect both = window.geometry().united(menu->geometry()).adjusted(-12, -12, 12, 12);
            saved = grab(both, QStringLiteral("command-menu.png")) && saved;
            const_cast<QMenu *>(menu)->close();
        } else {
            saved = false;
        }
    });
    QCursor::setPos(window.mapToGlobal(QPoint(380, 130)));
    QTest::mouseRelease(&window, Qt::RightButton, {}, QPoint(380, 130)); // the menu on the surface

    // A dark desktop theme: the dialog follows it, the alarm window keeps its own light colours.
    QPalette dark(QColor(45, 45, 48));
    dark.setColor(QPalette::Highlight, QColor(255, 160, 0));
    QApplication::setPalette(dark);
    belvane::AboutDialog about(&window);
    about.move(window.geometry().bottomLeft() + QPoint(0, 20));
    about.show();
    QTest::qWait(500);
    saved = grab(window.geometry().united(about.frameGeometry()).adjusted(-12, -12, 12, 12),
                 QStringLiteral("dark-theme.png"))
        && saved;
    about.hide();

    // No tray host: confirming leaves the window minimised, as a button in the taskbar.
    window.trayHostChanged(false);
    window.Confirm();
    QTest::qWait(1000);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    saved = grab(QRect(0, screen.bottom() - 47, 420, 48), QStringLiteral("no-tray-taskbar.png")) && saved;
    window.DestroyWindow();
    return saved ? 0 : 1;
}
