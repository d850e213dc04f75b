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
    static ProgramFolder FromNative(std::string nativePath);
};

// The running executable's folder.
ProgramFolder ExecutableFolder();

} // namespace belvane
