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

QUrl FileUrl(const std::string &nativePath)
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
    case commandShow:
        c.window.ShowAlarm();
        break;
    case commandHistory:
        openHistory();
        break;
    case commandSettings:
        OpenSettings();
        break;
    case commandImportList:
        OnImportActionList();
        break;
    case commandExportList:
        OnExportActionList();
        break;
    case commandWriteListText:
        OnWriteActionListText();
        break;
    case commandOpenFolderAndQuit:
        OpenFolderAndQuit();
        break;
    case commandQuit:
        c.window.Quit();
        break;
    case commandAbout:
        ShowAbout();
        break;
    case commandSupportPage:
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
    QDesktopServices::openUrl(FileUrl(c.folders.program.native + supportPageName));
}

void AlarmCommands::OpenFolderAndQuit()
{
    QDesktopServices::openUrl(FileUrl(c.folders.files.native));
    c.window.Quit();
}

void AlarmCommands::openHistory()
{
    HistoryDialog dialog(c.window.station().history(), &c.window);
    dialog.exec();
}

} // namespace belvane
