#include "SpareDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

namespace belvane {

namespace {
int openSpare()
{
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}
} // namespace

SpareDescriptor::SpareDescriptor()
    : fd(openSpare())
{ }

SpareDescriptor::~SpareDescriptor()
{
    release();
}

void SpareDescriptor::release()
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool SpareDescriptor::restore()
{
    if (fd < 0) {
        fd = openSpare();
    }
    if (fd < 0) {
        return false;
    }
    const int probe = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (probe < 0) {
        return false;
    }
    ::close(probe);
    return true;
}

} // namespace belvane
