#pragma once

// The file-system calls the storage classes share: opens and reads that ride out signals, the
// exclusive hold every open of the program's files takes, and the pieces of a replacement that is
// either whole or not made at all.
#include <functional>
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
// Opens an existing regular file without waiting for a FIFO or device and takes the exclusive hold;
// -1 with errno set (EACCES for something that is not a regular file, EWOULDBLOCK while held).
int openHeld(const std::string &path, int access);
// True when something, of any kind, exists at `path` (in the file system's encoding).
bool exists(const std::string &path);
// True for a regular file this process may execute.
bool isExecutableFile(const std::string &path);
// Reads until `size` bytes are in or the file ends; the count, or -1 with errno set.
ssize_t readFully(int fd, void *buffer, std::size_t size);
// Writes all `size` bytes; false with errno set otherwise (no progress counts as a full disk).
bool writeFully(int fd, const void *buffer, std::size_t size);
bool syncRetrying(int fd);
enum class Replaced {
    No, // nothing changed; errno says why
    Yes,
    // The new content is in place, but the folder would not sync: a crash may still bring back the old.
    NotDurable,
};

// Removes what replacements of `path` (or of the file a symbolic link at `path` points to) cut short by
// a crash left beside it; a replacement still under way keeps its file.
void removeLeftoverSiblings(const std::string &path);

// Writes a new file beside `path` (or the file a symbolic link at `path` points to) through `fill`,
// makes it durable and renames it over the old one, so the file always holds either its old or its
// new content, never a mix. `existing` is the old file, open and held, or -1: the new file takes on
// its owner where we may change it and its permissions (0777, never set-ID bits). With `keepExisting`
// a file that appeared at the path meanwhile is left alone and the replacement fails with EEXIST.
// A replacement cut short leaves nothing behind.
[[nodiscard]] Replaced replaceFile(const std::string &path, int existing,
                                   const std::function<bool(int)> &fill, bool keepExisting = false);

// Copies the regular file `from` (held while it is read) to the new file `to`, whole or not at all;
// a file already at `to` is left alone and the copy fails with EEXIST. False with errno set.
[[nodiscard]] bool copyFile(const std::string &from, const std::string &to);

} // namespace belvane::posix
