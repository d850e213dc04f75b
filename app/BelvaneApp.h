#pragma once

#include <string>

namespace belvane {

// The program's run: reads the command line, takes the executable's folder (one copy per folder; a
// copy headless only because its display could not be opened hands the folder over to a later copy
// that has one), builds the alarm window on it, shows it once and keeps the event loop going until a
// quit request (menu, Escape, Alt+F4, SIGTERM, SIGINT or SIGHUP, a hand-over); then ends in order:
// open connection finished, tray icon removed, window destroyed. Exit status 0 after a run, 1 when
// another copy holds the folder or, headless, the port cannot be listened on, 2 for a command line it
// does not know.
class BelvaneApp
{
public:
    static int Start(int argc, char **argv);

    // The display platforms to try in order, as Qt's -platform takes them: the user's choice
    // (QT_QPA_PLATFORM) or else X11 before Wayland when both displays are there, as the window's
    // position, drag and raise need X11; always ending in offscreen, so that a display that cannot be
    // used (its plugin missing, the display refused) leaves the receiver running headless.
    static std::string choosePlatform();
    // Installs Qt's Japanese translation, so that Qt's own texts (file dialogs, standard buttons)
    // speak the program's language; false when it is not installed.
    static bool loadQtTranslation();
};

} // namespace belvane
