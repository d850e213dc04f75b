#pragma once

#include "TempDir.h"
#include "XSession.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace belvane::testing {

// A private pure Wayland session (no XWayland) on a headless compositor, for tests of the real program:
// weston, or sway, which tiles and refuses to run as root. Under root, sway and the programs meant for
// it run as the ordinary user `nobody`, on files handed to it (giveToUser). All ends with the session.
class WaylandSession final
{
public:
    enum class Compositor { Weston, Sway };

    ~WaylandSession() { stop(compositor); }

    // Starts the compositor; false when it does not come to accept clients.
    bool start(Compositor which)
    {
        const passwd *nobody = ::geteuid() == 0 && which == Compositor::Sway ? ::getpwnam("nobody") : nullptr;
        if (nobody != nullptr) {
            asUser = {QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                      QStringLiteral("--regid=%1").arg(nobody->pw_gid), QStringLiteral("--clear-groups")};
            user = {nobody->pw_uid, nobody->pw_gid};
        }
        ::chmod(runtime.path().c_str(), 0700);
        env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SWAYSOCK"}) {
            env.remove(QString::fromLatin1(name));
        }
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.path().string()));
        env.insert(QStringLiteral("HOME"), QString::fromStdString(runtime.path().string()));
        if (which == Compositor::Weston) {
            compositor.setProgram(QStringLiteral("weston"));
            compositor.setArguments(
                words("--backend=headless-backend.so --no-config --idle-time=0 --socket=wayland-1"));
        } else { // sway's own settings through env(1), so that the session's programs do not see them
            writeFile(runtime.file("sway.conf"), "xwayland disable\n");
            giveToUser(runtime.path());
            compositor.setProgram(QStringLiteral("env"));
            compositor.setArguments(
                words("WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman "
                      "WLR_HEADLESS_OUTPUTS=1 sway -c")
                << QString::fromStdString(runtime.file("sway.conf")));
            prefix(compositor);
        }
        compositor.setProcessEnvironment(env);
        // Kept for Output(), outside the runtime folder the compositor's user may clean.
        compositor.setProcessChannelMode(QProcess::MergedChannels);
        compositor.setStandardOutputFile(QString::fromStdString(logFolder.file("compositor.log")));
        compositor.start();
        // Sockets count as system files. QDir keeps the list it read first: read afresh on each look, or
        // a look between the display socket and the IPC socket waits for ever on an empty list.
        QDir dir(QString::fromStdString(runtime.path().string()), QStringLiteral("sway-ipc.*"), QDir::Name,
                 QDir::System);
        const auto up = [&] {
            dir.refresh();
            return compositor.state() != QProcess::Running
                || (dir.exists(QStringLiteral("wayland-1"))
                    && (which == Compositor::Weston || !dir.entryList().isEmpty()));
        };
        if (!compositor.waitForStarted(10000) || !waitUntil(up) || compositor.state() != QProcess::Running) {
            return false;
        }
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-1"));
        if (which == Compositor::Sway) {
            env.insert(QStringLiteral("SWAYSOCK"), dir.filePath(dir.entryList().value(0)));
        }
        return true;
    }

    // What the compositor wrote to standard output and error, with its state, for failure messages.
    std::string output() const
    {
        return "compositor " + std::string(compositor.state() == QProcess::Running ? "running" : "ended")
            + ", its output:\n" + readFile(logFolder.file("compositor.log"));
    }

    // Makes `process` run its program as the session's user.
    void prefix(QProcess &process) const
    {
        QStringList command = asUser + QStringList {process.program()} + process.arguments();
        process.setProgram(command.takeFirst());
        process.setArguments(command);
    }

    // Hands `path` and everything below it to the session's user.
    void giveToUser(const std::filesystem::path &path) const
    {
        if (asUser.isEmpty()) {
            return;
        }
        ::chown(path.c_str(), user.first, user.second);
        for (const auto &entry : std::filesystem::recursive_directory_iterator(path)) {
            ::lchown(entry.path().c_str(), user.first, user.second);
        }
    }

    // The window of application `appId` in sway's tree (swaymsg -t get_tree), of type "floating_con" when
    // it floats; empty while there is none.
    QJsonObject swayWindow(const QString &appId) const
    {
        QStringList command = asUser + words("swaymsg -t get_tree -r");
        const QString tree = runTool(command.takeFirst(), command, env);
        return find(QJsonDocument::fromJson(tree.toUtf8()).object(), appId);
    }

    QProcessEnvironment env; // the system's environment pointed at this session only

private:
    static QJsonObject find(const QJsonObject &node, const QString &appId)
    {
        QJsonObject found = node.value(QStringLiteral("app_id")).toString() == appId ? node : QJsonObject();
        for (const char *list : {"nodes", "floating_nodes"}) {
            for (const QJsonValue child : node.value(QLatin1String(list)).toArray()) {
                found = found.isEmpty() ? find(child.toObject(), appId) : found;
            }
        }
        return found;
    }

    TempDir runtime;
    TempDir logFolder;
    QProcess compositor;
    QStringList asUser; // setpriv and its options, or nothing when the session runs as we do
    std::pair<uid_t, gid_t> user {};
};

} // namespace belvane::testing
