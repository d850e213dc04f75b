#pragma once

#include "UserPrompts.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace belvane::testing {

// Answers the program's message boxes and file dialogs from a script instead of a user, and keeps
// what was asked.
struct ScriptedPrompts final : UserPrompts
{
    void message(QWidget *, const QString &text, Icon icon) override
    {
        texts << text;
        icons.push_back(icon);
    }
    bool question(QWidget *, const QString &text) override
    {
        questions.push_back(text);
        return answer;
    }
    QString chooseFile(QWidget *, const FileRequest &request) override
    {
        fileRequests.push_back(request);
        return files.isEmpty() ? QString() : files.takeFirst();
    }

    // How many messages had `icon`.
    std::size_t count(Icon icon) const { return static_cast<std::size_t>(std::ranges::count(icons, icon)); }

    QStringList files; // chosen in file dialogs, in order; cancelled once used up
    QStringList texts; // of the messages shown, in order
    std::vector<Icon> icons; // of the same messages
    QStringList questions;
    bool answer = false; // to every question
    std::vector<FileRequest> fileRequests;
};

} // namespace belvane::testing
