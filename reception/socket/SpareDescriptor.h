#pragma once

namespace belvane {

// One descriptor held in reserve for the moment the process has run out of them. A listening socket
// whose accept fails for want of a descriptor would otherwise leave its waiting senders hanging in the
// queue; with the reserve let go for a moment, they can be taken off it one at a time.
class SpareDescriptor final
{
public:
    SpareDescriptor();
    ~SpareDescriptor();
    SpareDescriptor(const SpareDescriptor &) = delete;
    SpareDescriptor &operator=(const SpareDescriptor &) = delete;

    // Lets the reserve go, so that one descriptor can be opened.
    void release();
    // Takes the reserve back where it was let go; true when the process has descriptors again: the
    // reserve is held and one more could be opened beside it.
    [[nodiscard]] bool restore();

private:
    int fd = -1;
};

} // namespace belvane
