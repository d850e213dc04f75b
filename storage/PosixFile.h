#pragma once

// The file-system calls the storage classes share: opens and reads that ride out signals, the
// exclusive hold every open of the program's files takes, and the pieces of a replacement that is
// either whole or not made at all.
#include <string>

#include <sys/types.h>

namespace belvane::posix {

// Closes a descriptor when its scope ends.
class Descriptor final
{
public:
    explicit Descriptor(int descriptor = -1)
        : fd(descriptor)
    { }
    ~Descriptor();
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return fd; }
    bool valid() const { return fd >= 0; }

private:
    int fd;
};

// open(2) with close-on-exec and no controlling terminal, tried again when a signal interrupts it.
int openRetrying(const std::string &path, int flags, mode_t mode = 0);
// The exclusive hold, without waiting: fails with EWOULDBLOCK while another open holds the file.
bool lockExclusive(int fd);
bool isRegularFile(int fd);
// Reads until `size` bytes are in or the file ends; the count, or -1 with errno set.
ssize_t readFully(int fd, void *buffer, std::size_t size);
// Writes all `size` bytes; false with errno set otherwise (no progress counts as a full disk).
bool writeFully(int fd, const void *buffer, std::size_t size);
bool syncRetrying(int fd);
// Where a replacement really goes: the target of a symbolic link, so the link itself stays in place.
std::string resolveLink(const std::string &path);
std::string folderOf(const std::string &path);
// Creates a new file of a name nobody uses beside `target`, with 0666 less the umask. Its name starts
// with a dot, so a replacement cut short by a crash stays out of the way. -1 with errno set.
int createSibling(const std::string &target, std::string &siblingPath);
// Makes a rename into the folder of `target` durable; false with errno set when the sync failed.
bool syncFolderOf(const std::string &target);

} // namespace belvane::posix
