#include "PosixLauncher.h"

#include "Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace belvane {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

int notStatable(int error)
{
    switch (error) {
    case ENOTDIR:
        return Launcher::pathNotFound;
    case EACCES:
        return Launcher::accessDenied;
    default:
        return Launcher::fileNotFound;
    }
}

bool startDetached(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    // The started program must not write into or read from this program's terminal streams.
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace

std::optional<QStringList> SplitShellWords(const QString &parameters)
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

int PosixLauncher::Open(WindowHandle /*parent*/, const std::string &file, const std::string &parameters,
                        int /*showCommand*/)
{
    const std::string nativePath = cp932::toNativePath(file);
    struct stat info
    {
    };
    if (nativePath.empty()) {
        return fileNotFound;
    }
    if (::stat(nativePath.c_str(), &info) != 0) {
        return notStatable(errno);
    }
    // Absolute, so that a bare name is never looked up in PATH and a name beginning with '-' is never
    // taken for an option.
    const QString path =
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(nativePath))).absoluteFilePath();

    if (S_ISREG(info.st_mode) && ::access(nativePath.c_str(), X_OK) == 0) {
        QStringList arguments;
        if (!parameters.empty()) {
            const std::optional<QStringList> words = SplitShellWords(cp932::toUnicode(parameters));
            if (!words) {
                return badFormat;
            }
            arguments = *words;
        }
        return startDetached(path, arguments) ? started : badFormat;
    }

    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty() || !startDetached(opener, {path})) {
        return noAssociation;
    }
    return started;
}

} // namespace belvane
