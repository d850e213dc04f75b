#pragma once

#include <optional>
#include <string>

namespace belvane {

// The folder that holds the program and its files, in two forms: the file system's bytes for every
// call to the operating system, and cp932 for what the records store.
struct ProgramFolder
{
    std::string native; // ends with '/'
    std::optional<std::string> cp932; // nullopt when cp932 cannot hold the folder's name

    // The folder of `nativePath` (a folder), with a '/' appended when missing.
    static ProgramFolder fromNative(std::string nativePath);
};

// The running executable's folder.
ProgramFolder executableFolder();
// The computer's name, or nothing when the system will not say.
std::optional<std::string> computerName();

// Keeps one copy of the program per program folder: the folder itself is locked for the run, so
// nothing is created in it and copies in other folders run side by side.
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
