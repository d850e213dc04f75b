#pragma once

#include <QString>

class QWidget;

namespace belvane {

// The program's modal questions to the user: message boxes and file dialogs. Windows and commands
// take one from their creator, so tests can answer them without timers.
class UserPrompts
{
public:
    enum class Icon { Information, Warning, Stop };

    struct FileRequest
    {
        bool save = false; // a save dialog, else an open dialog
        QString folder; // initial folder; empty for the dialog's own choice
        QString filter; // pairs of description and patterns separated by "|", e.g. "All(*.*)|*.*|"
        QString defaultSuffix; // appended to a typed name without extension; "" or "*" for none
        bool mustExist = false;
        bool confirmOverwrite = false;
    };

    virtual ~UserPrompts() = default;
    // A message box with an OK button, owned by `parent`, captioned with the program's name.
    virtual void message(QWidget *parent, const QString &text, Icon icon) = 0;
    // An OK/Cancel question with the warning icon; true when the user answered OK.
    virtual bool question(QWidget *parent, const QString &text) = 0;
    // The full path the user chose, or an empty text when the dialog was cancelled.
    virtual QString chooseFile(QWidget *parent, const FileRequest &request) = 0;
};

// The caption of every message box.
inline const QString programTitle = QStringLiteral("Belvane");

} // namespace belvane
