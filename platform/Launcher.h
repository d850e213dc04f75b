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

// What became of an open: started, or the reason it was not. The numbers are the ones launchers have
// always reported (above 32 for a start); a message that cannot word a result shows them.
enum class LaunchResult : int {
    Started = 42,
    FileNotFound = 2,
    PathNotFound = 3,
    AccessDenied = 5,
    BadFormat = 11, // not startable, or parameters that do not form arguments
    InvalidText = 13, // the file or the parameters are not valid cp932
    NoAssociation = 31, // nothing to open a file that is no program with
};

// Opens a file the way the desktop's "open" does: an executable file is started directly (never
// through a shell) with `parameters` split into arguments by POSIX shell word rules, nothing expanded;
// a folder or any other file goes to the desktop's default application.
class Launcher
{
public:
    virtual ~Launcher() = default;
    // `file` and `parameters` are cp932 bytes.
    [[nodiscard]] virtual LaunchResult open(WindowHandle parent, const std::string &file,
                                            const std::string &parameters, int showCommand) = 0;
};

} // namespace belvane
