#pragma once

#include "ActionPerformer.h"

namespace belvane {

// The process's single performer over the system's sound player, sequencer and launcher. Built on
// first use; it lives until the process exits and then stops what it plays.
ActionPerformer &thePerformer();

} // namespace belvane
