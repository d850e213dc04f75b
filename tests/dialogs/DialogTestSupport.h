#pragma once

#include "ActionListFile.h"
#include "ActionPerformer.h"
#include "FakeServices.h"
#include "ScriptedPrompts.h"
#include "TempDir.h"

#include <QAbstractButton>
#include <QWidget>

#include <functional>
#include <string>

namespace belvane::testing {

// What every dialog test needs: a temporary folder, a performer over recording services and
// scripted answers to the dialogs' questions.
struct DialogBench
{
    TempDir dir;
    RecordingServices services;
    ActionPerformer performer {services.wavePlayer, services.mediaCommands, services.launcher};
    ScriptedPrompts prompts;
    std::string listPath = dir.file("Belvane.acd");

    // A new list of `count` records at `listPath`; `fill` sets up each record.
    void writeList(std::int32_t count, const std::function<void(int, ActionRecord &)> &fill = {})
    {
        std::filesystem::remove(listPath);
        ActionListFile list;
        list.OpenOrCreate(count, listPath);
        list.BeginWrite();
        for (int i = 0; i < count; ++i) {
            ActionRecord record;
            if (fill) {
                fill(i, record);
            }
            list.WriteRecord(-1, record);
        }
        list.Close();
    }
    ActionRecord record(int index)
    {
        ActionListFile list;
        ActionRecord result;
        list.OpenOrCreate(0, listPath);
        list.FetchRecord(index, result);
        return result;
    }
    QStringList messageTexts() const
    {
        QStringList texts;
        for (const auto &shown : prompts.messages) {
            texts.push_back(shown.text);
        }
        return texts;
    }
};

template<typename T = QWidget>
T *child(const QWidget &parent, const char *name)
{
    return parent.findChild<T *>(QString::fromLatin1(name));
}

inline void click(const QWidget &parent, const char *name)
{
    child<QAbstractButton>(parent, name)->click();
}

} // namespace belvane::testing
