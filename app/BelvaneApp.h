#pragma once

namespace belvane {

// The program's run: reads the command line, takes the executable's folder (one copy per folder),
// builds the alarm window on it, shows it once and keeps the event loop going until a quit request
// (menu, Escape, Alt+F4, SIGTERM, SIGINT or SIGHUP); then ends in order: open connection finished,
// tray icon removed, window destroyed. Exit status 0 after a run, 1 when another copy holds the folder
// or, headless, the port cannot be listened on, 2 for a command line it does not know.
class BelvaneApp
{
public:
    static int Start(int argc, char **argv);
};

} // namespace belvane
