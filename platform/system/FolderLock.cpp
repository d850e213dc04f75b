#include "FolderLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace belvane {

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

} // namespace belvane
