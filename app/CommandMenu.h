#pragma once

#include <memory>

class QMenu;
class QWidget;

namespace belvane {

// The identities of the popup menu's commands; each item carries its id as the action's data.
enum CommandId : int {
    CommandQuit = 32771,
    CommandShow = 32772,
    CommandSettings = 32773,
    CommandAbout = 32774,
    CommandOpenFolderAndQuit = 32776,
    CommandSupportPage = 32777,
    CommandExportList = 32778,
    CommandImportList = 32779,
    CommandWriteListText = 32780,
    CommandHistory = 32781,
};

// A fresh popup menu with the program's commands in their order, two separators between the groups.
std::unique_ptr<QMenu> buildCommandMenu(QWidget *parent);

} // namespace belvane
