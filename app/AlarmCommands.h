#pragma once

#include <cstdint>
#include <string>

namespace belvane {

class ActionPerformer;
class AlarmWindow;
class UserPrompts;
struct Folders;

// The command menu's commands, run for the alarm window: showing and quitting are the window's own
// steps; the dialogs, the list's import, export and listing, the files folder and the support page
// are here.
class AlarmCommands final
{
public:
    // Everything the commands reach; all of it outlives them.
    struct Context
    {
        AlarmWindow &window;
        ActionPerformer &performer;
        UserPrompts &prompts;
        const Folders &folders;
        const std::string &actionListPath; // native
    };

    explicit AlarmCommands(Context context);

    // Runs the command with the menu's `id` (CommandMenu.h); an unknown id does nothing.
    void run(int id);

    // The settings dialog; with OK, the port it holds is saved for the next start.
    void OpenSettings();
    void OnImportActionList();
    void OnExportActionList();
    void OnWriteActionListText();
    void ShowAbout();
    void OpenSupportPage();
    // Opens the files folder (where the list and settings lie) in the file browser and ends the program,
    // whether the browser opened or not.
    void OpenFolderAndQuit();
    void openHistory();

private:
    Context c;
};

} // namespace belvane
