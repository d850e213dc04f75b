#pragma once

#include "SettingsFile.h"

#include <QString>

namespace belvane {

// What the user is told when the settings file could not be read or written: the text for the failure's
// cause, naming the file's path. Empty for a result that did not fail.
QString settingsFileMessage(const SettingsFileResult &result);

} // namespace belvane
