#include "PosixLauncher.h"

#include "Cp932.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace belvane {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

LaunchResult notStatable(int error)
{
    switch (error) {
    case ENOTDIR:
        return LaunchResult::PathNotFound;
    case EACCES:
        return LaunchResult::AccessDenied;
    default:
        return LaunchResult::FileNotFound;
    }
}

// `path` made absolute by putting the current folder before it, and nothing else: a `..` after a
// symbolic link must keep meaning what it meant when the file was checked.
std::string absolute(const std::string &path)
{
    if (path.starts_with('/')) {
        return path;
    }
    std::vector<char> folder(256);
    while (::getcwd(folder.data(), folder.size()) == nullptr) {
        if (errno != ERANGE) {
            return {};
        }
        folder.resize(folder.size() * 2);
    }
    return std::string(folder.data()) + "/" + path;
}

// Collects the exit status of a started program when it ends, through the event loop, so that it
// leaves no zombie and nothing ever waits for it. Without a loop (or on a kernel without process
// descriptors) a thread of its own waits instead.
void reapWhenEnded(pid_t pid)
{
    const int descriptor = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (descriptor >= 0 && QCoreApplication::instance() != nullptr) {
        // Owned by the application, so that one still running at exit is released with it.
        auto *notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, descriptor, pid]() {
            ::waitpid(pid, nullptr, WNOHANG); // readable: it has ended, this does not wait
            notifier->setEnabled(false);
            ::close(descriptor);
            notifier->deleteLater();
        });
        return;
    }
    if (descriptor >= 0) {
        ::close(descriptor);
    }
    std::thread([pid]() { ::waitpid(pid, nullptr, 0); }).detach();
}

// Starts the program at `words[0]` (an absolute path, never looked up in PATH) with the other words as
// its arguments, all in the file system's encoding, detached: in a session
// of its own, in this program's current folder, with /dev/null as its standard input, output and error,
// no other descriptor of this program, every signal at its default and none blocked. With a
// `startupId`, the program gets it as its startup-notification id. The address space is not copied
// (glibc spawns with a shared, suspended parent), so the cost does not grow with this program's size.
// 0 on success, else the errno of the failed start.
int spawn(std::vector<std::string> words, const std::string &startupId, pid_t &pid)
{
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    // An inherited startup id names someone else's start.
    static constexpr std::string_view startupKey = "DESKTOP_STARTUP_ID=";
    std::string startupEntry = std::string(startupKey) + startupId;
    std::vector<char *> envp;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        if (!std::string_view(*entry).starts_with(startupKey)) {
            envp.push_back(*entry);
        }
    }
    if (!startupId.empty()) {
        envp.push_back(startupEntry.data());
    }
    envp.push_back(nullptr);

    // Every signal at its default, glibc's two internal ones too: sigfillset leaves those out (and
    // sigaddset refuses them), and posix_spawn would then hand them to the program ignored. The set is a
    // bit mask whatever the size of its words, and no bit past the last signal is read.
    sigset_t all;
    sigset_t none;
    std::memset(&all, 0xFF, sizeof all);
    sigemptyset(&none);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (const int error = posix_spawn_file_actions_init(&actions); error != 0) {
        return error;
    }
    if (const int error = posix_spawnattr_init(&attributes); error != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return error;
    }
    // A start that lacks any one of these (the closing of our descriptors above all) is not the start
    // promised above, so the first that fails is the start's error.
    int error = 0;
    for (const int result : {
             posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0),
             // The user's programs do not write into this program's output or log.
             posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0),
             posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO),
             // Close-on-exec or not (a library may have forgotten), no descriptor of ours reaches it.
             posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1),
             posix_spawnattr_setsigdefault(&attributes, &all),
             posix_spawnattr_setsigmask(&attributes, &none),
             posix_spawnattr_setflags(&attributes,
                                      POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID),
         }) {
        error = error != 0 ? error : result;
    }
    if (error == 0) {
        error = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error == 0) {
        reapWhenEnded(pid);
    }
    return error;
}

} // namespace

std::optional<QStringList> splitShellWords(const QString &parameters)
{
    QStringList words;
    QString word;
    bool inWord = false; // a word has begun, even if it is empty so far ('' is an empty argument)
    const qsizetype n = parameters.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = parameters[i];
        if (isBlank(c)) {
            if (inWord) {
                words.append(word);
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == u'\\') {
            if (i + 1 == n) {
                word.append(c); // a backslash at the very end has nothing to escape
            } else if (parameters[++i] != u'\n') {
                word.append(parameters[i]);
            }
        } else if (c == u'\'') {
            const qsizetype close = parameters.indexOf(u'\'', i + 1);
            if (close < 0) {
                return std::nullopt;
            }
            word.append(parameters.mid(i + 1, close - i - 1));
            i = close;
        } else if (c == u'"') {
            for (++i;; ++i) {
                if (i >= n) {
                    return std::nullopt;
                }
                const QChar d = parameters[i];
                if (d == u'"') {
                    break;
                }
                if (d == u'\\' && i + 1 < n) {
                    const QChar next = parameters[i + 1];
                    if (next == u'"' || next == u'\\' || next == u'$' || next == u'`') {
                        word.append(next);
                        ++i;
                        continue;
                    }
                    if (next == u'\n') {
                        ++i;
                        continue;
                    }
                }
                word.append(d);
            }
        } else {
            word.append(c);
        }
    }
    if (inWord) {
        words.append(word);
    }
    return words;
}

PosixLauncher::PosixLauncher(std::chrono::milliseconds windowBound)
    : windowStates(windowBound)
{ }

int PosixLauncher::start(std::vector<std::string> words, int showCommand)
{
    const std::string startupId = windowStates.prepare(showCommand);
    pid_t pid = 0;
    const int error = spawn(std::move(words), startupId, pid);
    windowStates.started(startupId, error == 0 ? pid : 0);
    return error;
}

bool PosixLauncher::watchingWindows() const
{
    return windowStates.watching();
}

LaunchResult PosixLauncher::open(WindowHandle /*parent*/, const std::string &file,
                                 const std::string &parameters, int showCommand)
{
    const std::optional<QString> name = cp932::toUnicodeExactly(file);
    const std::optional<QString> parameterText = cp932::toUnicodeExactly(parameters);
    if (!name || !parameterText) {
        return LaunchResult::InvalidText;
    }
    if (name->isEmpty()) {
        return LaunchResult::FileNotFound;
    }
    // Absolute, so that a bare name is never looked up in PATH and a name beginning with '-' is never
    // taken for an option; checked and started as this same text.
    const std::string path = absolute(QFile::encodeName(*name).toStdString());
    if (path.empty()) {
        return LaunchResult::PathNotFound;
    }
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0) {
        return notStatable(errno);
    }

    if (S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0) {
        const std::optional<QStringList> arguments = splitShellWords(*parameterText);
        if (!arguments) {
            return LaunchResult::BadFormat;
        }
        std::vector<std::string> words {path};
        for (const QString &argument : *arguments) {
            words.push_back(QFile::encodeName(argument).toStdString());
        }
        const int error = start(std::move(words), showCommand);
        return error == 0     ? LaunchResult::Started
            : error == EACCES ? LaunchResult::AccessDenied
                              : LaunchResult::BadFormat;
    }

    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        return LaunchResult::NoAssociation;
    }
    // The opener's final program is a descendant or takes the startup id over.
    return start({QFile::encodeName(opener).toStdString(), path}, showCommand) == 0
        ? LaunchResult::Started
        : LaunchResult::NoAssociation;
}

} // namespace belvane
