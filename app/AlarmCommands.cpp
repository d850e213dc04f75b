#include "AlarmCommands.h"

#include "AboutDialog.h"
#include "ActionListCommands.h"
#include "AlarmWindow.h"
#include "CommandMenu.h"
#include "HistoryDialog.h"
#include "ProgramFolder.h"
#include "SettingsDialog.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>

namespace belvane {

namespace {
constexpr const char *supportPageName = "README.md";

QUrl fileUrl(const std::string &nativePath)
{
    return QUrl::fromLocalFile(QFile::decodeName(nativePath.c_str()));
}
} // namespace

AlarmCommands::AlarmCommands(Context context)
    : c(context)
{ }

void AlarmCommands::run(int id)
{
    switch (id) {
    case CommandShow:
        c.window.ShowAlarm();
        break;
    case CommandHistory:
        openHistory();
        break;
    case CommandSettings:
        OpenSettings();
        break;
    case CommandImportList:
        OnImportActionList();
        break;
    case CommandExportList:
        OnExportActionList();
        break;
    case CommandWriteListText:
        OnWriteActionListText();
        break;
    case CommandOpenFolderAndQuit:
        OpenFolderAndQuit();
        break;
    case CommandQuit:
        c.window.Quit();
        break;
    case CommandAbout:
        ShowAbout();
        break;
    case CommandSupportPage:
        OpenSupportPage();
        break;
    default:
        break;
    }
}

void AlarmCommands::OpenSettings()
{
    SettingsDialog dialog(c.actionListPath, c.window.port(), c.performer, c.prompts, &c.window);
    if (dialog.exec() == QDialog::Accepted) {
        // The new port is used from the next start on.
        c.window.changePort(dialog.chosenPort());
    }
}

void AlarmCommands::OnImportActionList()
{
    importActionList(&c.window, c.prompts, c.folders.files.native, c.actionListPath);
}

void AlarmCommands::OnExportActionList()
{
    exportActionList(&c.window, c.prompts, c.folders.files.native, c.actionListPath);
}

void AlarmCommands::OnWriteActionListText()
{
    writeActionListText(&c.window, c.prompts, c.folders.files.native, c.actionListPath);
}

void AlarmCommands::ShowAbout()
{
    AboutDialog dialog(&c.window);
    dialog.exec();
}

void AlarmCommands::OpenSupportPage()
{
    QDesktopServices::openUrl(fileUrl(c.folders.program.native + supportPageName));
}

void AlarmCommands::OpenFolderAndQuit()
{
    QDesktopServices::openUrl(fileUrl(c.folders.files.native));
    c.window.Quit();
}

void AlarmCommands::openHistory()
{
    HistoryDialog dialog(c.window.station().history(), &c.window);
    dialog.exec();
}

} // namespace belvane
