#include "ProgramFolder.h"

#include <climits>
#include <unistd.h>

#include "Cp932.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
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

ProgramFolder executableFolder()
{
    return ProgramFolder::fromNative(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
}

FolderLock::~FolderLock()
{
    if (fd >= 0) {
        ::close(fd);
    }
}

FolderLock::Result FolderLock::take(const std::string &nativeFolder)
{
    // Close-on-exec: programs that alarms start must not keep the folder locked after we end.
    const int opened = ::open(nativeFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (opened < 0) {
        return Result::Unavailable;
    }
    if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(opened);
        return taken ? Result::Taken : Result::Unavailable;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    fd = opened;
    return Result::Held;
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
