#pragma once

#include <QLoggingCategory>

#include <memory>

namespace belvane {

// Why a platform service could not do its work (a library that would not load, an audio device that
// would not open), in the system's own words. Silenced with QT_LOGGING_RULES="belvane.platform=false".
Q_DECLARE_LOGGING_CATEGORY(platformLog)

// dlopen with RTLD_NOW | RTLD_LOCAL; null, with dlerror's reason logged, when it fails.
void *openLibrary(const char *fileName);
// dlsym of `name` in `handle`; null, with the reason logged, when it is missing.
void *findSymbol(void *handle, const char *fileName, const char *name);
void closeLibrary(void *handle);

// Loads `fileName` into a new `Library` whose functions `resolveAll(library, find)` looks up with
// `find(name)`, false when one is missing; null, with the reason logged, when the library or a
// function is missing.
template<typename Library, typename ResolveAll>
std::unique_ptr<Library> loadLibrary(const char *fileName, ResolveAll resolveAll)
{
    void *handle = openLibrary(fileName);
    if (handle == nullptr) {
        return nullptr;
    }
    auto library = std::make_unique<Library>();
    if (!resolveAll(*library, [&](const char *name) { return findSymbol(handle, fileName, name); })) {
        closeLibrary(handle);
        return nullptr;
    }
    return library;
}

// loadLibrary for a `Library` whose functions the X-macro `list` names, each a member of its own name.
#define BELVANE_LOAD_FUNCTIONS(Library, list, fileName)                                                      \
    loadLibrary<Library>(fileName, [](Library &library, const auto &find) {                                  \
        bool complete = true;                                                                                \
        list(BELVANE_RESOLVE_FUNCTION) return complete;                                                      \
    })
#define BELVANE_RESOLVE_FUNCTION(name)                                                                       \
    complete = (library.name = reinterpret_cast<decltype(&::name)>(find(#name))) != nullptr && complete;

} // namespace belvane
