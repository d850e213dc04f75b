#include "AlarmDispatch.h"

#include "ActionListFile.h"
#include "Cp932.h"
#include "PosixFile.h"

namespace belvane {

void DispatchAlarm(std::string &receivedText, const std::string &actionListPath, ActionPerformer &performer,
                   WindowHandle parent, const std::function<void(const AlarmMessage &)> &show)
{
    if (receivedText.empty()) {
        return;
    }
    const AlarmFormat format = SelectAlarmFormat(receivedText);
    ActionListFile list;
    const std::int32_t count = list.OpenOrCreate(0, actionListPath);
    const std::size_t handled = receivedText.size();
    const AlarmMessage message = ParseAlarmText(receivedText, format);
    show(message);
    // Only what was handled goes: should showing the window let more text in, it waits for its turn
    // instead of being lost.
    receivedText.erase(0, handled);

    if (message.level < 0 || message.level >= count) {
        return;
    }
    ActionRecord record;
    if (list.FetchRecord(message.level, record) != static_cast<std::int32_t>(ActionRecord::size)) {
        return;
    }
    if (record.enabled != 1) {
        return;
    }
    const std::string actionFile = fieldText(record.actionFile);
    if (!posix::exists(cp932::toNativePath(actionFile))) {
        return;
    }
    performer.PerformAction(parent, actionFile, fieldText(record.parameters), record.windowSize);
}

} // namespace belvane
