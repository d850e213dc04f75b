#pragma once

#include <memory>

class QMenu;
class QWidget;

namespace belvane {

// The identities of the popup menu's commands; each item carries its id as the action's data.
enum CommandId : int {
    commandQuit = 32771,
    commandShow = 32772,
    commandSettings = 32773,
    commandAbout = 32774,
    commandOpenFolderAndQuit = 32776,
    commandSupportPage = 32777,
    commandExportList = 32778,
    commandImportList = 32779,
    commandWriteListText = 32780,
    commandHistory = 32781,
};

// A fresh popup menu with the program's commands in their order, two separators between the groups.
std::unique_ptr<QMenu> buildCommandMenu(QWidget *parent);

} // namespace belvane
