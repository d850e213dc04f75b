#include "SpareDescriptor.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace belvane {

namespace {
int openSpare()
{
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

bool outOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}
} // namespace

SpareDescriptor::SpareDescriptor()
    : fd(openSpare())
{ }

SpareDescriptor::~SpareDescriptor()
{
    if (fd >= 0) {
        ::close(fd);
    }
}

int SpareDescriptor::shedWaiting(int listener)
{
    if (fd < 0) {
        // Taken back as soon as there is one to take.
        fd = openSpare();
        return 0;
    }
    // A copy of the reserve says whether descriptors are short: an accept can fail for other reasons
    // (memory, buffers), and then the waiting senders are kept for the next try.
    const int probe = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (probe >= 0) {
        ::close(probe);
        return 0;
    }
    if (!outOfDescriptors(errno)) {
        return 0;
    }
    ::close(fd);
    int shed = 0;
    for (int waiting; (waiting = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ++shed) {
        ::close(waiting);
    }
    fd = openSpare();
    return shed;
}

} // namespace belvane
