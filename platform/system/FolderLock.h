#pragma once

#include <string>

namespace belvane {

// Keeps one copy of the program per files folder: the folder itself is locked for the run, so
// nothing is created in it and copies on other folders (other users' too) run side by side.
class FolderLock final
{
public:
    enum class Result {
        Held, // this run holds the folder
        Taken, // another run holds it
        Unavailable, // the folder cannot be locked here (e.g. a file system without locks)
    };

    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    [[nodiscard]] Result take(const std::string &nativeFolder);

private:
    int fd = -1;
};

} // namespace belvane
