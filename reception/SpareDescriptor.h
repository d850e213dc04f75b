#pragma once

namespace belvane {

// One descriptor held in reserve for the moment the process has run out of them. A listening socket
// whose accept fails for want of a descriptor would otherwise leave its waiting senders hanging in the
// queue; with the reserve let go for a moment, they can be taken off it and closed, so they learn at
// once that their alarm did not arrive.
class SpareDescriptor final
{
public:
    SpareDescriptor();
    ~SpareDescriptor();
    SpareDescriptor(const SpareDescriptor &) = delete;
    SpareDescriptor &operator=(const SpareDescriptor &) = delete;

    // When the process (or the system) has no descriptor left, takes every connection waiting on the
    // non-blocking `listener` off its queue and closes it; otherwise does nothing. Gives how many were
    // closed.
    int shedWaiting(int listener);

private:
    int fd = -1;
};

} // namespace belvane
