#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <sys/types.h>

namespace belvane {

// Gives the first top-level window of a started program the show state its start asked for, on X11:
// iconified for minimised, maximised both ways for maximised, through the window manager's protocols
// once the window maps. The window is recognised by the startup-notification id handed to the program
// (on the window or its client leader as _NET_STARTUP_ID) or by _NET_WM_PID naming the started process
// or one of its descendants on this host. Only windows created while a start is pending are looked at.
// It has its own display connection, open only while a start is pending; each start is given up after
// `limit`. Without an X11 display (Wayland, headless) it does nothing.
class X11WindowStates final
{
public:
    explicit X11WindowStates(std::chrono::milliseconds limit);
    ~X11WindowStates();
    X11WindowStates(const X11WindowStates &) = delete;
    X11WindowStates &operator=(const X11WindowStates &) = delete;

    // Begins to watch for a program about to start with `showCommand`. Returns the startup id to hand
    // it, or an empty text when there is nothing to apply or no X11 display.
    std::string prepare(int showCommand);
    // The prepared start began as process `pid`, or failed (pid 0) and is forgotten.
    void started(const std::string &startupId, pid_t pid);
    // True while some start still waits for its window.
    bool watching() const;

private:
    struct Watch;
    std::chrono::milliseconds bound;
    std::unique_ptr<Watch> watch;
};

} // namespace belvane
