#pragma once

#include <cstdint>
#include <string>

namespace belvane {

// An opaque handle of the window on whose behalf something is opened (a Qt WId); may be 0.
using WindowHandle = std::uintptr_t;

// Show commands that a launcher is asked to apply to the window of what it opens.
constexpr int showNormal = 5;
constexpr int showMinimized = 6;
constexpr int showMaximized = 3;

// Opens a file the way the desktop's "open" does: an executable file is started directly (never
// through a shell) with `parameters` split into arguments by POSIX shell word rules, nothing expanded;
// a folder or any other file goes to the desktop's default application.
class Launcher
{
public:
    // Results: above 32 when started, else the reason it was not.
    static constexpr int started = 42;
    static constexpr int fileNotFound = 2;
    static constexpr int pathNotFound = 3;
    static constexpr int accessDenied = 5;
    static constexpr int badFormat = 11; // not startable, or parameters that do not form arguments
    static constexpr int invalidText = 13; // the file or the parameters are not valid cp932
    static constexpr int noAssociation = 31;

    virtual ~Launcher() = default;
    // `file` and `parameters` are cp932 bytes. Returns a value above 32 when the open was started,
    // 32 or less when it could not be.
    virtual int open(WindowHandle parent, const std::string &file, const std::string &parameters,
                     int showCommand) = 0;
};

} // namespace belvane
