#pragma once

namespace belvane {

// The program's run: builds the alarm window on the executable's folder, shows it once and keeps
// the event loop going until a quit request (menu, Escape, Alt+F4, SIGTERM or SIGINT); then ends
// in order: open connection finished, tray icon removed, window destroyed.
class BelvaneApp
{
public:
    static int Start(int argc, char **argv);
};

} // namespace belvane
