#pragma once

#include "ActionPerformer.h"
#include "AlarmText.h"

#include <functional>
#include <string>

namespace belvane {

// Handles the text of one finished connection: shows the alarm it carries and performs the action the
// action list holds for its level. An empty text does nothing at all. Otherwise `show` gets the parsed
// message (it fills the window's boxes and brings it up), the handled text is removed from
// `receivedText`, and the action is performed only when the level lies inside the list, its record
// reads whole, is enabled and names a file or folder that exists. The list at `actionListPath` (in the
// file system's encoding) is created blank when missing, and not held open afterwards. No failure is
// reported.
void DispatchAlarm(std::string &receivedText, const std::string &actionListPath, ActionPerformer &performer,
                   WindowHandle parent, const std::function<void(const AlarmMessage &)> &show);

} // namespace belvane
