#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QThread>

#include <chrono>
#include <functional>

namespace belvane::testing {

// Waits for `done` to hold, polling; false when `limit` passed first.
inline bool WaitUntil(const std::function<bool()> &done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

// Runs a program to its end and gives its standard output; empty when it failed to run.
inline QString RunTool(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// A private X display (Xvfb on the first free display number) with a tray host (trayer) on it, for
// tests of the real program. Both are ended with the session.
class XSession final
{
public:
    XSession() = default;
    ~XSession()
    {
        for (QProcess *p : {&windowManager, &tray, &server}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(5000)) {
                    p->kill();
                    p->waitForFinished();
                }
            }
        }
    }
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    // Starts the display and, when `withTray`, the tray host; false when either cannot be started.
    bool Start(bool withTray = true)
    {
        server.start(QStringLiteral("Xvfb"),
                     {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                      QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                      QStringLiteral("tcp")});
        if (!server.waitForStarted(10000)) {
            return false;
        }
        QByteArray number;
        while (!number.contains('\n')) {
            if (!server.waitForReadyRead(10000)) {
                return false;
            }
            number += server.readAllStandardOutput();
        }
        display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (!withTray) {
            return true;
        }
        tray.setProcessEnvironment(env);
        tray.start(QStringLiteral("trayer"),
                   {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                    QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                    QStringLiteral("--height"), QStringLiteral("24")});
        // A loaded machine (the sanitizer build next to the others) can take a while to dock the panel.
        return tray.waitForStarted(10000)
            && WaitUntil([this] { return TrayWidth() > 0; }, std::chrono::seconds(30));
    }

    // Starts a window manager (openbox) on the display: it sets WM_STATE and _NET_WM_STATE as a desktop
    // would. False when it does not come up.
    bool StartWindowManager()
    {
        windowManager.setProcessEnvironment(env);
        windowManager.start(QStringLiteral("openbox"), {});
        return windowManager.waitForStarted(10000)
            && WaitUntil(
                   [this] {
                       return RunTool(QStringLiteral("xprop"),
                                      {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")},
                                      env)
                           .contains(QStringLiteral("window id"));
                   },
                   std::chrono::seconds(30));
    }

    // The width of the tray host's panel: it grows by one slot for every docked icon; 0 when absent.
    int TrayWidth() const
    {
        const QString tree =
            RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}, env);
        static const QRegularExpression panel(
            QStringLiteral("\"panel\": \\(\"panel\" \"trayer\"\\)\\s+(\\d+)x"));
        const QRegularExpressionMatch match = panel.match(tree);
        return match.hasMatch() ? match.captured(1).toInt() : 0;
    }

    // The ids of visible windows titled exactly `title`.
    QStringList VisibleWindows(const QString &title) const
    {
        return Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                        QStringLiteral("^%1$").arg(title)})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Runs xdotool on this display (input goes through XTEST, as a user's would) and gives its output.
    QString Xdotool(const QStringList &arguments) const
    {
        return RunTool(QStringLiteral("xdotool"), arguments, env);
    }

    QString display;
    QProcessEnvironment env; // the system's environment pointed at this display

private:
    QProcess server;
    QProcess tray;
    QProcess windowManager;
};

} // namespace belvane::testing
