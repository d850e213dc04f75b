#include "AlarmDispatch.h"

#include "ActionListFile.h"
#include "Cp932.h"
#include "PosixFile.h"

namespace belvane {

AlarmOutcome DispatchAlarm(std::string &receivedText, const std::string &actionListPath,
                           ActionPerformer &performer, WindowHandle parent,
                           const std::function<void(const AlarmMessage &)> &show)
{
    AlarmOutcome outcome;
    if (receivedText.empty()) {
        return outcome;
    }
    const AlarmFormat format = selectAlarmFormat(receivedText);
    ActionListFile list;
    outcome.listCount = list.OpenOrCreate(0, actionListPath);
    const std::size_t handled = receivedText.size();
    const AlarmMessage message = ParseAlarmText(receivedText, format);
    show(message);
    // Only what was handled goes: should showing the window let more text in, it waits for its turn
    // instead of being lost.
    receivedText.erase(0, handled);

    using Kind = AlarmOutcome::Kind;
    if (message.level < 0 || message.level >= outcome.listCount) {
        outcome.kind = Kind::OutsideList;
        return outcome;
    }
    ActionRecord record;
    if (list.FetchRecord(message.level, record) != static_cast<std::int32_t>(ActionRecord::size)) {
        outcome.kind = Kind::Unreadable;
        return outcome;
    }
    outcome.actionFile = fieldText(record.actionFile);
    if (outcome.actionFile.empty()) {
        outcome.kind = Kind::Blank;
        return outcome;
    }
    if (record.enabled != 1) {
        outcome.kind = Kind::Disabled;
        return outcome;
    }
    if (!cp932::toUnicodeExactly(outcome.actionFile)) {
        outcome.kind = Kind::NotCp932;
        return outcome;
    }
    const std::string nativePath = cp932::toNativePath(outcome.actionFile);
    if (!posix::exists(nativePath)) {
        outcome.kind = Kind::Missing;
        return outcome;
    }
    outcome.result =
        performer.PerformAction(parent, outcome.actionFile, fieldText(record.parameters), record.windowSize);
    outcome.kind = std::holds_alternative<MediaResult>(outcome.result) ? Kind::Played
        : posix::isExecutableFile(nativePath)                          ? Kind::Started
                                                                       : Kind::Opened;
    return outcome;
}

} // namespace belvane
