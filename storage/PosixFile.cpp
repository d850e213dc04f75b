#include "PosixFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace belvane::posix {

Descriptor::~Descriptor()
{
    if (fd >= 0) {
        ::close(fd);
    }
}

int openRetrying(const std::string &path, int flags, mode_t mode)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool lockExclusive(int fd)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool isRegularFile(int fd)
{
    struct stat info
    {
    };
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

ssize_t readFully(int fd, void *buffer, std::size_t size)
{
    auto *bytes = static_cast<unsigned char *>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, bytes + done, size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

bool writeFully(int fd, const void *buffer, std::size_t size)
{
    const auto *bytes = static_cast<const unsigned char *>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(fd, bytes + done, size - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0) {
            return false;
        }
        if (put == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool syncRetrying(int fd)
{
    while (::fsync(fd) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

std::string resolveLink(const std::string &path)
{
    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char *real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        return path;
    }
    std::string resolved(real);
    std::free(real);
    return resolved;
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

int createSibling(const std::string &target, std::string &siblingPath)
{
    static std::atomic<unsigned> serial {0};
    const std::string folder = folderOf(target);
    const std::size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const auto stamp =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        siblingPath = folder + "/." + base + "." + std::to_string(::getpid()) + "-"
            + std::to_string(serial.fetch_add(1)) + "-" + std::to_string(stamp % 1000000007ULL);
        const int fd = openRetrying(siblingPath, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

bool syncFolderOf(const std::string &target)
{
    const Descriptor folder(openRetrying(folderOf(target), O_RDONLY | O_DIRECTORY));
    // Some file systems cannot sync a folder at all (EINVAL); the rename is then as durable as it gets.
    return !folder.valid() || syncRetrying(folder.get()) || errno == EINVAL;
}

} // namespace belvane::posix
