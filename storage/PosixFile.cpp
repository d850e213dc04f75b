#include "PosixFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <dirent.h>
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

int openHeld(const std::string &path, int access)
{
    // O_NONBLOCK keeps a FIFO or device at the path from stalling the open; it has no effect on the
    // regular files that are all we go on to use.
    const int fd = openRetrying(path, access | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    if (!isRegularFile(fd)) {
        ::close(fd);
        errno = EACCES;
        return -1;
    }
    if (!lockExclusive(fd)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool exists(const std::string &path)
{
    struct stat info
    {
    };
    return !path.empty() && path.find('\0') == std::string::npos && ::stat(path.c_str(), &info) == 0;
}

bool isExecutableFile(const std::string &path)
{
    struct stat info
    {
    };
    return exists(path) && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
        && ::access(path.c_str(), X_OK) == 0;
}

namespace {

// Where a replacement really goes: the target of a symbolic link, so the link itself stays in place.
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

// The longest tail a sibling's name takes after its stem: the process id, a serial number and a stamp,
// each of at most ten digits, joined by '-'.
constexpr std::size_t siblingTailLength = 10 + 1 + 10 + 1 + 10;

// The start of the name of every sibling `target` gets: a dot, the target's name and a dot. A long name
// is cut (not inside a UTF-8 character) so that the whole sibling name stays within the file system's
// limit, however long the target's own name.
std::string siblingStem(const std::string &target)
{
    const std::size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::size_t kept = std::min(base.size(), std::size_t {NAME_MAX} - 2 - siblingTailLength);
    while (kept > 0 && kept < base.size() && (static_cast<unsigned char>(base[kept]) & 0xC0) == 0x80) {
        --kept;
    }
    return "." + base.substr(0, kept) + ".";
}

// True for a sibling's tail: three runs of digits joined by '-'.
bool isSiblingTail(std::string_view tail)
{
    int runs = 0;
    bool digits = false;
    for (const char c : tail) {
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '-' && digits && runs < 2) {
            ++runs;
            digits = false;
        } else {
            return false;
        }
    }
    return runs == 2 && digits;
}

// Creates a new file of a name nobody uses beside `target`, with 0666 less the umask. Its name starts
// with a dot, so a replacement cut short by a crash stays out of the way. -1 with errno set.
int createSibling(const std::string &target, std::string &siblingPath)
{
    static std::atomic<unsigned> serial {0};
    const std::string stem = folderOf(target) + "/" + siblingStem(target);
    const auto stamp =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        siblingPath = stem + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1)) + "-"
            + std::to_string(stamp % 1000000007ULL);
        const int fd = openRetrying(siblingPath, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

// Makes a rename into the folder of `target` durable; false with errno set when the sync failed.
bool syncFolderOf(const std::string &target)
{
    const Descriptor folder(openRetrying(folderOf(target), O_RDONLY | O_DIRECTORY));
    // Some file systems cannot sync a folder at all (EINVAL); the rename is then as durable as it gets.
    return !folder.valid() || syncRetrying(folder.get()) || errno == EINVAL;
}

} // namespace

void removeLeftoverSiblings(const std::string &path)
{
    const std::string target = resolveLink(path);
    const std::string stem = siblingStem(target);
    DIR *folder = ::opendir(folderOf(target).c_str());
    if (folder == nullptr) {
        return;
    }
    while (const dirent *entry = ::readdir(folder)) {
        const std::string_view name(entry->d_name);
        if (!name.starts_with(stem) || !isSiblingTail(name.substr(stem.size()))) {
            continue;
        }
        // A sibling that a replacement still writes is held; only one nobody holds is left over.
        const Descriptor sibling(::openat(::dirfd(folder), entry->d_name,
                                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (sibling.valid() && isRegularFile(sibling.get()) && lockExclusive(sibling.get())) {
            static_cast<void>(::unlinkat(::dirfd(folder), entry->d_name, 0));
        }
    }
    ::closedir(folder);
}

Replaced replaceFile(const std::string &path, int existing, const std::function<bool(int)> &fill,
                     bool keepExisting)
{
    const std::string target = resolveLink(path);
    std::string siblingPath;
    const Descriptor sibling(createSibling(target, siblingPath));
    if (!sibling.valid()) {
        return Replaced::No;
    }
    struct stat old
    {
    };
    // Readers that open the new file while we still finish up must meet the same exclusive hold.
    bool done = lockExclusive(sibling.get());
    if (done && existing >= 0 && ::fstat(existing, &old) == 0) {
        static_cast<void>(::fchown(sibling.get(), old.st_uid, old.st_gid));
        static_cast<void>(::fchmod(sibling.get(), old.st_mode & 0777));
    }
    done = done && fill(sibling.get()) && syncRetrying(sibling.get());
    bool linked = false;
    if (done && keepExisting) {
        // A rename that refuses a taken name; where the file system cannot do that, a hard link does.
        done = ::renameat2(AT_FDCWD, siblingPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
        if (!done && errno == EINVAL) {
            done = linked = ::link(siblingPath.c_str(), target.c_str()) == 0;
        }
    } else if (done) {
        done = ::rename(siblingPath.c_str(), target.c_str()) == 0;
    }
    if (!done || linked) {
        const int error = errno;
        ::unlink(siblingPath.c_str());
        errno = error;
    }
    if (!done) {
        return Replaced::No;
    }
    // Without this the rename itself could be lost in a crash, leaving the old content after all.
    return syncFolderOf(target) ? Replaced::Yes : Replaced::NotDurable;
}

bool copyFile(const std::string &from, const std::string &to)
{
    const Descriptor source(openHeld(from, O_RDONLY));
    if (!source.valid()) {
        return false;
    }
    const auto copy = [&source](int target) {
        char buffer[65536];
        for (;;) {
            const ssize_t count = readFully(source.get(), buffer, sizeof buffer);
            if (count <= 0) {
                return count == 0;
            }
            if (!writeFully(target, buffer, static_cast<std::size_t>(count))) {
                return false;
            }
        }
    };
    return replaceFile(to, -1, copy, true) != Replaced::No;
}

} // namespace belvane::posix
