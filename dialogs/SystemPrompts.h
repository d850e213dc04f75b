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
    void Message(QWidget *parent, const QString &text, Icon icon) override;
    bool Question(QWidget *parent, const QString &text) override;
    QString ChooseFile(QWidget *parent, const FileRequest &request) override;
};

// The message box Message shows: captioned with the program's name, the icon, an OK button.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget *parent, const QString &text, UserPrompts::Icon icon);
// The question Question asks: warning icon, OK and Cancel.
std::unique_ptr<QMessageBox> MakeQuestionBox(QWidget *parent, const QString &text);
// The file dialog ChooseFile runs for `request`.
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget *parent, const UserPrompts::FileRequest &request);

// A filter text of description and pattern pairs separated by "|" ("All(*.*)|*.*|") as the file
// dialog's name filters ("All(*.*) (*.*)"); patterns separated by ";" become a list of patterns.
QStringList FileDialogFilters(const QString &pairs);

} // namespace belvane
