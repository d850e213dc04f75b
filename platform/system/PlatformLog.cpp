#include "PlatformLog.h"

#include <dlfcn.h>

namespace belvane {

Q_LOGGING_CATEGORY(platformLog, "belvane.platform")

void *openLibrary(const char *fileName)
{
    // Bound as calls are made, as the program's own libraries are: binding SDL's or FluidSynth's
    // dozens of dependencies up front held the first sound up by milliseconds.
    void *handle = ::dlopen(fileName, RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *reason = ::dlerror();
        qCWarning(platformLog, "cannot load %s: %s", fileName, reason != nullptr ? reason : "unknown reason");
    }
    return handle;
}

void *findSymbol(void *handle, const char *fileName, const char *name)
{
    ::dlerror();
    void *symbol = ::dlsym(handle, name);
    if (symbol == nullptr) {
        const char *reason = ::dlerror();
        qCWarning(platformLog, "%s lacks %s: %s", fileName, name, reason != nullptr ? reason : "null symbol");
    }
    return symbol;
}

void closeLibrary(void *handle)
{
    ::dlclose(handle);
}

} // namespace belvane
