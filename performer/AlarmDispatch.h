#pragma once

#include "ActionPerformer.h"
#include "AlarmText.h"

#include <functional>
#include <string>

namespace belvane {

// What became of an alarm: why nothing was performed, or what was, with the registered file (cp932)
// and the performer's result.
struct AlarmOutcome
{
    enum class Kind {
        NoAlarm, // an empty text: nothing shown either
        OutsideList, // the level lies outside the list (`listCount` levels)
        Unreadable, // the level's record could not be read
        Blank, // no file is registered for the level
        Disabled,
        NotCp932, // the registered name is no valid cp932 text
        Missing, // the registered file or folder does not exist
        Played, // a sound (`result` says whether it started)
        Started, // an executable file, started by the launcher (`result` says whether it did)
        Opened, // a folder or other file, handed to its application (`result` as above)
    };

    Kind kind = Kind::NoAlarm;
    std::string actionFile;
    ActionResult result;
    std::int32_t listCount = 0;
};

// Handles the text of one finished connection: shows the alarm it carries and performs the action the
// action list holds for its level. An empty text does nothing at all. Otherwise `show` gets the parsed
// message (it fills the window's boxes and brings it up), the handled text is removed from
// `receivedText`, and the action is performed only when the level lies inside the list, its record
// reads whole, is enabled and names a file or folder that exists. The list at `actionListPath` (in the
// file system's encoding) is created blank when missing, and not held open afterwards. The result says
// what became of the alarm.
AlarmOutcome DispatchAlarm(std::string &receivedText, const std::string &actionListPath,
                           ActionPerformer &performer, WindowHandle parent,
                           const std::function<void(const AlarmMessage &)> &show);

} // namespace belvane
