#pragma once

#include "Launcher.h"
#include "X11WindowStates.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace belvane {

// The launcher of this desktop. An executable regular file is started directly, detached and never
// through a shell, in this program's current folder; its parameters become arguments by POSIX shell
// word rules. Anything else (a folder, a document, a sound, a non-executable file) is handed to
// `xdg-open` together with its absolute path; parameters do not apply to it. A file or parameters that
// are not valid cp932 start nothing (`LaunchResult::InvalidText`). What is started ends on its own: it is
// never waited for, and this program collects its exit through the event loop.
//
// On X11 the show command is applied to the first window of what was started, as it maps within
// `windowBound` (see X11WindowStates); elsewhere the program comes up as it chooses.
class PosixLauncher final : public Launcher
{
public:
    explicit PosixLauncher(std::chrono::milliseconds windowBound = std::chrono::seconds(10));
    // True while a start still waits for its window.
    bool watchingWindows() const;
    LaunchResult open(WindowHandle parent, const std::string &file, const std::string &parameters,
                      int showCommand) override;

private:
    // Spawns words[0] with the other words as arguments and watches for its window; 0 or the errno.
    int start(std::vector<std::string> words, int showCommand);

    X11WindowStates windowStates;
};

// Splits `parameters` into words as a POSIX shell does, and does nothing else: blanks (space, tab,
// newline) separate words; '…' keeps everything literally; "…" keeps everything but \" \\ \$ \` and
// backslash-newline, which lose their backslash (the last is removed whole); a backslash outside quotes
// keeps the next character literally (a newline then disappears). $, `, *, ~, ;, |, > and the like stay
// as they are. Nullopt when a quote is left open.
std::optional<QStringList> splitShellWords(const QString &parameters);

} // namespace belvane
