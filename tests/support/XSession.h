#pragma once

#include "Wait.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>

#include <functional>
#include <random>

namespace belvane::testing {

// Ends a process politely, then firmly.
inline void stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
}

// The words of `text`, split at spaces, as a program's arguments.
inline QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

// Runs a program to its end and gives its standard output; empty when it failed to run.
inline QString runTool(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        stop(process);
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// A private X display (Xvfb on the first free display number) with a tray host (trayer) and, when
// asked, a window manager (openbox) on it, for tests of the real program. All end with the session.
class XSession final
{
public:
    ~XSession()
    {
        for (QProcess *p : {&tray, &windowManager, &server}) {
            stop(*p);
        }
    }

    // A display name no server has now, for a session started later. The number is picked at random
    // well above the low ones that Xvfb's -displayfd hands out to other sessions: a number one of them
    // has just given up can still be torn down under a new server, which then takes no clients.
    static QString unusedDisplay()
    {
        static std::mt19937 pick {std::random_device {}()};
        int number = 0;
        do {
            number = std::uniform_int_distribution<int>(100, 999)(pick);
        } while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))
                 || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)));
        return QStringLiteral(":%1").arg(number);
    }

    // Starts the display (`name`, or else one of unusedDisplay()) and, when `withTray`, the tray host;
    // false when either cannot be started. A server that ends or takes no clients is given up and the
    // start tried again, on another number unless `name` was asked for.
    bool start(bool withTray = true, const QString &name = {})
    {
        for (int attempt = 0; attempt < 5 && display.isEmpty(); ++attempt) {
            const QString tried = name.isEmpty() ? unusedDisplay() : name;
            env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DISPLAY"), tried);
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
            server.start(QStringLiteral("Xvfb"),
                         QStringList {tried} << words("-screen 0 1024x768x24 -nolisten tcp"));
            // xprop prints to standard output only once it could open the display.
            const auto reached = [&] {
                return server.state() != QProcess::Running
                    || !runTool(QStringLiteral("xprop"), words("-root -len 0 WM_NAME"), env).isEmpty();
            };
            if (server.waitForStarted(10000) && waitUntil(reached) && server.state() == QProcess::Running) {
                display = tried;
            } else {
                stop(server);
            }
        }
        return !display.isEmpty() && (!withTray || startTray());
    }

    // Starts the tray host; false when its panel does not come up.
    bool startTray()
    {
        tray.setProcessEnvironment(env);
        tray.start(QStringLiteral("trayer"),
                   words("--edge top --align right --widthtype request --height 24"));
        // A loaded machine (the sanitizer build next to the others) can take a while to dock the panel.
        return tray.waitForStarted(10000) && waitUntil([this] { return trayWidth() > 0; });
    }

    void stopTray() { stop(tray); }

    // Starts openbox, which iconifies, restores and records window states (WM_STATE) as a desktop does.
    // On a loaded machine openbox now and then ends at once, with status 1 and without a word: it is
    // started again until it has taken the screen.
    bool startWindowManager()
    {
        managed = true;
        windowManager.setProcessEnvironment(env);
        return waitUntil([this] {
            if (windowManager.state() == QProcess::NotRunning) {
                windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
                windowManager.waitForStarted(10000);
            }
            return runTool(QStringLiteral("xprop"), words("-root _NET_SUPPORTING_WM_CHECK"), env)
                .contains(QStringLiteral("window id"));
        });
    }

    // The window manager's state of window `id`: "Normal", "Iconic", or empty when it has none
    // (withdrawn, that is hidden); `withFlags` adds the _NET_WM_STATE flags that matter here, as in
    // "Iconic HIDDEN" or "Normal MAXIMIZED_VERT MAXIMIZED_HORZ".
    QString windowState(const QString &id, bool withFlags = false) const
    {
        static const QRegularExpression state(QStringLiteral("window state: (\\w+)"));
        const QString props = runTool(QStringLiteral("xprop"), {"-id", id, "WM_STATE", "_NET_WM_STATE"}, env);
        QString result = state.match(props).captured(1);
        for (const QString flag : {"HIDDEN", "MAXIMIZED_VERT", "MAXIMIZED_HORZ"}) {
            const bool set = withFlags && !result.isEmpty() && props.contains("_NET_WM_STATE_" + flag);
            result += set ? u' ' + flag : QString();
        }
        return result;
    }

    // The width of the tray host's panel: it grows by one slot for every docked icon; 0 when absent.
    int trayWidth() const
    {
        const QString tree = runTool(QStringLiteral("xwininfo"), words("-root -tree"), env);
        static const QRegularExpression panel(
            QStringLiteral("\"panel\": \\(\"panel\" \"trayer\"\\)\\s+(\\d+)x"));
        return panel.match(tree).captured(1).toInt();
    }

    // The ids of visible windows titled exactly `title`, by default the program's own: its window and its
    // message boxes.
    QStringList visibleWindows(const QString &title = QStringLiteral("Belvane")) const
    {
        return xdotool(words("search --onlyvisible --name") << QStringLiteral("^%1$").arg(title))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Runs xdotool on this display (input goes through XTEST, as a user's would) and gives its output.
    QString xdotool(const QStringList &arguments) const
    {
        return runTool(QStringLiteral("xdotool"), arguments, env);
    }

    // Presses Return on window `id` until `done` holds: a key that came before the window had the focus
    // (a loaded machine) is pressed again. Each press is given a few seconds to take effect, as a
    // second activation would restore a window the first press has just minimised. False when it never
    // came to hold.
    bool pressReturnUntil(const QString &id, const std::function<bool()> &done) const
    {
        return waitUntil([&] {
            xdotool({managed ? QStringLiteral("windowactivate") : QStringLiteral("windowfocus"),
                     QStringLiteral("--sync"), id});
            xdotool(words("key Return"));
            return waitUntil(done, std::chrono::seconds(3));
        });
    }

    QString display;
    QProcessEnvironment env; // the system's environment pointed at this display

private:
    bool managed = false; // openbox runs
    QProcess server;
    QProcess tray;
    QProcess windowManager;
};

} // namespace belvane::testing
