#pragma once

#include <QLoggingCategory>

namespace belvane {

// Why a platform service could not do its work (a library that would not load, an audio device that
// would not open), in the system's own words. Silenced with QT_LOGGING_RULES="belvane.platform=false".
Q_DECLARE_LOGGING_CATEGORY(platformLog)

// dlopen with RTLD_NOW | RTLD_LOCAL; null, with dlerror's reason logged, when it fails.
void *openLibrary(const char *fileName);
// dlsym of `name` in `handle`; null, with the reason logged, when it is missing.
void *findSymbol(void *handle, const char *fileName, const char *name);

} // namespace belvane
