#pragma once

#include "UserPrompts.h"

#include <QStringList>

#include <memory>

class QFileDialog;
class QMessageBox;

namespace belvane {

// The program's real message boxes and file dialogs, each run modally with exec().
class SystemPrompts final : public UserPrompts
{
public:
    void message(QWidget *parent, const QString &text, Icon icon) override;
    bool question(QWidget *parent, const QString &text) override;
    QString chooseFile(QWidget *parent, const FileRequest &request) override;
};

// The message box message() shows: captioned with the program's name, the icon, an OK button.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget *parent, const QString &text, UserPrompts::Icon icon);
// The question question() asks: warning icon, OK and Cancel.
std::unique_ptr<QMessageBox> makeQuestionBox(QWidget *parent, const QString &text);
// The file dialog chooseFile() runs for `request`.
std::unique_ptr<QFileDialog> makeFileDialog(QWidget *parent, const UserPrompts::FileRequest &request);

// A filter text of description and pattern pairs separated by "|" ("All(*.*)|*.*|") as the file
// dialog's name filters ("All(*.*) (*.*)"); patterns separated by ";" become a list of patterns.
QStringList fileDialogFilters(const QString &pairs);

} // namespace belvane
