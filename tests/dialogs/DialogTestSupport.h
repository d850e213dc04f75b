#pragma once

#include "FakeServices.h"
#include "ScriptedPrompts.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <QAbstractButton>
#include <QWidget>

namespace belvane::testing {

// What every dialog test needs: a temporary folder with a list path, a performer over recording
// services and scripted answers to the dialogs' questions.
struct DialogBench : PerformerBench
{
    TempDir dir;
    ScriptedPrompts prompts;
    std::string listPath = dir.file("Belvane.acd");

    void writeList(std::int32_t count, const std::function<void(int, ActionRecord &)> &fill = {})
    {
        testing::writeList(listPath, count, fill);
    }
    ActionRecord record(int index) const { return readRecord(listPath, index); }
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
