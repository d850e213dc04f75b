#pragma once

// Helpers for tests and benchmarks that run the real program from a temporary program folder.
#include "ActionListFile.h"
#include "SettingsFile.h"
#include "TempDir.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <filesystem>
#include <random>
#include <set>
#include <string>

namespace belvane::testing {

// A port nobody listens on right now, for a program started next to listen on. Taken at random
// below the system's ephemeral range: a port the system handed out for the probe could be handed to
// a parallel test's probe as well, or to any outgoing connection, before our program binds it.
inline quint16 freePort()
{
    static std::mt19937 pick {std::random_device {}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto port = static_cast<quint16>(std::uniform_int_distribution<int>(20000, 29999)(pick));
        if (QTcpServer probe; probe.listen(QHostAddress::AnyIPv4, port)) {
            return port;
        }
    }
    return 0;
}

// Whether something accepts connections on the loopback `port`.
inline bool accepting(quint16 port, int waitMs = 200)
{
    QTcpSocket socket; // its end aborts the connection
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(waitMs);
}

inline std::set<std::string> filesIn(const std::filesystem::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Starts `program` with `env`; false when it does not start.
inline bool launch(QProcess &process, const std::string &program, const QProcessEnvironment &env,
                   const QStringList &arguments = {})
{
    process.setProcessEnvironment(env);
    process.start(QString::fromStdString(program), arguments);
    return process.waitForStarted(10000);
}

// Ends `process` with SIGTERM; true when it ended by itself with status 0.
inline bool endsCleanly(QProcess &process)
{
    process.terminate();
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

#ifdef BELVANE_PROGRAM_DIR
// Sends one alarm with belvane-send; true when it was delivered.
inline bool sendAlarm(quint16 port, int level, const QString &sender = QStringLiteral("PC1"),
                      const QString &message = QStringLiteral("お茶です"))
{
    QProcess send;
    send.start(QStringLiteral(BELVANE_PROGRAM_DIR "/belvane-send"),
               {QStringLiteral("--port"), QString::number(port), QStringLiteral("--sender"), sender,
                QStringLiteral("--message"), message, QStringLiteral("--level"), QString::number(level)});
    return send.waitForFinished(10000) && send.exitStatus() == QProcess::NormalExit && send.exitCode() == 0;
}
#endif

inline std::string settingsImage(std::int32_t port, std::int32_t x = 52, std::int32_t y = 52)
{
    const auto image = SettingsRecord {x, y, port}.toBytes();
    return std::string(reinterpret_cast<const char *>(image.data()), image.size());
}

// A new temporary program folder holding the built program and its files, the default list with level 3
// running a script that writes its arguments one per line to "<script>.out", and settings naming a
// free port.
struct ProgramCopy
{
    explicit ProgramCopy(const std::filesystem::path &programDir)
        : path(temporary.path())
    {
        for (const char *name : {"belvane", "Malarm.wav", "Salarm.wav", "README.md"}) {
            std::filesystem::copy_file(programDir / name, path / name);
        }
        script = file("record-arguments.sh");
        writeFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"$0.out\"\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);

        ActionListFile list;
        list.CreateDefault(file("Belvane.acd"), path.string() + "/");
        ActionRecord level3;
        level3.enabled = 1;
        setFieldText(level3.actionFile, script);
        setFieldText(level3.parameters, "alpha \"two words\" 'single quoted' back\\ slash");
        list.OpenOrCreate(0, file("Belvane.acd"));
        list.BeginWrite();
        list.WriteRecord(3, level3);
        list.Close();

        port = freePort();
        writeFile(file("Belvane.cfg"), settingsImage(port));
    }

    std::string file(const std::string &name) const { return (path / name).string(); }
    // What level 3's script wrote so far.
    std::string scriptOutput() const { return readFile(script + ".out"); }

    TempDir temporary;
    std::filesystem::path path;
    std::string script;
    quint16 port = 0;
};

} // namespace belvane::testing
