#include "ProgramFolder.h"

#include "ActionListFile.h"
#include "Cp932.h"
#include "PosixFile.h"
#include "SettingsFile.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace belvane {

ProgramFolder ProgramFolder::fromNative(std::string nativePath)
{
    if (nativePath.empty() || nativePath.back() != '/') {
        nativePath += '/';
    }
    ProgramFolder folder;
    folder.cp932 = cp932::fromNativePath(nativePath);
    folder.native = std::move(nativePath);
    return folder;
}

namespace {

// The user's home: $HOME, or the password database's entry when it is unset.
std::string homeFolder()
{
    const char *home = std::getenv("HOME");
    if (home != nullptr && *home == '/') {
        return home;
    }
    const passwd *entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
}

std::string withSlash(std::string folder)
{
    return folder.empty() || folder.back() != '/' ? folder + '/' : folder;
}

} // namespace

ProgramFolder executableFolder()
{
    // The kernel's link names the real file, through any link the program was started by; readable
    // before Qt is set up, so that --help can name the folder too.
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        return ProgramFolder::fromNative(program.parent_path().string());
    }
    return ProgramFolder::fromNative(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
}

Folders chooseFolders(const ProgramFolder &program)
{
    Folders folders {program, program, {}};
    if (!posix::exists(program.native + systemWideMarker)) {
        return folders;
    }
    // A relative $XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
    const char *config = std::getenv("XDG_CONFIG_HOME");
    const std::string base =
        config != nullptr && *config == '/' ? withSlash(config) : withSlash(homeFolder()) + ".config/";
    folders.files = ProgramFolder::fromNative(base + "belvane");
    return folders;
}

bool makeFilesFolder(const Folders &folders)
{
    if (folders.files.native == folders.program.native) {
        return true;
    }
    std::string path;
    for (std::size_t next = 1; next != std::string::npos;) {
        next = folders.files.native.find('/', next);
        path = folders.files.native.substr(0, next);
        if (next != std::string::npos) {
            ++next;
        }
        // Folders made here are the user's alone, as the base directory rules ask.
        if (!path.empty() && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat info
    {
    };
    if (::stat(folders.files.native.c_str(), &info) != 0) {
        return false;
    }
    errno = ENOTDIR;
    return S_ISDIR(info.st_mode);
}

std::string perUserInstallFolder()
{
    return withSlash(homeFolder()) + ".local/lib/belvane/";
}

bool copyPerUserFiles(Folders &folders, const std::string &from)
{
    const std::string &to = folders.files.native;
    if (to == folders.program.native || to == from || posix::exists(to + ActionListFile::fileName)
        || !posix::exists(from + ActionListFile::fileName)) {
        return true;
    }
    // The list goes last: once it is there, the next start copies nothing more.
    for (const char *name : {SettingsRecord::fileName, ActionListFile::fileName}) {
        const bool present = posix::exists(from + name);
        if (present && !posix::exists(to + name) && !posix::copyFile(from + name, to + name)) {
            return false;
        }
    }
    folders.copiedFrom = from;
    return true;
}

std::optional<std::string> computerName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return std::nullopt;
    }
    return std::string(name);
}

} // namespace belvane
