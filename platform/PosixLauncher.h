#pragma once

#include "Launcher.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace belvane {

// The launcher of this desktop. An executable regular file is started directly, detached and never
// through a shell, in this program's current folder; its parameters become arguments by POSIX shell
// word rules. Anything else (a folder, a document, a sound, a non-executable file) is handed to
// `xdg-open` together with its absolute path; parameters do not apply to it. A file or parameters that
// are not valid cp932 start nothing (`invalidText`). What is started ends on its own: it is never
// waited for, and this program collects its exit through the event loop.
//
// The show command is accepted and not applied: on X11 and Wayland the started program and the window
// manager or compositor decide how its first window appears, and no launcher can impose a state on it.
// Nothing started is tracked.
class PosixLauncher final : public Launcher
{
public:
    int Open(WindowHandle parent, const std::string &file, const std::string &parameters,
             int showCommand) override;
};

// Splits `parameters` into words as a POSIX shell does, and does nothing else: blanks (space, tab,
// newline) separate words; '…' keeps everything literally; "…" keeps everything but \" \\ \$ \` and
// backslash-newline, which lose their backslash (the last is removed whole); a backslash outside quotes
// keeps the next character literally (a newline then disappears). $, `, *, ~, ;, |, > and the like stay
// as they are. Nullopt when a quote is left open.
std::optional<QStringList> SplitShellWords(const QString &parameters);

} // namespace belvane
