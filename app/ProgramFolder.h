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

// Where a run keeps what: the program folder holds the program, its two alarm sounds and its README;
// the files folder holds what the program writes (the action list, the settings) and is the folder
// one copy of the program runs on. They are one folder except where the program folder belongs to a
// system-wide installation (marked by `systemWideMarker` beside the program), which no user writes:
// there each user's files live in $XDG_CONFIG_HOME/belvane/.
struct Folders
{
    ProgramFolder program;
    ProgramFolder files;
    // Set when this start copied a per-user installation's list and settings into `files`: the
    // folder they came from (native).
    std::string copiedFrom;
};

// The file a system-wide installation puts beside the program.
constexpr const char *systemWideMarker = "system-wide-installation";

// The running executable's folder (its real folder, through any link to it).
ProgramFolder executableFolder();
// The folders of a run of the program in `program`; creates nothing.
Folders chooseFolders(const ProgramFolder &program);
// Creates the files folder, when it is not the program folder, with every folder above it that is
// missing (private to their user); false with errno set.
[[nodiscard]] bool makeFilesFolder(const Folders &folders);
// The program folder of an installation for this user alone: ~/.local/lib/belvane/.
std::string perUserInstallFolder();
// Where the files folder is not the program folder and holds no action list yet, copies the list and
// the settings that lie in `from` into it: the settings first and only when the files folder has none,
// the list last, so that a list there always comes with its settings. Records `from` in `copiedFrom`
// when it copied. False with errno set when a copy failed: the files in `from` are untouched and the
// files folder holds no list.
[[nodiscard]] bool copyPerUserFiles(Folders &folders, const std::string &from);
// The computer's name, or nothing when the system will not say.
std::optional<std::string> computerName();

} // namespace belvane
